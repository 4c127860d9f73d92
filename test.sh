#!/usr/bin/env bash
# Installs what is missing, builds Korvane and runs every test: once in a normal build, then again in a build
# with AddressSanitizer and UndefinedBehaviorSanitizer; checks the Debian packages and runs clang-tidy. Warnings are
# errors here, as in CI.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
jobs=$(nproc)

echo "== formatting (clang-format, dry run)"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_UNITY=ON -DKORVANE_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== Debian packages of that build (cpack, lintian)"
desktop-file-validate app/korvane.desktop
rm -rf build/packages
(cd build && cpack -G DEB -B packages >/dev/null)
# Errors and warnings fail the script; info tags are shown only.
lintian --fail-on error,warning --display-info build/packages/*.deb
# korvane-cli is the package for machines without a display: nothing of Qt's GUI libraries among what it pulls in.
if dpkg-deb --field build/packages/korvane-cli_*.deb Depends | grep -Eq 'libqt6(gui|widgets)'; then
    echo "korvane-cli depends on a Qt GUI library" >&2
    exit 1
fi
# What software centres and the shell read, as the packages install it: the metainfo beside the .desktop entry it
# names, with no hint at all, even a pedantic one (--no-net: nothing is fetched), and the completion through
# bash-completion's own functions.
root=build/packages/root
for deb in build/packages/*.deb; do dpkg-deb -x "$deb" "$root"; done
metainfo=$(appstreamcli validate-tree --pedantic --no-net "$root") &&
    ! grep -E '^ *[EWIP]: ' <<<"$metainfo" || { echo "$metainfo" >&2; exit 1; }
only=$(bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; COMP_WORDS=(korvane-cli check --only "")
    COMP_CWORD=3; COMP_LINE="korvane-cli check --only "; COMP_POINT=${#COMP_LINE}; _korvane_cli; echo "${COMPREPLY[*]}"' \
    _ "$root"/usr/share/bash-completion/completions/korvane-cli)
if [[ "$only" != "working anonymous elite fast:" ]]; then
    echo "korvane-cli's completion offers \"$only\" after --only" >&2
    exit 1
fi

# File by file, unlike the build above: a header that forgets an include fails here.
echo "== build and test with AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON -DKORVANE_MANPAGES=OFF -DKORVANE_UNITY=OFF \
    -DKORVANE_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/common/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== clang-tidy (.clang-tidy) over every folder"
if ! run-clang-tidy -p build-asan -j "$jobs" -quiet "$PWD/(app|cli|proxylist|checker|tests|bench)/.*\.cpp$" \
    >build-asan/clang-tidy.log 2>&1; then
    grep -Ev '^([0-9]+ warnings? generated\.|Suppressed [0-9]+ warnings|Use -header-filter|clang-tidy-14 )' \
        build-asan/clang-tidy.log
    exit 1
fi
