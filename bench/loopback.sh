# shellcheck shell=bash
# Sourced by the bench scripts that run servers on loopback.

# A port free on 127.0.0.1 at the moment.
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wait_port PORT [PID]: until something listens on 127.0.0.1:PORT, for at most 10 s, or until the process PID has
# ended; then the script ends, saying so.
wait_port() {
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
        [[ -z ${2-} ]] || kill -0 "$2" 2>/dev/null || break
        sleep 0.1
    done
    echo "nothing listens on 127.0.0.1:$1" >&2
    exit 1
}

# echo_server PORT: in the background ($! is its PID), an IP-echo host on 127.0.0.1 whose page shows each client's
# address, then closes. A batch opens 200 connections at once: with the default backlog of 5 the kernel would drop
# most of them and retry a second later, as timeouts.
echo_server() {
    python3 -c '
import http.server, sys
class Echo(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.wfile.write(b"HTTP/1.0 200 OK\r\n\r\n<html><head><title>Current IP Check</title></head><body>"
                         b"Current IP Address: " + self.client_address[0].encode() + b"</body></html>\r\n")
    def log_message(self, *args):
        pass
class Server(http.server.ThreadingHTTPServer):
    request_queue_size = 1024
Server(("127.0.0.1", int(sys.argv[1])), Echo).serve_forever()
' "$1" &
}

# tinyproxy_at PORT FOLDER CLIENTS: in the background ($! is its PID), tinyproxy on 127.0.0.1:PORT for up to CLIENTS
# clients at once, its configuration and log in FOLDER. As root it drops to nobody, who must still be able to read
# that configuration.
tinyproxy_at() {
    chmod 755 "$2"
    printf 'Port %s\nListen 127.0.0.1\nMaxClients %s\nTimeout 30\nDisableViaHeader Yes\nLogLevel Error\n' "$1" "$3" \
        >"$2/tinyproxy.conf"
    ((EUID == 0)) && printf 'User nobody\nGroup nogroup\n' >>"$2/tinyproxy.conf"
    tinyproxy -d -c "$2/tinyproxy.conf" >"$2/tinyproxy.log" 2>&1 &
}
