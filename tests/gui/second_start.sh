#!/usr/bin/env bash
# End to end: the real qeltaconfig program, started twice for one user. The second start must hand
# over to the first and end at once; a termination signal must end the first in order (even with
# its start-up message still open), after which the lock is free for the next start.
#   second_start.sh PATH/TO/qeltaconfig
set -u
program="$1"
home=$(mktemp -d)
trap 'kill -KILL $first $third 2>/dev/null; rm -rf "$home"' EXIT
mkdir -p "$home/config" "$home/run" "$home/data"
chmod 700 "$home/run"
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" \
  XDG_DATA_HOME="$home/data"
first='' third=''

fail() { echo "FAIL: $*"; exit 1; }
# Waits up to $2 tenths of a second for process $1 to end; its exit status in $status.
wait_end() {
  for _ in $(seq "$2"); do
    if ! kill -0 "$1" 2>/dev/null; then wait "$1"; status=$?; return 0; fi
    sleep 0.1
  done
  return 1
}
# Waits for the first copy's socket (it listens once the lock is taken).
wait_socket() {
  for _ in $(seq 100); do [ -S "$home/run/qeltaconfig.sock" ] && return 0; sleep 0.1; done
  return 1
}

"$program" >"$home/first.log" 2>&1 &
first=$!
wait_socket || fail "the first copy never took the lock"

"$program" "$home/second.pcg" >"$home/second.log" 2>&1 &
second=$!
wait_end $second 50 || fail "the second start did not end"
[ "$status" -eq 0 ] || fail "the second start ended with $status"
kill -0 $first 2>/dev/null || fail "the first copy ended when the second started"

kill -TERM $first
wait_end $first 100 || fail "the first copy did not end on SIGTERM"
[ "$status" -eq 0 ] || fail "the first copy ended with $status on SIGTERM"

# The lock is free again: the next start is a first copy of its own.
rm -f "$home/run/qeltaconfig.sock"
"$program" >"$home/third.log" 2>&1 &
third=$!
wait_socket || fail "the lock was not free after the first copy ended"
kill -TERM $third
wait_end $third 100 || fail "the third copy did not end on SIGTERM"
echo "PASS"
