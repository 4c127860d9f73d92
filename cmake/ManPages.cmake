# Manual pages made from each program's --help and --version by help2man, at build time.
option(KORVANE_MANPAGES "Generate the manual pages with help2man" ON)
if(KORVANE_MANPAGES)
    find_program(HELP2MAN help2man REQUIRED)
endif()

function(korvane_man_page target summary)
    if(NOT KORVANE_MANPAGES)
        return()
    endif()
    set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
    # Started through PATH, the program shows its plain name in the usage line; the window needs no display.
    add_custom_command(OUTPUT ${page}
        COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${target}>:$ENV{PATH}" QT_QPA_PLATFORM=offscreen
                ${HELP2MAN} --no-info --name=${summary} --output=${page} ${target}
        DEPENDS ${target}
        COMMENT "Manual page of ${target}"
        VERBATIM)
    add_custom_target(${target}-man ALL DEPENDS ${page})
    install(FILES ${page} DESTINATION share/man/man1)
endfunction()
