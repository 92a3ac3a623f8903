# Replays every committed fuzz regression and seed through the fuzz targets' own entry points in
# the normal build (any compiler, no libFuzzer): a crash or a failed property fails the test.
# Included from CMakeLists.txt beside it.
#
# Reproducers of faults not yet fixed wait in fuzz/regressions/after-fix/<target>/; their tests
# are registered only with -DVENNADAR_FUZZ_AFTER_FIX=ON. Once the fault is fixed, move the file
# into fuzz/regressions/<target>/.

option(VENNADAR_FUZZ_AFTER_FIX "Also replay the reproducers of faults awaiting a fix" OFF)

# Per-input budgets, as libFuzzer's -timeout and -rss_limit_mb: a parser that turns quadratic or
# balloons fails its test instead of passing slowly. Generous for the committed inputs, far below
# what the known blow-ups take.
set(VENNADAR_FUZZ_BUDGET_DEFAULT --max-seconds=5 --max-rss-mb=1024)
set(VENNADAR_FUZZ_BUDGET_fuzz_article --max-seconds=2 --max-rss-mb=384)
set(VENNADAR_FUZZ_BUDGET_fuzz_nesting_limit --max-seconds=2 --max-rss-mb=384)
set(VENNADAR_FUZZ_BUDGET_fuzz_manifest --max-seconds=1 --max-rss-mb=384)
if(VENNADAR_SANITIZE)
    # An unoptimised build under AddressSanitizer runs some ten times slower and holds freed
    # memory in quarantine; a quadratic parser still takes far longer than this.
    set(VENNADAR_FUZZ_BUDGET_DEFAULT --max-seconds=30 --max-rss-mb=4096)
    set(VENNADAR_FUZZ_BUDGET_fuzz_article --max-seconds=20 --max-rss-mb=2048)
    set(VENNADAR_FUZZ_BUDGET_fuzz_nesting_limit --max-seconds=20 --max-rss-mb=2048)
    set(VENNADAR_FUZZ_BUDGET_fuzz_manifest --max-seconds=10 --max-rss-mb=2048)
endif()

if(BUILD_TESTING AND NOT VENNADAR_FUZZ)
    set(vennadar_fuzz_dir ${CMAKE_CURRENT_SOURCE_DIR})
    find_package(Threads REQUIRED)
    foreach(target IN LISTS VENNADAR_FUZZ_TARGETS)
        string(REGEX REPLACE "^fuzz_" "" short_name ${target})
        set(replay fuzz_replay_${short_name})
        add_executable(${replay}
            ${vennadar_fuzz_dir}/${target}.cpp ${vennadar_fuzz_dir}/replay_main.cpp
            ${vennadar_fuzz_dir}/check.h)
        target_compile_features(${replay} PRIVATE cxx_std_20)
        target_link_libraries(${replay} PRIVATE ${VENNADAR_FUZZ_LIBS_${target}} Threads::Threads)
        vennadar_warnings(${replay})
        set(budget ${VENNADAR_FUZZ_BUDGET_DEFAULT})
        if(DEFINED VENNADAR_FUZZ_BUDGET_${target})
            set(budget ${VENNADAR_FUZZ_BUDGET_${target}})
        endif()
        add_test(NAME ${replay}
            COMMAND ${replay} ${budget} ${vennadar_fuzz_dir}/regressions/${target}
                              ${vennadar_fuzz_dir}/corpus/${target})
        set_tests_properties(${replay} PROPERTIES TIMEOUT 120 LABELS fuzz)
        if(VENNADAR_FUZZ_AFTER_FIX)
            # One test per reproducer, so that each fault shows on its own.
            file(GLOB pending LIST_DIRECTORIES false
                ${vennadar_fuzz_dir}/regressions/after-fix/${target}/[!.]*)
            foreach(input IN LISTS pending)
                get_filename_component(stem ${input} NAME_WE)
                add_test(NAME ${replay}_after_fix_${stem} COMMAND ${replay} ${budget} ${input})
                set_tests_properties(${replay}_after_fix_${stem} PROPERTIES TIMEOUT 120 LABELS fuzz)
            endforeach()
        endif()
    endforeach()
endif()
