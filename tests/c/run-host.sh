#!/usr/bin/env bash
# Runs a host of the C interface against the simulated module:
#   run-host.sh SIM SERVER LOCAL REFUSING -- COMMAND...
# starts SIM on SERVER with a port of the system's choosing, then runs
# COMMAND SERVER PORT LOCAL REFUSING (COMMAND may be the wine runner and the
# host's .exe) and exits with its status.
set -uo pipefail
sim="$1" server="$2" local="$3" refusing="$4"
shift 5

pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid"' EXIT
exec 3< <(exec "$sim" --address "$server" --port 0 --quiet 2>&1)
pid=$!
# The module says where it listens once it does; wait for that, not a time.
port=""
while IFS= read -r -t 30 line <&3; do
  case "$line" in
    *"listening on $server:"*)
      port="${line#*listening on "$server":}"
      port="${port%% *}"
      break
      ;;
  esac
done
[ -n "$port" ] || { echo "FAIL: tcpmodbus-sim did not start on $server" >&2; exit 1; }
cat <&3 >/dev/null &
"$@" "$server" "$port" "$local" "$refusing"
