#!/usr/bin/env bash
# Installs the Debian packages that the build and the test suites need, when they are missing.
# Usage: scripts/deps.sh [linux|all]   (linux: native build and tests only)
set -euo pipefail
want="${1:-all}"
export DEBIAN_FRONTEND=noninteractive
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"

linux_pkgs="g++ cmake make pkg-config libgtest-dev libgmock-dev libbenchmark-dev cups cups-client cups-daemon libcups2-dev socat"
# The renderer: barcodes, glyphs, PNG, fonts, and barcode decoding in its tests.
linux_pkgs="$linux_pkgs libzint-dev libfreetype-dev libpng-dev libzxing-dev fonts-dejavu-core fonts-wqy-microhei"
# Fuzzing (clang with libFuzzer and the sanitizer runtimes), packaging and docs, Python.
linux_pkgs="$linux_pkgs clang libclang-rt-14-dev dpkg-dev file zip unzip doxygen"
linux_pkgs="$linux_pkgs python3-pytest python3-build python3-setuptools python3-wheel python3-pil python3-venv"
win_pkgs="g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix llvm wine64 wine32:i386 libcups2:i386"

pkgs="$linux_pkgs"
[ "$want" = all ] && pkgs="$pkgs $win_pkgs"

missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$want" = all ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing
