# Manual pages made from each program's --help by help2man, at build time, and installed gzip-compressed as Debian
# wants them.
option(KORVANE_MANPAGES "Generate the manual pages with help2man" ON)
if(KORVANE_MANPAGES)
    find_program(HELP2MAN help2man REQUIRED)
    find_program(GZIP gzip REQUIRED)
endif()

# The page of program `target`, installed with the package (install component) of the same name.
function(korvane_man_page target summary)
    if(NOT KORVANE_MANPAGES)
        return()
    endif()
    set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
    # Started through PATH, the program shows its plain name in the usage line; the window needs no display.
    # --version-string: the page is named after the executable, whatever name the program gives itself in --version
    # ("Korvane 1.0.0"). gzip -n: no file name or time stamp in the archive, so the same page makes the same bytes.
    add_custom_command(OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${target}>:$ENV{PATH}" QT_QPA_PLATFORM=offscreen
                ${HELP2MAN} --no-info --version-string=${PROJECT_VERSION} --name=${summary} --output=${page} ${target}
        COMMAND ${GZIP} -9nf ${page}
        DEPENDS ${target}
        COMMENT "Manual page of ${target}"
        VERBATIM)
    add_custom_target(${target}-man ALL DEPENDS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${target})
endfunction()
