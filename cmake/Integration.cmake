# What desktops and shells read about the programs: the window's AppStream metainfo, which software centres list it
# by, in the korvane package; korvane-cli's bash completion in the korvane-cli package.

# One <release> per entry of packaging/changelog, newest first as there: "korvane (VERSION) ..." and, closing the
# entry, " -- NAME <ADDRESS>  Sun, 06 Dec 2026 21:00:00 +0000", whose day AppStream wants as 2026-12-06.
set(changelog_source ${PROJECT_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog_source})
file(STRINGS ${changelog_source} changelog_lines REGEX "^(korvane \\(| -- )")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(KORVANE_RELEASES "")
foreach(line IN LISTS changelog_lines)
    if(line MATCHES "^korvane \\(([^)]+)\\)")
        set(version ${CMAKE_MATCH_1})
    elseif(line MATCHES "  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) " AND version)
        set(day ${CMAKE_MATCH_1})
        set(year ${CMAKE_MATCH_3})
        list(FIND months ${CMAKE_MATCH_2} month)
        if(month LESS 0)
            message(FATAL_ERROR "${changelog_source}: no month ${CMAKE_MATCH_2} in \"${line}\"")
        endif()
        math(EXPR month "${month} + 1")
        string(REGEX REPLACE "^(.)$" "0\\1" month ${month})
        string(REGEX REPLACE "^(.)$" "0\\1" day ${day})
        string(APPEND KORVANE_RELEASES "    <release version=\"${version}\" date=\"${year}-${month}-${day}\"/>\n")
        unset(version)
    endif()
endforeach()
if(NOT KORVANE_RELEASES)
    message(FATAL_ERROR "${changelog_source}: no entry with a version and a date")
endif()
string(STRIP "${KORVANE_RELEASES}" KORVANE_RELEASES)
set(KORVANE_RELEASES "    ${KORVANE_RELEASES}")

# Named after the component's id, as AppStream wants; the id in lower case, which its pedantic checks ask for.
set(metainfo io.github.korvane.korvane.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/packaging/${metainfo}.in ${PROJECT_BINARY_DIR}/packaging/${metainfo} @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        COMPONENT korvane)

# Where bash-completion looks for a command's completion when it is first completed (pkg-config's completionsdir of
# bash-completion, under the install prefix).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/korvane-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME korvane-cli COMPONENT korvane-cli)
