#!/usr/bin/env bash
# End to end: the real qeltaconfig program, started twice for one user. A second start while the
# first is still starting up must wait for it and hand over; against a first copy that cannot
# answer (stopped) it must give up within its bound, on stderr, without a box nobody can close.
# A termination signal must end the first in order, after which the lock is free for the next
# start.
#   second_start.sh PATH/TO/qeltaconfig        (inside scripts/netns: the window multicasts)
set -u
if [ "${QELTA_NETNS:-}" != "1" ]; then
  echo "second_start.sh: run it inside scripts/netns" >&2
  exit 2
fi
program="$1"
home=$(mktemp -d)
mkdir -p "$home/config" "$home/run" "$home/data"
chmod 700 "$home/run"
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" \
  XDG_DATA_HOME="$home/data"
# The copies still running. A copy is taken off once it has been waited for: its number may
# belong to another process by the time this script ends.
first='' second='' third=''
trap 'kill -KILL $first $second $third 2>/dev/null; rm -rf "$home"' EXIT
trap 'exit 1' TERM INT HUP

# On a failure the copies' logs are shown before the folder goes: they tell why a copy ended.
fail() {
  echo "FAIL: $*"
  if [ -n "$first" ] && ! running "$first"; then
    wait "$first"
    echo "(the first copy had ended with status $?)"
    first=''
  fi
  for log in "$home"/*.log; do
    [ -f "$log" ] && printf -- '--- %s\n%s\n' "$(basename "$log")" "$(cat "$log")"
  done
  exit 1
}
# Whether process $1 is there and not a zombie waiting to be waited for.
running() {
  kill -0 "$1" 2>/dev/null && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}
# Waits up to $2 tenths of a second for process $1 to end; its exit status in $status.
wait_end() {
  for _ in $(seq "$2"); do
    if ! running "$1"; then wait "$1"; status=$?; return 0; fi
    sleep 0.1
  done
  return 1
}
# Waits for the first copy's socket (it listens once the lock is taken).
wait_socket() {
  for _ in $(seq 300); do [ -S "$home/run/qeltaconfig.sock" ] && return 0; sleep 0.1; done
  return 1
}
# The program's own bound for a second start's wait (SingleInstance::kAnswerWaitMs), and ours
# above it: a loaded machine may take most of it.
answer_wait=30
end_bound=$(((answer_wait + 15) * 10))

# The first copy runs in a session of its own, so that only this script stops and continues it.
# In the process group it would otherwise share with ctest and whatever started the suite, the
# kernel sends every stopped member SIGHUP and SIGCONT when that group loses its last parent
# outside it (the shell that started the suite ends): the copy then ended in order on SIGHUP
# while it was meant to be stopped. A background job is no group leader, so setsid runs the
# program in place and $! is the program.
setsid "$program" >"$home/first.log" 2>&1 &
first=$!
wait_socket || fail "the first copy never took the lock"
[ "$(readlink "/proc/$first/exe")" = "$(readlink -f "$program")" ] ||
  fail "the first copy is not process $first"

# At once: the first copy is still setting up its window and answers only when that is done.
"$program" "$home/second.pcg" >"$home/second.log" 2>&1 &
second=$!
wait_end $second $end_bound || fail "the second start did not end"
second=''
[ "$status" -eq 0 ] || fail "the second start ended with $status: $(cat "$home/second.log")"
running $first || fail "the first copy ended when the second started"

# A first copy that cannot answer: the next start gives up after its bound, and says so.
kill -STOP $first
started=$(date +%s)
"$program" >"$home/stopped.log" 2>&1 &
second=$!
wait_end $second $end_bound || fail "the start beside a stopped copy did not end"
second=''
waited=$(($(date +%s) - started))
state=$(awk '{print $3}' "/proc/$first/stat" 2>/dev/null)
[ "$state" = T ] || fail "the stopped copy did not stay stopped (state '$state')"
kill -CONT $first
[ "$status" -eq 1 ] || fail "the start beside a stopped copy ended with $status"
[ "$waited" -ge $((answer_wait - 1)) ] || fail "the start beside a stopped copy gave up after ${waited}s"
grep -q "does not answer" "$home/stopped.log" || fail "no word of the copy that does not answer"

kill -TERM $first
wait_end $first 300 || fail "the first copy did not end on SIGTERM"
first=''
[ "$status" -eq 0 ] || fail "the first copy ended with $status on SIGTERM"

# The lock is free again: the next start is a first copy of its own.
rm -f "$home/run/qeltaconfig.sock"
"$program" >"$home/third.log" 2>&1 &
third=$!
wait_socket || fail "the lock was not free after the first copy ended"
kill -TERM $third
wait_end $third 300 || fail "the third copy did not end on SIGTERM"
third=''
echo "PASS"
