#!/usr/bin/env bash
# korvane-cli's check --protocol auto through real proxy servers on loopback, beside the same rows with their schemes
# written in. Five servers: tinyproxy and squid (HTTP), microsocks (SOCKS 5), and two danteds, one that allows only
# SOCKS 4 and one only SOCKS 5, all asking a threaded IP-echo server on 127.0.0.1. R rows each (default 400), taken
# in turns so that every batch mixes them, in two lists: right.txt with each row's scheme, bare.txt without. Three
# rounds, each checking right.txt and then bare.txt with --protocol auto, -n 200 -t 5.
# Prints for each run: wall seconds, user + system CPU seconds, peak KB, the rows of each status for each server; for
# auto, the rows of each server printed with its scheme and those printed with another one or none. At the end: the
# medians of the three rounds, auto / right (target: at most 1.3 x, wall and CPU), and how many protocols were found
# right. Exits with 1 when a row of an auto run was not printed with its server's scheme.
# Usage: bench/run-detect.sh [build folder] [rows per server]   (defaults: build 400)
set -euo pipefail
exec 2>&1
cd "$(dirname "$0")/.."
# shellcheck source=bench/loopback.sh
source bench/loopback.sh
build=${1:-build}
rows=${2:-400}
cli=$build/cli/korvane-cli
[[ -x $cli ]] || { echo "build $cli first" >&2; exit 1; }
[[ $rows =~ ^[1-9][0-9]*$ ]] || { echo "rows per server: a positive number, not $rows" >&2; exit 2; }
for program in microsocks tinyproxy squid danted python3 /usr/bin/time; do
    command -v "$program" >/dev/null || { echo "install $program first" >&2; exit 1; }
done

