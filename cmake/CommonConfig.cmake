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
