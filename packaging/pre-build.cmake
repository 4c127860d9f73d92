# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) once the files are installed in its staging folder, before the packages
# are made from them.

# The packages carry packaging/changelog: its latest entry must be the version being packaged.
file(STRINGS "${CPACK_KORVANE_CHANGELOG}" latest LIMIT_COUNT 1)
string(FIND "${latest}" "korvane (${CPACK_PACKAGE_VERSION}) " at)
if(NOT at EQUAL 0)
    message(FATAL_ERROR "The latest entry of ${CPACK_KORVANE_CHANGELOG} is \"${latest}\", not version "
                        "${CPACK_PACKAGE_VERSION}: add an entry for it at the top.")
endif()

# What Debian's own packaging tools take out of the programs after stripping them (CPACK_STRIP_FILES only strips
# the symbols): the compilers' version strings and the notes that nothing reads.
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(FILTER programs INCLUDE REGEX "/bin/[^/]+$")
foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_KORVANE_OBJCOPY}" --remove-section=.comment --remove-section=.note "${program}"
                    RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "objcopy could not clean ${program}")
    endif()
endforeach()
