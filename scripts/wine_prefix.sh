#!/usr/bin/env bash
# The Wine suite's private prefix, build/wine/prefix: created once (COM1 and
# LPT1 of the prefix named in its registry) and reused while its marker
# matches. Safe to run twice at once: the second waits for the first
# (make test starts it early, in the background; the Wine suite calls it too).
set -euo pipefail
cd "$(dirname "$0")/.."
work=$PWD/build/wine
prefix=$work/prefix
mkdir -p "$work"
wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wine64" ] || { echo "wine_prefix: $wine64 is not installed (make deps)" >&2; exit 1; }

export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY

# The 32-bit half of a prefix exists only when 32-bit programs ran while it
# was made: the marker says which.
bash scripts/i386_host.sh status >/dev/null && x86_runs=1 || x86_runs=0
marker="wine=$("$wine64" --version 2>/dev/null) x86=$x86_runs com1=$work/com1 lpt1=$work/lpt1.out"

exec 9>"$work/prefix.lock"
flock 9
if [ ! -f "$prefix/.qov-ready" ] || [ "$(cat "$prefix/.qov-ready")" != "$marker" ]; then
    echo "wine_prefix: creating the Wine prefix $prefix"
    start=$(date +%s)
    rm -rf "$prefix"
    "$wine64" wineboot -i >"$work/wineboot.log" 2>&1
    "$wineserver" -w
    "$wine64" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$work/com1" /f >/dev/null 2>&1
    "$wine64" reg add 'HKLM\Software\Wine\Ports' /v LPT1 /t REG_SZ /d "$work/lpt1.out" /f >/dev/null 2>&1
    # The ports are read when the wineserver starts: let this one go.
    "$wineserver" -w
    echo "$marker" >"$prefix/.qov-ready"
    echo "wine_prefix: made in $(( $(date +%s) - start )) s"
fi
