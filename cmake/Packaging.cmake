# `cpack -G DEB` in the build folder makes a Debian package of the installed files.
set(CPACK_PACKAGE_NAME "korvane")
set(CPACK_PACKAGE_VENDOR "Korvane developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop proxy-list manager: load, test, filter and save HTTP proxy lists")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Korvane developers <korvane@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's captions are laid out for this face.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Debugging symbols stay in the build folder.
set(CPACK_STRIP_FILES ON)
include(CPack)
