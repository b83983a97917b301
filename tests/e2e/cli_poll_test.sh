#!/usr/bin/env bash
# tcpmodbus-cli --poll through a restart of the simulated module, on a port
# of the system's choosing (no root needed) that the restarted module takes
# again: the polls before the stop succeed, those while the module is down
# fail, the library reconnects when it is back, and the run ends with a
# summary that counts all three.
#   cli_poll_test.sh SIM CLI
set -uo pipefail
sim="$1" cli="$2"
address=127.0.0.1
# shellcheck source=../../scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/tcpmodbus-poll.XXXXXX")"
cli_pid=""
cleanup() {
  stop_module 2>/dev/null
  [ -n "$cli_pid" ] && kill "$cli_pid" 2>/dev/null && wait "$cli_pid" 2>/dev/null
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

start_module "$sim" "$address" 0 "$work/sim.log" || exit 1
port="$module_port"
"$cli" --server "$address" --local "$address" --port "$port" --quiet \
  --poll 100 --count 60 --timeout 300 read-holding 0 1 \
  >"$work/cli.out" 2>"$work/cli.err" &
cli_pid=$!
wait_for "three polls" lines_at_least "$work/cli.out" 3
stop_module
wait_for "a failed poll" grep -q "read-holding failed" "$work/cli.err"
start_module "$sim" "$address" "$port" "$work/sim-restarted.log" || exit 1
polls_before="$(wc -l <"$work/cli.out")"
status=0
wait "$cli_pid" || status=$?
cli_pid=""

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
summary="$(tail -n 1 "$work/cli.err")"
echo "$summary"
[[ "$summary" =~ ^tcpmodbus-cli:\ 60\ exchanges,\ ([0-9]+)\ failed,\ ([0-9]+)\ reconnects$ ]] ||
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
