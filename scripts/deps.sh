#!/usr/bin/env bash
# Installs the Debian packages the project needs, when they are missing.
# Usage: scripts/deps.sh [demo|all]
#   demo: scripts/packages/demo.list only (the Linux build and the demo)
#   all:  every list in scripts/packages/ (make test), then makes sure this
#         machine can run the x86 Wine suite (scripts/i386_host.sh setup)
set -euo pipefail
cd "$(dirname "$0")"
want="${1:-all}"
export DEBIAN_FRONTEND=noninteractive
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"

case "$want" in
  demo) lists=packages/demo.list ;;
  all) lists=$(ls packages/*.list) ;;
  *) echo "usage: $0 demo|all" >&2; exit 2 ;;
esac
pkgs=$(sed -e 's/#.*//' $lists | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)

missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  if grep -q ':i386$' <<<"$pkgs" && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  # A mirror in the middle of a sync serves an index of the wrong size for a
  # while: try again, then go on with what was fetched.
  for try in 1 2 3; do
    $SUDO apt-get update -qq && break
    [ "$try" -eq 3 ] && { echo "deps: the package indexes did not all update; installing with what was fetched" >&2; break; }
    sleep $((try * 10))
  done
  # shellcheck disable=SC2086
  if ! $SUDO apt-get install -y -qq --no-install-recommends $missing; then
    # Without the i386 index the 32-bit packages cannot match the 64-bit
    # libraries' versions: install the rest; the x86 Wine runs then report
    # themselves skipped (scripts/i386_host.sh status names the loader).
    tr ' ' '\n' <<<"$missing" | grep -q ':i386$' || exit 1
    rest=$(tr ' ' '\n' <<<"$missing" | grep -v ':i386$' | tr '\n' ' ')
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $rest || exit 1
    echo "deps: the 32-bit packages ($(tr ' ' '\n' <<<"$missing" | grep ':i386$' | paste -sd ' ')) could not be installed: the x86 runtime checks will be skipped"
  fi
fi
if [ "$want" = all ]; then
  bash i386_host.sh setup
fi
