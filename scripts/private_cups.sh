#!/usr/bin/env bash
# A CUPS server of the tests' own, shared by the Linux suite
# (tests/posix/private_cups.cpp) and the Wine suite (scripts/wine_tests.sh).
#
#   private_cups.sh start       starts cupsd and prints, one per line:
#                                 QOV_CUPS_DIR=<its folder>
#                                 QOV_CUPS_SERVER=127.0.0.1:<port>
#   private_cups.sh stop <dir>  stops that server and removes its folder
#
# The server lives in a fresh folder under /tmp, reachable and
# readable by everyone: cupsd runs its backends as the lp user, which must
# reach the spooled job, wherever the checkout is (a home directory with mode
# 700 is out of its reach). It listens on a free loopback port with an open
# policy (no authentication). It needs root. On failure the reason goes to
# standard error and the exit status is not 0.
set -euo pipefail

die() { echo "private_cups: $*" >&2; exit 1; }

free_port() {
    /usr/bin/python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

stop() {
    local dir=$1
    case $dir in
    /tmp/qovcups.*) ;;
    *) die "not a folder of this script: $dir" ;;
    esac
    if [ -f "$dir/cupsd.pid" ]; then
        local pid
        pid=$(cat "$dir/cupsd.pid")
        if kill "$pid" 2>/dev/null; then
            for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
            kill -KILL "$pid" 2>/dev/null || true
        fi
    fi
    rm -rf "$dir"
}

start() {
    [ "$(id -u)" -eq 0 ] || die "needs root (cupsd runs its backends as lp)"
    local cupsd=/usr/sbin/cupsd lpstat
    [ -x "$cupsd" ] || die "cupsd is not installed (make deps)"
    lpstat=$(command -v lpstat) || die "lpstat is not installed (make deps)"

    local dir
    dir=$(mktemp -d /tmp/qovcups.XXXXXX)
    chmod 755 "$dir"
    mkdir -m 755 "$dir/spool" "$dir/spool/tmp" "$dir/cache" "$dir/state" "$dir/log" "$dir/ppd"

    # Another program may take the free port before cupsd binds it: then
    # cupsd logs the failure, and another port is tried.
    local attempt port pid up
    for attempt in 1 2 3; do
        port=$(free_port) || { stop "$dir"; die "no free port"; }
        cat >"$dir/cupsd.conf" <<EOF
Listen 127.0.0.1:$port
LogLevel warn
Browsing Off
WebInterface No
DefaultAuthType None
DefaultEncryption Never
MaxJobs 0
PreserveJobHistory No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
    Allow all
  </Limit>
</Policy>
EOF
        cat >"$dir/cups-files.conf" <<EOF
User lp
Group lp
SystemGroup root
Sandboxing Relaxed
ServerRoot $dir
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
EOF
        rm -f "$dir/log/error_log"
        # Its own session, and no descriptor of the caller's: whoever reads
        # this script's output sees its end at once.
        setsid "$cupsd" -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" \
            </dev/null >>"$dir/log/cupsd.out" 2>&1 &
        pid=$!
        echo "$pid" >"$dir/cupsd.pid"
        up=0
        for _ in $(seq 100); do
            sleep 0.1
            kill -0 "$pid" 2>/dev/null || break
            grep -qs "Unable to open listen socket" "$dir/log/error_log" && break
            if "$lpstat" -h "127.0.0.1:$port" -r >/dev/null 2>&1; then up=1; break; fi
        done
        if [ "$up" -eq 1 ]; then
            echo "QOV_CUPS_DIR=$dir"
            echo "QOV_CUPS_SERVER=127.0.0.1:$port"
            return 0
        fi
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        rm -f "$dir/cupsd.pid"
        grep -qs "Unable to open listen socket" "$dir/log/error_log" || break
    done
    local why
    why=$(cat "$dir/log/cupsd.out" "$dir/log/error_log" 2>/dev/null | tail -5)
    stop "$dir"
    die "cupsd did not start: $why"
}

case ${1:-} in
start) start ;;
stop) [ $# -eq 2 ] || die "usage: $0 stop <dir>"; stop "$2" ;;
*) die "usage: $0 start | stop <dir>" ;;
esac
