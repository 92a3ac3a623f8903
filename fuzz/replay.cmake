# Replays every committed fuzz regression and seed through the fuzz targets' own entry points in
# the normal build (any compiler, no libFuzzer): a crash or a failed property fails the test.
# Included from tests/CMakeLists.txt.
#
# Reproducers of faults not yet fixed wait in fuzz/regressions/after-fix/<target>/; their tests
# are registered only with -DVENNADAR_FUZZ_AFTER_FIX=ON. Once the fault is fixed, move the file
# into fuzz/regressions/<target>/.

option(VENNADAR_FUZZ_AFTER_FIX "Also replay the reproducers of faults awaiting a fix" OFF)

if(BUILD_TESTING AND NOT VENNADAR_FUZZ)
    set(vennadar_fuzz_dir ${PROJECT_SOURCE_DIR}/fuzz)
    include(${vennadar_fuzz_dir}/targets.cmake)
    foreach(target IN LISTS VENNADAR_FUZZ_TARGETS)
        string(REGEX REPLACE "^fuzz_" "" short_name ${target})
        set(replay fuzz_replay_${short_name})
        add_executable(${replay}
            ${vennadar_fuzz_dir}/${target}.cpp ${vennadar_fuzz_dir}/replay_main.cpp
            ${vennadar_fuzz_dir}/check.h)
        target_include_directories(${replay} PRIVATE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${replay} PRIVATE ${VENNADAR_FUZZ_LIBS_${target}})
        vennadar_warnings(${replay})
        add_test(NAME ${replay}
            COMMAND ${replay} ${vennadar_fuzz_dir}/regressions/${target}
                              ${vennadar_fuzz_dir}/corpus/${target})
        set_tests_properties(${replay} PROPERTIES TIMEOUT 300 LABELS fuzz)
        if(VENNADAR_FUZZ_AFTER_FIX AND IS_DIRECTORY ${vennadar_fuzz_dir}/regressions/after-fix/${target})
            add_test(NAME ${replay}_after_fix
                COMMAND ${replay} ${vennadar_fuzz_dir}/regressions/after-fix/${target})
            set_tests_properties(${replay}_after_fix PROPERTIES TIMEOUT 300 LABELS fuzz)
        endif()
    endforeach()
endif()
