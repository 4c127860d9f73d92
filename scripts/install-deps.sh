#!/usr/bin/env bash
# Installs the Debian packages Korvane needs to build, test and run, when any is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    clang-format clang-tidy        # the layout and code checks of test.sh
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    libqt6sql6-sqlite              # Qt SQL's SQLite driver: the history of checks
    libsqlite3-dev                 # SQLite itself, under that driver's connection: a run's verdicts staged fast
    libssl-dev                     # libcrypto's HMAC-SHA256, which signs the echo host's pages; libssl's TLS
    libloc-dev libloc-database     # a proxy's country, from the offline location database (libloc1 comes with -dev)
    openssl                        # the throwaway authorities and certificates of the TLS tests
    fonts-dejavu-core
    fonts-liberation               # the face the window's captions are measured for
    tinyproxy                      # the real HTTP proxy server of the end-to-end tests
    microsocks dante-server        # the real SOCKS 5 and SOCKS 4/5 proxy servers of the end-to-end tests
    squid                          # a real proxy that names its client in X-Forwarded-For, in the tests
    apache2-utils nginx-light      # ab, and the static server the echo host's benchmark measures against
    parallel                       # korvane-cli split over several runs, in the tests
    jq                             # the README's jq recipe reading check --json back, in the tests
    help2man                       # the manual pages
    lintian desktop-file-utils     # the checks of the Debian packages in test.sh
    appstream bash-completion      # the window's metainfo and korvane-cli's completion, checked in test.sh
    clang libclang-rt-14-dev       # libFuzzer targets
    xvfb xauth                     # showing the window where no display is running
    iproute2                       # ip: loopback up in the network namespace test.sh runs the suites in
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
# Debian starts the packaged tinyproxy and danted services on install; the tests run their own instances.
quiet_service() { # package, service, the port it listens on by default
    [[ " ${missing[*]} " == *" $1 "* ]] || return 0
    if command -v systemctl >/dev/null; then
        "${sudo[@]}" systemctl disable --now "$2" >/dev/null 2>&1 || true
    fi
    # Without systemd running, the package started it through its init script.
    if [[ ! -d /run/systemd/system && -x /etc/init.d/$2 ]]; then
        "${sudo[@]}" invoke-rc.d "$2" stop >/dev/null 2>&1 || true
        "${sudo[@]}" update-rc.d "$2" disable >/dev/null 2>&1 || true
    fi
    if command -v ss >/dev/null && [[ -n $(ss -Hltn "sport = :$3") ]]; then
        echo "Port $3 is still in use after installing $1: stop its service $2" >&2
    fi
}
quiet_service tinyproxy tinyproxy 8888
quiet_service dante-server danted 1080
quiet_service squid squid 3128
quiet_service nginx-light nginx 80
