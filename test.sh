#!/usr/bin/env bash
# Installs what is missing, builds Korvane and runs every test: once in a normal build, then again in a build
# with AddressSanitizer and UndefinedBehaviorSanitizer; checks the Debian packages and runs clang-tidy. Warnings are
# errors here, as in CI.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
jobs=$(nproc)
mkdir -p build/logs build-asan/logs build-tidy/logs

# Independent steps run side by side, each with its output in a log under its build folder, shown when it fails. A
# background step leads a process group of its own, stopped with everything it started if the script ends early.
declare -A background=() # name: the PID of its process group
trap 'for pid in "${background[@]}"; do kill -- "-$pid" 2>/dev/null || true; done' EXIT
step() { # log, command...
    local log=$1
    shift
    if ! "$@" >"$log" 2>&1; then
        echo "== failed: $*; its output, kept in $log:" >&2
        cat "$log" >&2
        return 1
    fi
}
spawn() { # name, command...: the step started in the background; settle waits for it
    echo "== $1 (started)"
    set -m
    "${@:2}" &
    set +m
    background[$1]=$!
}
failed=0
settle() { # name...: waits for each step, and notes a failure
    local name pid
    for name; do
        pid=${background[$name]}
        unset "background[$name]"
        if wait "$pid"; then echo "== $name: done"; else echo "== $name: FAILED" >&2 && failed=1; fi
    done
}
finish() {
    settle "$@"
    [[ $failed -eq 0 ]] || exit 1
}

# The suites run in a network namespace of their own that holds only loopback, where the machine allows it (as
# root): no test reaches anything else, and the two builds' suites, which may run at the same time, share no port.
if unshare --net ip link set lo up 2>/dev/null; then
    isolated=(unshare --net sh -c 'ip link set lo up && exec "$@"' isolated)
else
    echo "== no network namespace here (unshare --net failed): the tests run on this machine's own network"
    isolated=()
fi

spawn formatting step build/logs/clang-format.log \
    bash -c "set -o pipefail; git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror"
spawn "release configure" step build/logs/configure.log \
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_UNITY=ON -DKORVANE_WERROR=ON
spawn "ASan configure" step build-asan/logs/configure.log \
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON -DKORVANE_MANPAGES=OFF \
    -DKORVANE_UNITY=ON -DKORVANE_WERROR=ON
# clang-tidy's compile commands: the files grouped as the builds group them, so that Qt's headers are read once per
# group rather than once per file (six times faster). This folder is never built.
spawn "clang-tidy configure" step build-tidy/logs/configure.log \
    cmake -S . -B build-tidy -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON -DKORVANE_MANPAGES=OFF \
    -DKORVANE_UNITY=ON
finish formatting "release configure" "ASan configure" "clang-tidy configure"

# clang-tidy needs only those compile commands and the headers moc and uic generate, made by each target's own
# generator step: through the build, that step would wait for every library the target links. At a low priority it
# takes what CPU the builds leave, chiefly while the suites wait on their sockets.
generate() {
    local info
    while IFS= read -r info; do
        cmake -E cmake_autogen "$PWD/$info" Debug || return 1
    done < <(find build-tidy -name AutogenInfo.json)
}
step build-tidy/logs/autogen.log generate
tidy() {
    # A group's source includes its files, which is what it is for.
    if ! nice -n 10 run-clang-tidy -p build-tidy -j "$jobs" -quiet -checks=-bugprone-suspicious-include \
        "$PWD/((app|cli|judge|proxylist|checker|location|history|tests|bench)/.*\.cpp|build-tidy/.*/unity_[0-9]+_cxx\.cxx)$" \
        >build-tidy/clang-tidy.log 2>&1; then
        grep -Ev '^([0-9]+ warnings? generated\.|Suppressed [0-9]+ warnings|Use -header-filter|clang-tidy-14 )' \
            build-tidy/clang-tidy.log
        return 1
    fi
}
spawn "clang-tidy (.clang-tidy) over every folder" tidy

echo "== release build"
step build/logs/build.log cmake --build build -j"$jobs" || { failed=1 && finish "clang-tidy (.clang-tidy) over every folder"; }

spawn "release tests" step build/logs/ctest.log "${isolated[@]}" ctest --test-dir build --output-on-failure -j"$jobs"

# Run where errexit does not hold (a step's command is a condition): each check returns on failure itself.
packages() {
    desktop-file-validate app/korvane.desktop || return 1
    rm -rf build/packages
    (cd build && cpack -G DEB -B packages >/dev/null) || return 1
    # Errors and warnings fail the script; info tags are shown only.
    lintian --fail-on error,warning --display-info build/packages/*.deb || return 1
    # korvane-cli is the package for machines without a display: nothing of Qt's GUI libraries among what it pulls in.
    if dpkg-deb --field build/packages/korvane-cli_*.deb Depends | grep -Eq 'libqt6(gui|widgets)'; then
        echo "korvane-cli depends on a Qt GUI library" >&2
        return 1
    fi
    # What software centres and the shell read, as the packages install it: the metainfo beside the .desktop entry
    # it names, with no hint at all, even a pedantic one (--no-net: nothing is fetched), and the completion through
    # bash-completion's own functions.
    local root=build/packages/root deb metainfo only
    for deb in build/packages/*.deb; do dpkg-deb -x "$deb" "$root" || return 1; done
    metainfo=$(appstreamcli validate-tree --pedantic --no-net "$root") &&
        ! grep -E '^ *[EWIP]: ' <<<"$metainfo" || { echo "$metainfo" >&2; return 1; }
    only=$(bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; COMP_WORDS=(korvane-cli check --only "")
        COMP_CWORD=3; COMP_LINE="korvane-cli check --only "; COMP_POINT=${#COMP_LINE}; _korvane_cli; echo "${COMPREPLY[*]}"' \
        _ "$root"/usr/share/bash-completion/completions/korvane-cli)
    if [[ "$only" != "working anonymous elite fast: site country: asn: up:" ]]; then
        echo "korvane-cli's completion offers \"$only\" after --only" >&2
        return 1
    fi
}
spawn "Debian packages of the release build (cpack, lintian)" step build/logs/packages.log packages

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
if step build-asan/logs/build.log cmake --build build-asan -j"$jobs"; then
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer tests"
    step build-asan/logs/ctest.log env \
        ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1" \
        LSAN_OPTIONS="suppressions=$PWD/tests/common/lsan.supp:print_suppressions=0" \
        UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        "${isolated[@]}" ctest --test-dir build-asan --output-on-failure -j"$jobs" || failed=1
else
    failed=1
fi
finish "release tests" "Debian packages of the release build (cpack, lintian)" "clang-tidy (.clang-tidy) over every folder"
# Each suite's closing lines, as ctest printed them.
for log in build/logs/ctest.log build-asan/logs/ctest.log; do
    echo "== $log"
    grep -E '^([0-9]+% tests passed|Total Test time)' "$log"
done
echo "== all passed"
