# The built-in sounds and their player. Included from main_window/CMakeLists.txt.
# The WAV files are committed; sounds/make-sounds regenerates them (needs sox and lame).
find_package(Qt6 REQUIRED COMPONENTS Core Multimedia)

add_library(vennadar_sounds STATIC
    ${CMAKE_CURRENT_LIST_DIR}/embedded_sounds.cpp
    ${CMAKE_CURRENT_LIST_DIR}/embedded_sounds.h
    ${CMAKE_CURRENT_LIST_DIR}/qt_sound_player.cpp
    ${CMAKE_CURRENT_LIST_DIR}/qt_sound_player.h)
set_target_properties(vennadar_sounds PROPERTIES AUTOMOC ON)
qt_add_resources(vennadar_sounds "sounds"
    PREFIX "/sounds"
    BASE ${CMAKE_CURRENT_LIST_DIR}/sounds
    FILES
        ${CMAKE_CURRENT_LIST_DIR}/sounds/startup.wav
        ${CMAKE_CURRENT_LIST_DIR}/sounds/select.wav
        ${CMAKE_CURRENT_LIST_DIR}/sounds/listing.wav)
target_include_directories(vennadar_sounds PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vennadar_sounds PUBLIC Qt6::Core Qt6::Multimedia)
vennadar_warnings(vennadar_sounds)

if(BUILD_TESTING)
    find_package(GTest REQUIRED)
    include(GoogleTest)
    add_executable(embedded_sounds_test ${PROJECT_SOURCE_DIR}/tests/embedded_sounds_test.cpp)
    target_link_libraries(embedded_sounds_test PRIVATE vennadar_sounds GTest::gtest_main
                                                       Qt6::Multimedia)
    vennadar_warnings(embedded_sounds_test)
    gtest_discover_tests(embedded_sounds_test NO_PRETTY_VALUES DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 120)
endif()
