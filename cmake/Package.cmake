# `cpack -G DEB` in a build folder configured with -DCMAKE_INSTALL_PREFIX=/usr (scripts/package)
# makes kestrix_VERSION_ARCH.deb; its dependencies are read from the programs and modules by
# dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME kestrix)
set(CPACK_PACKAGE_VENDOR "Kestrix")
set(CPACK_PACKAGE_CONTACT "Kestrix developers <developers@kestrix.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Watch web cameras and weather radar")
set(CPACK_PACKAGE_DESCRIPTION "Kestrix fetches the images web cameras, weather radar and volcano \
cameras publish at fixed addresses, tells new images from repeats, captures them as timestamped \
frames and exports them as AVI and MP4 movies and animated GIFs. kestrix-cli offers the same \
work to scripts and watches many cameras without a window.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://kestrix.org")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its X11 and Wayland platform plugins at run time; without them no window opens.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
include(CPack)
