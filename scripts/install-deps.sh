#!/usr/bin/env bash
# Installs the Debian packages Korvane needs to build, test and run, when any is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    clang-format                   # the layout check of test.sh
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    fonts-dejavu-core
    fonts-liberation               # the face the window's captions are measured for
    tinyproxy                      # the real proxy server of the end-to-end test
    help2man                       # the manual pages
    lintian desktop-file-utils     # the checks of the Debian packages in test.sh
    clang libclang-rt-14-dev       # libFuzzer targets
    xvfb xauth                     # showing the window where no display is running
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "Run as root or install sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
# Debian starts the packaged tinyproxy service on install; the tests run their own instances.
if [[ " ${missing[*]} " == *" tinyproxy "* ]] && command -v systemctl >/dev/null; then
    "${sudo[@]}" systemctl disable --now tinyproxy >/dev/null 2>&1 || true
fi
