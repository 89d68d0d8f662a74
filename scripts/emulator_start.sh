# Sourced by the scripts that drive qovemu: starts it on a free TCP port.
# start_emulator PROGRAM LOG [ARGS...]: runs PROGRAM --port 0 ARGS in the
# background with its output in LOG, then waits (at most 10 s) for the port
# it prints. Sets emulator_pid and port; returns 1 (after showing LOG) when
# the emulator did not start.
start_emulator() {
  local program="$1" log="$2"
  shift 2
  "$program" --port 0 "$@" >"$log" 2>&1 &
  emulator_pid=$!
  port=""
  for _ in $(seq 100); do
    port="$(sed -n 's/^listening 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$log")"
    [ -n "$port" ] && return 0
    kill -0 "$emulator_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$log" >&2
  return 1
}
