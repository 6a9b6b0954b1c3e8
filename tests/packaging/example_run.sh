# Shared by the packaging tests (sourced): runs an example program against a simulated hand
# terminal on a pty and checks what it prints.
#   run_example PROGRAM QELTA_SIM WORKDIR   (LD_LIBRARY_PATH as the caller sets it)
run_example() {
  local program=$1 sim=$2 work=$3
  "$sim" --pty --type 8 --id 4321 --date 15.6.9 >"$work/pty" 2>"$work/sim.err" &
  local sim_pid=$!
  local pty="" i
  for i in $(seq 50); do
    pty=$(head -1 "$work/pty" 2>/dev/null || true)
    [ -n "$pty" ] && break
    sleep 0.1
  done
  if [ -z "$pty" ]; then
    kill "$sim_pid" 2>/dev/null || true
    echo "FAIL: the simulated terminal printed no pty" >&2
    cat "$work/sim.err" >&2
    return 1
  fi
  local status=0
  "$program" 3 "$pty" >"$work/info.out" 2>"$work/info.err" || status=$?
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  if [ "$status" -ne 0 ]; then
    echo "FAIL: $program exited with $status" >&2
    cat "$work/info.out" "$work/info.err" >&2
    return 1
  fi
  local expected
  for expected in "Port              COM3 ($pty)" "Device type       8" "Comm ID           4321" \
                  "Manufactured      15.6.9"; do
    if ! grep -qxF "$expected" "$work/info.out"; then
      echo "FAIL: $program did not print \"$expected\":" >&2
      cat "$work/info.out" >&2
      return 1
    fi
  done
}