folder=$(mktemp -d)
# Each check's history goes with the folder, never into the user's own.
export XDG_DATA_HOME=$folder
pids=()
check=
# descendants PID: the processes PID started, and theirs.
descendants() {
    local children=() child
    read -r -a children < <(cat /proc/"$1"/task/*/children 2>/dev/null) || true
    for child in "${children[@]}"; do
        echo "$child"
        descendants "$child"
    done
}
alive() {
    local pid
    for pid in "$@"; do [[ -e /proc/$pid ]] && return 0; done
    return 1
}
# danted's children outlive it for a moment, and then stay until init has reaped them: at most 5 s.
cleanup() {
    local pid children=()
    for pid in $check "${pids[@]}"; do
        mapfile -t -O "${#children[@]}" children < <(descendants "$pid")
        kill "$pid" 2>/dev/null && { wait "$pid" 2>/dev/null || true; }
    done
    for _ in $(seq 50); do
        alive "${children[@]}" || break
        sleep 0.1
    done
    rm -rf "$folder"
}
trap cleanup EXIT
# tinyproxy and danted drop to nobody and squid to proxy: they read their configurations here and squid writes its
# logs here.
chmod 777 "$folder"

# listens NAME PORT PID: waits until the server listens; one that ended or does not listen ends the script with its log.
listens() {
    (wait_port "$2" "$3") && return 0
    echo "$1 does not listen on 127.0.0.1:$2; its log:" >&2
    sed 's/^/  /' "$folder/$1.log" >&2 || true
    exit 1
}

echo_port=$(free_port)
echo_server "$echo_port" >"$folder/echo.log" 2>&1
pids+=($!)
listens echo "$echo_port" "$!"

# The servers in the order of the rows: name, the scheme of their rows in right.txt, port.
servers=()
# start NAME SCHEME PORT COMMAND...: starts a server and waits until it listens.
start() {
    local name=$1 scheme=$2 port=$3
    shift 3
    "$@" >"$folder/$name.log" 2>&1 &
    pids+=($!)
    listens "$name" "$port" "$!"
    servers+=("$name $scheme $port")
}

# MaxClients above the 200 clients of a batch.
port=$(free_port)
cat >"$folder/tinyproxy.conf" <<EOF
Port $port
Listen 127.0.0.1
MaxClients 300
Timeout 30
DisableViaHeader Yes
LogLevel Error
EOF
((EUID == 0)) && printf 'User nobody\nGroup nogroup\n' >>"$folder/tinyproxy.conf"
start tinyproxy http:// "$port" tinyproxy -d -c "$folder/tinyproxy.conf"

# To loopback only, caching nothing, asking no name server but loopback's; TERM stops it without waiting for clients.
port=$(free_port)
cat >"$folder/squid.conf" <<EOF
http_port 127.0.0.1:$port
acl from_loopback src 127.0.0.0/8 ::1
acl to_loopback dst 127.0.0.0/8 ::1
http_access allow from_loopback to_loopback
http_access deny all
cache deny all
cache_mem 0 MB
pid_filename $folder/squid.pid
cache_log $folder/squid-cache.log
access_log stdio:$folder/squid-access.log
coredump_dir $folder
visible_hostname korvane-bench
dns_nameservers 127.0.0.1
pinger_enable off
shutdown_lifetime 0 seconds
EOF
start squid http:// "$port" squid -N -f "$folder/squid.conf"

port=$(free_port)
start microsocks socks5:// "$port" microsocks -i 127.0.0.1 -p "$port"

# dante_conf PORT VERSION: a dante that speaks only that SOCKS version (socks_v4 or socks_v5). Its user lines must
# come before its rules, and proxyprotocol must not share a line with log.
dante_conf() {
    printf 'logoutput: stderr\ninternal: 127.0.0.1 port = %s\nexternal: 127.0.0.1\n' "$1"
    ((EUID == 0)) && printf 'user.unprivileged: nobody\n'
    printf 'clientmethod: none\nsocksmethod: none\nclient pass { from: 127.0.0.0/8 to: 127.0.0.0/8 }\n'
    printf 'socks pass {\n from: 127.0.0.0/8 to: 127.0.0.0/8\n log: error\n proxyprotocol: %s\n}\n' "$2"
}
for version in 4 5; do
    port=$(free_port)
    dante_conf "$port" "socks_v$version" >"$folder/dante-v$version.conf"
    start "dante-v$version" "socks$version://" "$port" \
        danted -f "$folder/dante-v$version.conf" -p "$folder/dante-v$version.pid"
done

# korvane-cli keeps one row of each text; what follows a second colon tells the rows apart.
printf '%s\n' "${servers[@]}" >"$folder/servers.txt"
awk -v rows="$rows" -v right="$folder/right.txt" -v bare="$folder/bare.txt" '
    { scheme[NR] = $2; port[NR] = $3 }
    END {
        for (row = 1; row <= rows; row++)
            for (server = 1; server <= NR; server++) {
                print scheme[server] "127.0.0.1:" port[server] ":" row > right
                print "127.0.0.1:" port[server] ":" row > bare
            }
    }' "$folder/servers.txt"
total=$((rows * ${#servers[@]}))
echo "== ${#servers[@]} servers, $rows rows each, $total rows: -n 200 -t 5, echo host 127.0.0.1:$echo_port"
for server in "${servers[@]}"; do
    read -r name scheme port <<<"$server"
    echo "  $name on 127.0.0.1:$port ($scheme)"
done

# tally KIND: the figures of one run's results (results.tsv) by server, its port telling the server; for auto, also
# the rows printed exactly as right.txt writes them, their number into found.txt.
tally() {
    awk -F '\t' -v kind="$1" -v rows="$rows" -v found="$folder/found.txt" '
        FILENAME ~ /servers.txt$/ { split($0, server, " "); name[server[3]] = server[1]; order[++servers] = server[3]; next }
        FILENAME ~ /right.txt$/ { right[$0] = 1; next }
        {
            row = $1
            sub(/^[A-Za-z0-9]*:\/\//, "", row)
            split(row, part, ":")
            port = part[2] in name ? part[2] : "other"
            printed[port]++
            got[port, $2]++
            statuses[$2] = 1
            if (kind == "auto" && right[$1]) { scheme[port]++; all++ }
            lines++
        }
        END {
            split("Working\tInvalid Response\tError\tTimeout", known, "\t")
            for (status in statuses)
                if (status != "Working" && status != "Invalid Response" && status != "Error" && status != "Timeout")
                    known[length(known) + 1] = status
            line = ""
            for (k = 1; k <= length(known); k++) {
                count = 0
                for (port in printed) count += got[port, known[k]]
                line = line sprintf(", %s %d", known[k], count)
            }
            printf "  %d of %d rows printed%s\n", lines, rows * servers, line
            if ("other" in printed) order[++servers] = "other"
            for (s = 1; s <= servers; s++) {
                port = order[s]
                line = sprintf("    %-10s", port == "other" ? "(no port)" : name[port])
                for (k = 1; k <= length(known); k++)
                    if (got[port, known[k]]) line = line sprintf(" %s %d,", known[k], got[port, known[k]])
                if (port != "other" && printed[port] < rows) line = line sprintf(" not printed %d,", rows - printed[port])
                if (kind == "auto" && port != "other")
                    line = line sprintf(" its scheme %d, another or none %d", scheme[port], rows - scheme[port])
                sub(/,$/, "", line)
                print line
            }
            print all + 0 > found
        }' "$folder/servers.txt" "$folder/right.txt" "$folder/results.tsv"
}

right_wall=() right_cpu=() auto_wall=() auto_cpu=()
found_right=0
failed=0
for round in 1 2 3; do
    for kind in right auto; do
        options=(-q -n 200 -t 5 --echo-host "127.0.0.1:$echo_port")
        list=right.txt
        if [[ $kind == auto ]]; then
            options+=(--protocol auto)
            list=bare.txt
        fi
        echo "== round $round, $kind: korvane-cli check ${options[*]} $list"
        # Past 5 minutes timeout's SIGINT ends the check after the probes under way, with its results (time ignores
        # SIGINT); timeout hands the SIGTERM of cleanup to time and the check alike.
        timeout -s INT 300 /usr/bin/time -o "$folder/time.txt" -f '%e %U %S %M' \
            "$cli" check "${options[@]}" "$folder/$list" >"$folder/results.tsv" 2>"$folder/errors.txt" &
        check=$!
        status=0
        wait "$check" || status=$?
        check=
        read -r wall user system peak < <(tail -n 1 "$folder/time.txt")
        cpu=$(awk "BEGIN { printf \"%.2f\", $user + $system }")
        echo "  exit $status, wall $wall s, CPU $cpu s, peak $peak KB"
        if ((status != 0)); then
            echo "  FAILED: korvane-cli check ended with exit status $status"
            [[ $kind == auto ]] && failed=$((failed + 1))
        fi
        if [[ -s $folder/errors.txt ]]; then
            echo "  its standard error:"
            head -n 5 "$folder/errors.txt" | sed 's/^/  | /'
        fi
        tally "$kind"
        if [[ $kind == right ]]; then
            right_wall+=("$wall") right_cpu+=("$cpu")
        else
            auto_wall+=("$wall") auto_cpu+=("$cpu")
            found_right=$((found_right + $(cat "$folder/found.txt")))
        fi
    done
done

median() { printf '%s\n' "$@" | sort -g | awk '{ value[NR] = $1 } END { print value[int((NR + 1) / 2)] }'; }
ratio() { awk "BEGIN { if ($2 > 0) printf \"%.2f\", $1 / $2; else print \"-\" }"; }
echo "== medians of the 3 rounds"
rw=$(median "${right_wall[@]}") rc=$(median "${right_cpu[@]}")
aw=$(median "${auto_wall[@]}") ac=$(median "${auto_cpu[@]}")
echo "  right: wall $rw s, CPU $rc s"
echo "  auto:  wall $aw s, CPU $ac s"
echo "  auto / right: wall $(ratio "$aw" "$rw") x, CPU $(ratio "$ac" "$rc") x (target: at most 1.3 x each)"
((failed == 0)) || echo "  auto FAILED in $failed of 3 rounds: its figures are those of the failure"
echo "protocols found right: $found_right of $((3 * total))"
((found_right == 3 * total)) || exit 1
