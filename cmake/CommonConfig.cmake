# Settings shared by every target of the project.
add_library(korvane_common INTERFACE)
target_compile_features(korvane_common INTERFACE cxx_std_20)
# One include root: every project header is named with its folder, "proxylist/ProxyTableModel.h".
target_include_directories(korvane_common INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_definitions(korvane_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_NO_KEYWORDS)
target_compile_options(korvane_common INTERFACE -Wall -Wextra -Wpedantic)
if(KORVANE_WERROR)
    target_compile_options(korvane_common INTERFACE -Werror)
endif()
if(KORVANE_SANITIZE)
    target_compile_options(korvane_common INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=undefined
                                                    -fno-omit-frame-pointer)
    target_link_options(korvane_common INTERFACE -fsanitize=address,undefined)
endif()
# Hardening of optimised builds, the one Debian gives its own packages (lintian looks for it in the programs):
# checked C library calls, stack canaries, relocations made read-only before the program starts, a position-
# independent executable. Not in Debug builds (_FORTIFY_SOURCE needs optimisation), nor with the sanitizers, which
# check those calls themselves.
if(NOT KORVANE_SANITIZE)
    set(korvane_optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
    target_compile_options(korvane_common INTERFACE
        "$<${korvane_optimised}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2;-fstack-protector-strong>")
    target_link_options(korvane_common INTERFACE "$<${korvane_optimised}:-Wl,-z,relro,-z,now;-pie>")
endif()
