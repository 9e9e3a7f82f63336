# One interface target carries the language level, warnings and Qt guard macros;
# every target of the project links it.
add_library(brivet_common INTERFACE)
target_compile_features(brivet_common INTERFACE cxx_std_20)
target_compile_options(brivet_common INTERFACE
    -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Wold-style-cast)
target_compile_definitions(brivet_common INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CONTEXTLESS_CONNECT QT_NO_KEYWORDS)
target_include_directories(brivet_common INTERFACE ${PROJECT_SOURCE_DIR})
# Linked as Debian links its packages: relocations read-only after start-up, and every
# shared library names the C library it runs on, even one that calls it only through Qt
# and the C++ library (--as-needed would drop it).
target_link_options(brivet_common INTERFACE LINKER:-z,relro,-z,now
    "$<$<OR:$<STREQUAL:$<TARGET_PROPERTY:TYPE>,SHARED_LIBRARY>,$<STREQUAL:$<TARGET_PROPERTY:TYPE>,MODULE_LIBRARY>>:LINKER:--push-state$<COMMA>--no-as-needed$<COMMA>-lc$<COMMA>--pop-state>")
