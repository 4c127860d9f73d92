# `cpack -G DEB` in the build folder makes one Debian package per install component:
#   korvane      the window: bin/korvane, its manual page, the .desktop entry, the icon, the page Exit opens, its
#                AppStream metainfo;
#   korvane-cli  bin/korvane-cli, its manual page, its bash completion, the korvane-judge service and the
#                korvane-watch@ service and timer (none enabled),
#                for machines without a display (no window, no Qt Widgets).
# Each install() of the project names its component; the manual pages go with the program of the same name.
set(KORVANE_MAINTAINER "Korvane developers <korvane-devel@users.noreply.github.com>")
set(korvane_packages korvane korvane-cli)

# /usr/share/doc/<package>/ of each package: copyright (LICENSE in Debian's machine-readable format) and changelog.gz
# (packaging/changelog, gzip -9n). The version carries no Debian revision, so the packages are native ones, whose
# changelog Debian names changelog.gz, not changelog.Debian.gz.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
# The permission text, below the copyright line, as the body of a License: field: blank lines become " .", and
# every line is indented by one space.
string(REGEX REPLACE "^.*Copyright \\(c\\)[^\n]*\n" "" license "${license}")
string(STRIP "${license}" license)
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " KORVANE_LICENSE_TEXT " ${license}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${PROJECT_BINARY_DIR}/packaging/copyright @ONLY)

find_program(GZIP gzip REQUIRED)
set(changelog ${PROJECT_BINARY_DIR}/packaging/changelog)
add_custom_command(OUTPUT ${changelog}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/changelog ${changelog}
    COMMAND ${GZIP} -9nf ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    COMMENT "Compressed changelog"
    VERBATIM)
add_custom_target(korvane-changelog ALL DEPENDS ${changelog}.gz)

foreach(package IN LISTS korvane_packages)
    install(FILES ${PROJECT_BINARY_DIR}/packaging/copyright ${changelog}.gz
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${package})
endforeach()
# What lintian is told about the korvane-judge service of korvane-cli, and why.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/korvane-cli.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME korvane-cli COMPONENT korvane-cli)
# The metainfo and the bash completion (cmake/Integration.cmake).
include(${PROJECT_SOURCE_DIR}/cmake/Integration.cmake)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "korvane")
set(CPACK_PACKAGE_VENDOR "Korvane developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description below starts with its own summary line: no shared one goes before it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${korvane_packages})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KORVANE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SOURCE "korvane")
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
# Depends: the libraries each program links, as dpkg-shlibdeps finds them, plus those named below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debugging symbols stay in the build folder.
set(CPACK_STRIP_FILES ON)
# Folders as Debian wants them whatever the umask of whoever runs cpack.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Checks the changelog against the version and takes out of the programs what strip leaves (packaging/pre-build.cmake).
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/pre-build.cmake)
set(CPACK_KORVANE_CHANGELOG ${PROJECT_SOURCE_DIR}/packaging/changelog)
set(CPACK_KORVANE_OBJCOPY ${CMAKE_OBJCOPY})

set(CPACK_DEBIAN_KORVANE_PACKAGE_NAME "korvane")
set(CPACK_DEBIAN_KORVANE_DESCRIPTION "desktop proxy-list manager: load, test, filter and save proxy lists
Korvane keeps a table of proxies (HTTP, HTTPS tunnels, SOCKS 4 and 5, with
credentials), one host:port row each, in one window. It loads lists from
text files or the clipboard, dropping every line that is not an address and
port and keeping repeated rows once; tests every proxy, or the untested or
selected ones, through an IP-echo web page and tells which work, which are
anonymous and how fast each answered; filters the table down to the working,
the anonymous, the selected or the fast proxies; and saves rows to the
clipboard or a file.

The same list rules and checker, without a window, are in korvane-cli.")
# The window's captions are laid out for this face.
# The history of checks is an SQLite file, read through Qt SQL's driver, a plugin dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_KORVANE_PACKAGE_DEPENDS "fonts-liberation, libqt6sql6-sqlite")
set(CPACK_DEBIAN_KORVANE-CLI_PACKAGE_DEPENDS "libqt6sql6-sqlite")
# Exit opens the installed page about Korvane with xdg-open. The countries come from the location database; libloc1,
# which reads it, is a dependency dpkg-shlibdeps finds.
set(CPACK_DEBIAN_KORVANE_PACKAGE_RECOMMENDS "xdg-utils, libloc-database")
set(CPACK_DEBIAN_KORVANE-CLI_PACKAGE_RECOMMENDS "libloc-database")

set(CPACK_DEBIAN_KORVANE-CLI_PACKAGE_NAME "korvane-cli")
set(CPACK_DEBIAN_KORVANE-CLI_DESCRIPTION "command-line proxy-list cleaner and checker
korvane-cli cleans lists of proxies (HTTP, HTTPS tunnels, SOCKS 4 and 5),
keeping each valid line once and in order, and checks every proxy through an
IP-echo web page, many at a time, printing its status, whether it is
anonymous, how fast it answered and, from an offline location database,
the country it leaves from, as tab-separated text or JSON. It reads
files or standard input and needs no display, so it suits scripts and
servers.

korvane-cli judge is an echo host of its own for a server, shipped as the
systemd service korvane-judge (not enabled on install): through it each
probe carries a token no stored page can show, and a working proxy is graded
transparent, anonymous or elite by the headers it passes on.

Every check is kept in an SQLite history: korvane-cli history gives each
proxy's uptime, first seen and last working, check --only up:90 keeps the
proxies that stay up, and korvane-cli watch checks lists again and again,
as the systemd service korvane-watch@ (not enabled on install).

It shares its list rules and checker with the korvane window, packaged apart.")

include(CPack)
