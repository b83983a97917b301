#!/usr/bin/env bash
# Runs a host of the C interface against the simulated module:
#   run-host.sh SIM SERVER LOCAL REFUSING -- COMMAND...
# starts SIM on SERVER with a port of the system's choosing, then runs
# COMMAND SERVER PORT LOCAL REFUSING (COMMAND may be the wine runner and the
# host's .exe) and exits with its status.
set -uo pipefail
sim="$1" server="$2" local="$3" refusing="$4"
shift 5
# shellcheck source=../../scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

log="$(mktemp "${TMPDIR:-/tmp}/tcpmodbus-host.XXXXXX")"
trap 'stop_module; rm -f "$log"' EXIT
start_module "$sim" "$server" 0 "$log" --quiet || exit
"$@" "$server" "$module_port" "$local" "$refusing"
