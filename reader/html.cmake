# The article body as the reader shows it: HTML parsed by gumbo, turned into the text a browser
# renders. Included from the top-level CMakeLists after add_subdirectory(text).

add_library(vennadar_html STATIC
    ${PROJECT_SOURCE_DIR}/reader/html_to_text.cpp
    ${PROJECT_SOURCE_DIR}/reader/html_to_text.h)
target_include_directories(vennadar_html PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vennadar_html PUBLIC vennadar_text PRIVATE PkgConfig::GUMBO)
vennadar_warnings(vennadar_html)

# Developer tool: HTML in UTF-8 on stdin, its text in UTF-8 on stdout. Not installed.
add_executable(vennadar-html-to-text ${PROJECT_SOURCE_DIR}/tools/vennadar-html-to-text.cpp)
target_link_libraries(vennadar-html-to-text PRIVATE vennadar_html)
vennadar_warnings(vennadar-html-to-text)

if(BUILD_TESTING)
    include(GoogleTest)
    add_executable(html_to_text_test ${PROJECT_SOURCE_DIR}/tests/html_to_text_test.cpp)
    target_link_libraries(html_to_text_test PRIVATE vennadar_html GTest::gtest_main)
    target_include_directories(html_to_text_test PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(html_to_text_test PRIVATE
        VENNADAR_FIXTURE_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
    vennadar_warnings(html_to_text_test)
    gtest_discover_tests(html_to_text_test NO_PRETTY_VALUES DISCOVERY_TIMEOUT 60)
endif()

if(VENNADAR_BUILD_BENCHMARKS)
    add_executable(html_to_text_bench ${PROJECT_SOURCE_DIR}/bench/html_to_text_bench.cpp)
    target_link_libraries(html_to_text_bench PRIVATE vennadar_html benchmark::benchmark)
    target_compile_definitions(html_to_text_bench PRIVATE
        VENNADAR_FIXTURE_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
    vennadar_warnings(html_to_text_bench)
endif()
