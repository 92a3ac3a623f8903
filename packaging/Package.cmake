# The Debian package (`cpack -G DEB` in the build directory): the installed tree under /usr, with
# dependencies worked out by dpkg-shlibdeps from the kernel library, plus what Qt Multimedia
# loads at run time (GStreamer plugins, which nothing links).
set(CPACK_PACKAGE_NAME vennadar)
set(CPACK_PACKAGE_VENDOR "Vennadar team")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keyboard-first reader of an educational article site")
set(CPACK_PACKAGE_DESCRIPTION
    "Vennadar reads one educational article website: categories, listings, search and articles,
every control reachable from the keyboard and named for screen readers.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vennadar team")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, hicolor-icon-theme, libsqlite3-0, qt6-wayland, qt6-translations-l10n")
# Chinese text needs a CJK font; the launcher's error dialog uses the first of these tools.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "zenity | kdialog | x11-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/build-[^/]*/" "/\\\\.cache/")

include(CPack)
