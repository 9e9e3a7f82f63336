# add_unit_test(NAME name SOURCES ... LIBS ...)
# Registers one GoogleTest binary; every test runs headless with a fixed locale.
include(GoogleTest)
function(add_unit_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE brivet_common GTest::gtest GTest::gmock ${T_LIBS})
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;TZ=UTC"
        TIMEOUT 300)
endfunction()
