#!/usr/bin/env bash
# tcpmodbus-cli --poll against the simulated module, on a port of the
# system's choosing (no root needed), in one of three cases:
# through-restart: the restarted module takes the port again; the polls
#   before the stop succeed, those while the module is down fail, the library
#   reconnects when it is back, and the summary counts all three.
# no-burst: polls that waited out the time-out of a frozen module (SIGSTOP)
#   are not made up back to back once it thaws, and the summary counts the
#   periods skipped.
# second-interrupt: a second Ctrl-C ends a wait for the frozen module at once.
#   cli_poll_test.sh CASE SIM CLI
set -uo pipefail
case="$1" sim="$2" cli="$3"
address=127.0.0.1
# shellcheck source=../../scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/tcpmodbus-poll.XXXXXX")"
: >"$work/cli.out"
cli_pid=""
cleanup() {
  [ -n "${module_pid:-}" ] && kill -CONT "$module_pid" 2>/dev/null
  stop_module 2>/dev/null
  [ -n "$cli_pid" ] && kill -KILL "$cli_pid" 2>/dev/null && wait "$cli_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# wait_for WHAT COMMAND...: up to 10 s for COMMAND to succeed.
wait_for() {
  local what="$1" tries=0
  shift
  until "$@"; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ]; then
      echo "FAIL: no $what within 10 s" >&2
      cat "$work"/*.log "$work"/cli.* >&2
      exit 1
    fi
    sleep 0.05
  done
}
lines_at_least() { [ "$(wc -l <"$1")" -ge "$2" ]; }
failed_at_least() { [ "$(grep -c "read-holding failed" "$work/cli.err")" -ge "$1" ]; }
# The frozen module's end of the connection holds a request nobody reads.
request_waiting() { ss -Htn state established "( sport = :$port )" | awk '$1 > 0 {f = 1} END {exit !f}'; }
now_ms() { local t="${EPOCHREALTIME/[.,]/}"; echo $((t / 1000)); }
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# After the thaw the answer that waited comes first, the next poll is at the
# next period boundary, and six results span four periods at least. Made-up
# polls would come back to back; the bound is half of it, so a slow machine
# only adds to the time measured.
no_burst() {
  kill -STOP "$module_pid"
  wait_for "two timed-out polls" failed_at_least 2
  local first=$(($(wc -l <"$work/cli.out") + 1)) start summary status=0
  kill -CONT "$module_pid"
  wait_for "a poll after the thaw" lines_at_least "$work/cli.out" "$first"
  start="$(now_ms)"
  wait_for "six polls after the thaw" lines_at_least "$work/cli.out" $((first + 5))
  local elapsed=$(($(now_ms) - start))
  [ "$elapsed" -ge 400 ] || fail "six polls within $elapsed ms after the thaw (period 200 ms)"
  kill -INT "$cli_pid"
  wait "$cli_pid" || status=$?
  [ "$status" -eq 0 ] || fail "exit status $status after Ctrl-C and a poll that succeeded"
  summary="$(tail -n 1 "$work/cli.err")"
  # Each poll that waited out the time-out passed over four periods at least.
  [[ "$summary" =~ ^tcpmodbus-cli:\ [0-9]+\ exchanges,.*\ ([0-9]+)\ periods\ skipped$ ]] &&
    [ "${BASH_REMATCH[1]}" -ge 8 ] || fail "two time-outs of five periods: $summary"
}

# Signals sent before the first was taken merge into one: Ctrl-C repeats.
second_interrupt() {
  kill -STOP "$module_pid"
  wait_for "a request at the frozen module" request_waiting
  local start status=0
  start="$(now_ms)"
  for _ in $(seq 25); do
    kill -INT "$cli_pid" 2>/dev/null || break
    sleep 0.2
  done
  kill -0 "$cli_pid" 2>/dev/null && fail "still waiting $(($(now_ms) - start)) ms after Ctrl-C (time-out 30 s)" && return
  wait "$cli_pid" || status=$?
  [ "$status" -eq 130 ] && [ "$(cat "$work/cli.err")" = "tcpmodbus-cli: interrupted" ] ||
    fail "status $status after a second Ctrl-C, stderr: $(cat "$work/cli.err")"
}

case "$case" in
  through-restart) options=(--poll 100 --count 60 --timeout 300) ;;
  no-burst) options=(--poll 200 --timeout 1000) ;;
  second-interrupt) options=(--poll 200 --timeout 30000) ;;
  *) echo "unknown case $case" >&2 && exit 2 ;;
esac
start_module "$sim" "$address" 0 "$work/sim.log" || exit 1
port="$module_port"
"$cli" --server "$address" --local "$address" --port "$port" --quiet \
  "${options[@]}" read-holding 0 1 >"$work/cli.out" 2>"$work/cli.err" &
cli_pid=$!
wait_for "three polls" lines_at_least "$work/cli.out" 3
if [ "$case" != through-restart ]; then
  "${case//-/_}"
  cli_pid=""
  [ "$failures" -eq 0 ] && echo "ok: $case"
  exit $((failures > 0))
fi
stop_module
wait_for "a failed poll" grep -q "read-holding failed" "$work/cli.err"
start_module "$sim" "$address" "$port" "$work/sim-restarted.log" || exit 1
polls_before="$(wc -l <"$work/cli.out")"
status=0
wait "$cli_pid" || status=$?
cli_pid=""

summary="$(tail -n 1 "$work/cli.err")"
echo "$summary"
[[ "$summary" =~ ^tcpmodbus-cli:\ 60\ exchanges,\ ([0-9]+)\ failed,\ ([0-9]+)\ reconnects,\ [0-9]+\ periods\ skipped$ ]] ||
  fail "summary line: $summary"
failed="${BASH_REMATCH[1]:-0}" reconnects="${BASH_REMATCH[2]:-0}"
[ "$failed" -ge 1 ] || fail "no failed poll counted"
[ "$reconnects" -ge 1 ] || fail "no reconnect counted"
succeeded="$(wc -l <"$work/cli.out")"
[ $((succeeded + failed)) -eq 60 ] || fail "$succeeded results and $failed failures for 60 polls"
[ "$succeeded" -gt "$polls_before" ] || fail "no poll succeeded after the restart"
[ "$(tail -n 1 "$work/cli.out")" = "0 0 0x0000" ] || fail "last result: $(tail -n 1 "$work/cli.out")"
[ "$status" -eq 0 ] || fail "exit status $status after a last poll that succeeded"
[ "$failures" -eq 0 ] && echo "ok: polled through a restart of the module"
[ "$failures" -eq 0 ]
