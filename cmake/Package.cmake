# `cpack -G DEB` in a build folder configured with -DCMAKE_INSTALL_PREFIX=/usr (scripts/package)
# makes kestrix_VERSION-REVISION_ARCH.deb; its dependencies are read from the programs and modules
# by dpkg-shlibdeps. The files Debian asks for beyond `cmake --install` (the compressed manual
# pages and changelog, lintian's overrides) are made in the staging folder by
# packaging/debian/stage.cmake.
set(CPACK_PACKAGE_NAME kestrix)
set(CPACK_PACKAGE_VENDOR "Kestrix")
set(CPACK_PACKAGE_CONTACT "Kestrix developers <developers@kestrix.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Watch web cameras and weather radar")
# Debian shows the long description line by line as written here: no line over 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
  "Kestrix fetches the images that web cameras, weather radar and volcano
cameras publish at fixed addresses, tells new images from repeats, captures
them as timestamped frames and exports them as AVI and MP4 movies and
animated GIFs. kestrix-cli offers the same work to scripts and watches many
cameras without a window, also as the systemd service kestrix-watch@.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://kestrix.org")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
# The Debian revision of this version; packaging/debian/changelog must open with the same.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its X11 and Wayland platform plugins at run time; without them no window opens.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
# The examples in /etc/kestrix are the administrator's once installed: an upgrade asks before
# it replaces an edited one.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_KESTRIX_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/packaging/debian)
set(kestrix_changelog ${CPACK_KESTRIX_DEBIAN_DIR}/changelog)
file(STRINGS ${kestrix_changelog} kestrix_changelog_top LIMIT_COUNT 1)
set(kestrix_deb_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
if(NOT kestrix_changelog_top MATCHES "^kestrix \\(${kestrix_deb_version}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog must begin with an entry for "
    "${kestrix_deb_version}, not: ${kestrix_changelog_top}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${kestrix_changelog})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/debian/stage.cmake)
include(CPack)
