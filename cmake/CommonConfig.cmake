# One interface target carries the language level, warnings and Qt guard macros;
# every target of the project links it.
add_library(brivet_common INTERFACE)
target_compile_features(brivet_common INTERFACE cxx_std_20)
target_compile_options(brivet_common INTERFACE
    -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Wold-style-cast)
target_compile_definitions(brivet_common INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CONTEXTLESS_CONNECT QT_NO_KEYWORDS)
target_include_directories(brivet_common INTERFACE ${PROJECT_SOURCE_DIR})
