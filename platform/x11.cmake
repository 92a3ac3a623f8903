# The Qt desktop services that need more than Qt Widgets: system-wide hot keys through X11 key
# grabs (xcb) and the article's audio over HTTP (Qt Multimedia). Included from a directory of
# the Qt windows; paths are from the repository root.
find_package(PkgConfig REQUIRED)
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-keysyms)

add_library(vennadar_x11_hot_keys STATIC
    ${PROJECT_SOURCE_DIR}/platform/xcb_hot_keys.cpp
    ${PROJECT_SOURCE_DIR}/platform/xcb_hot_keys.h
    ${PROJECT_SOURCE_DIR}/platform/hot_keys.h)
target_include_directories(vennadar_x11_hot_keys PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vennadar_x11_hot_keys PUBLIC Qt6::Gui PRIVATE PkgConfig::XCB)
vennadar_warnings(vennadar_x11_hot_keys)

add_library(vennadar_media_player STATIC
    ${PROJECT_SOURCE_DIR}/reader/qt_media_player.cpp
    ${PROJECT_SOURCE_DIR}/reader/qt_media_player.h
    ${PROJECT_SOURCE_DIR}/platform/media_player.h)
target_include_directories(vennadar_media_player PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vennadar_media_player PUBLIC Qt6::Multimedia)
vennadar_warnings(vennadar_media_player)

if(BUILD_TESTING)
    include(GoogleTest)

    # Real grabs on a private X server; xdotool presses the keys. One at a time: the keyboard
    # and its Num Lock state belong to the whole display.
    add_executable(x11_hot_keys_test ${PROJECT_SOURCE_DIR}/tests/x11_hot_keys_test.cpp)
    target_link_libraries(x11_hot_keys_test PRIVATE
        vennadar_x11_hot_keys PkgConfig::XCB Qt6::Widgets Qt6::Test GTest::gtest)
    vennadar_warnings(x11_hot_keys_test)
    add_test(NAME x11_hot_keys_test
        COMMAND xvfb-run -a -s "-screen 0 640x480x24" $<TARGET_FILE:x11_hot_keys_test>)
    set_tests_properties(x11_hot_keys_test PROPERTIES
        RUN_SERIAL TRUE TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=xcb")

    # The audio over loopback HTTP from the in-process sample site.
    add_executable(media_player_test ${PROJECT_SOURCE_DIR}/tests/media_player_test.cpp)
    target_link_libraries(media_player_test PRIVATE
        vennadar_media_player vennadar_sample_site Qt6::Test GTest::gtest)
    vennadar_warnings(media_player_test)
    gtest_discover_tests(media_player_test NO_PRETTY_VALUES DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
