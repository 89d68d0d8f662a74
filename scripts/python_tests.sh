#!/usr/bin/env bash
# The Python package, as a user gets it: builds the wheel (bundling
# libqovlib.so from the build folder) with Debian's python3-build, installs
# it with pip into a fresh virtual environment, runs the pytest suite against
# that installed package and qovemu, then runs the example from a folder
# outside the source tree: a label printed on qovemu and its status read back.
# Usage: scripts/python_tests.sh [build folder]   (default build/linux)
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/emulator_start.sh"
build="$(cd "${1:-$root/build/linux}" && pwd)" || exit 1
python=/usr/bin/python3   # Debian's interpreter: the one with python3-build, -pytest, -pil
work="$build/python"
fail() { echo "python-tests: $*" >&2; exit 1; }

[ -f "$build/libqovlib.so" ] || fail "$build/libqovlib.so is missing (run make build)"
[ -x "$build/qovemu" ] || fail "$build/qovemu is missing (run make build)"
rm -rf "$work" "$root/python/build" "$root/python/qovlib.egg-info"
mkdir -p "$work" || fail "cannot create $work"

echo "== wheel"
(cd "$root/python" && QOVLIB_BUILD_LIBRARY="$build/libqovlib.so" \
  "$python" -m build --no-isolation --wheel --outdir "$work/dist") >"$work/build.log" 2>&1 \
  || { cat "$work/build.log" >&2; fail "the wheel did not build"; }
rm -rf "$root/python/build" "$root/python/qovlib.egg-info"
wheel="$(ls "$work"/dist/qovlib-*.whl 2>/dev/null | head -n 1)"
[ -n "$wheel" ] || fail "no wheel in $work/dist"
echo "$(basename "$wheel")"

echo "== fresh virtual environment, pip install of the wheel"
"$python" -m venv --system-site-packages "$work/venv" || fail "cannot create the virtual environment"
"$work/venv/bin/python" -m pip install -q --no-index --no-deps "$wheel" || fail "pip cannot install $wheel"

# The tests and the example use only what the wheel installed: no library
# path from the caller's environment, no source tree on sys.path.
unset QOVLIB_LIBRARY PYTHONPATH
export QOVEMU="$build/qovemu" QOVLIB_BUILD_DIR="$build"
export QOVLIB_EXPECT_INSTALLED="$work/venv"
[ -x "$build/qovpreview" ] && export QOVPREVIEW="$build/qovpreview"

echo "== pytest (installed package, qovemu)"
(cd "$work" && "$work/venv/bin/python" -m pytest -q -rs -p no:cacheprovider "$root/python/tests") \
  || fail "pytest failed"

echo "== example from outside the source tree"
outside="$(mktemp -d)"
emulator_pid=""
cleanup() {
  [ -n "$emulator_pid" ] && kill -TERM "$emulator_pid" 2>/dev/null && wait "$emulator_pid" 2>/dev/null
  rm -rf "$outside"
}
trap cleanup EXIT
cp "$root/python/examples/print_label.py" "$outside/"
start_emulator "$build/qovemu" "$outside/qovemu.log" --capture-dir "$outside" || fail "the emulator did not start"
(cd "$outside" && timeout 60 "$work/venv/bin/python" print_label.py 127.0.0.1 "$port") | tee "$outside/example.log"
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "the example failed"
grep -q "^qovlib .* from $work/venv/" "$outside/example.log" || fail "the example did not use the installed package"
grep -q '^LABELS PRINTED;1$' "$outside/example.log" || fail "the status report does not show the printed label"
echo "python-tests: wheel installed in a fresh venv; label printed on qovemu and status read back"
