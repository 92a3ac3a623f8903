include(GoogleTest)

# Registers one test program, so every test folder reads the same way:
#
#   vennadar_add_test(NAME name SOURCES file... LIBRARIES lib...
#                     [OWN_MAIN] [LABELS label...] [TIMEOUT seconds] [ENVIRONMENT "A=1;B=2"]
#                     [DEFINITIONS NAME=value...] [XVFB] [DBUS])
#
# Each GoogleTest case becomes a ctest test. OWN_MAIN: the program has its own main (a Qt
# application), else GoogleTest's is linked. XVFB: the whole program runs once on a private X
# server, alone (the display's keyboard is shared). DBUS: the whole program runs once on a private
# session bus, so that the names it owns meet no other program's. Every test sees the fixtures folder as
# VENNADAR_FIXTURE_DIR and includes from tests/ ("support/fakes.h").
function(vennadar_add_test)
    cmake_parse_arguments(arg "OWN_MAIN;XVFB;DBUS" "NAME;TIMEOUT"
                          "SOURCES;LIBRARIES;LABELS;ENVIRONMENT;DEFINITIONS" ${ARGN})
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 120)
    endif()
    add_executable(${arg_NAME} ${arg_SOURCES})
    if(arg_OWN_MAIN)
        target_link_libraries(${arg_NAME} PRIVATE ${arg_LIBRARIES} GTest::gtest)
    else()
        target_link_libraries(${arg_NAME} PRIVATE ${arg_LIBRARIES} GTest::gtest_main)
    endif()
    target_include_directories(${arg_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(${arg_NAME} PRIVATE
        VENNADAR_FIXTURE_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures" ${arg_DEFINITIONS})
    vennadar_warnings(${arg_NAME})

    set(properties TIMEOUT ${arg_TIMEOUT})
    if(arg_LABELS)
        list(APPEND properties LABELS "${arg_LABELS}")
    endif()
    if(arg_ENVIRONMENT)
        # Kept as one argument: set_tests_properties takes the whole list as the value.
        string(REPLACE ";" "\\;" environment "${arg_ENVIRONMENT}")
        list(APPEND properties ENVIRONMENT "${environment}")
    endif()
    if(arg_XVFB)
        add_test(NAME ${arg_NAME}
            COMMAND xvfb-run -a -s "-screen 0 640x480x24" $<TARGET_FILE:${arg_NAME}>)
        set_tests_properties(${arg_NAME} PROPERTIES RUN_SERIAL TRUE ${properties})
    elseif(arg_DBUS)
        add_test(NAME ${arg_NAME} COMMAND dbus-run-session -- $<TARGET_FILE:${arg_NAME}>)
        set_tests_properties(${arg_NAME} PROPERTIES ${properties})
    else()
        gtest_discover_tests(${arg_NAME} NO_PRETTY_VALUES DISCOVERY_TIMEOUT 60
            PROPERTIES ${properties})
    endif()
endfunction()
