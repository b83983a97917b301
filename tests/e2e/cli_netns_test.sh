#!/usr/bin/env bash
# The command-line host reaches a module that is not on this machine's
# loopback: the simulated module runs in a network namespace of this test's
# own, joined to this one by a veth pair with addresses in 10.231.0.0/16, and
# the host runs out here with its default local address.
#   cli_netns_test.sh SIM CLI
# Exit 0 when every check held, 1 on a failed check, 77 (skipped) when this
# machine does not let the test make a namespace (not root, no iproute2).
set -uo pipefail
sim="$1" cli="$2"
if [ "$(id -u)" -ne 0 ] || ! command -v ip >/dev/null; then
  echo "SKIP: a network namespace and a veth pair need root and iproute2" >&2
  exit 77
fi
# Names and a /30 of this run's own, so that runs side by side do not meet.
namespace="tcpmodbus-cli-$$" outside="tmbo$$" inside="tmbi$$"
subnet="10.231.$(($$ % 256)).$(($$ / 256 % 64 * 4))"
here="${subnet%.*}.$((${subnet##*.} + 1))" module="${subnet%.*}.$((${subnet##*.} + 2))"
if ! ip netns add "$namespace" 2>/dev/null; then
  echo "SKIP: this machine does not allow network namespaces (ip netns add)" >&2
  exit 77
fi
# shellcheck source=../../scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/tcpmodbus-netns.XXXXXX")"
cleanup() {
  stop_module 2>/dev/null
  ip netns del "$namespace" 2>/dev/null # takes the veth pair with it
  ip link del "$outside" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
in_namespace() { ip netns exec "$namespace" "$@"; }
ip link add "$outside" type veth peer name "$inside" &&
  ip link set "$inside" netns "$namespace" &&
  ip addr add "$here/30" dev "$outside" && ip link set "$outside" up &&
  in_namespace ip addr add "$module/30" dev "$inside" &&
  in_namespace ip link set "$inside" up && in_namespace ip link set lo up ||
  { echo "FAIL: the veth pair could not be set up" >&2 && exit 1; }

# ip netns exec runs the module in place (no fork), so start_module's process
# id is the module's.
printf '#!/bin/sh\nexec ip netns exec "%s" "%s" "$@"\n' "$namespace" "$sim" >"$work/sim"
chmod +x "$work/sim"
start_module "$work/sim" "$module" 502 "$work/module.log" || exit 1

failures=0
# what | expected status | expected stdout | CLI arguments
while IFS='|' read -r what want_status want_out args; do
  read -ra args <<<"$args"
  status=0
  out="$("$cli" --server "$module" --quiet --timeout 5000 "${args[@]}" 2>"$work/cli.err")" ||
    status=$?
  if [ "$status" = "$want_status" ] && [ "$out" = "$want_out" ]; then
    echo "ok: $what"
  else
    echo "FAIL: $what: status $status, stdout '$out', stderr: $(cat "$work/cli.err")" >&2
    failures=$((failures + 1))
  fi
done <<ROWS
the default local address reaches the module|0|7 4660 0x1234|write 7 0x1234
and reads back what was written|0|7 4660 0x1234|read-holding 7 1
a loopback local address cannot leave this machine|1||--local 127.0.0.1 read-holding 7 1
without name look-up, the default local address reaches it too|0|7 4660 0x1234|--no-name-lookup read-holding 7 1
ROWS
# The module saw the host come from this end of the veth pair.
grep -q "$here:[0-9]* connected" "$work/module.log" ||
  { echo "FAIL: no connection from $here in the module's log:" >&2 &&
    cat "$work/module.log" >&2 && failures=$((failures + 1)); }
[ "$failures" -eq 0 ]
