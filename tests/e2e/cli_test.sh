#!/usr/bin/env bash
# The command-line host against the simulated DIO module.
#   cli_test.sh happy-path|error-exits|names SIM -- CLI...
# CLI... runs the command-line host: its path, or a runner and the path (the
# cross build gives the wine runner and tcpmodbus-cli.exe, with the module
# built for the build machine). Exit 0 when every check held, 1 on a failed
# check, 77 when port 502 is out of reach (the test is then reported as
# skipped). names runs with the hosts file of with-hosts-file.sh, where
# localhost is ::1 and 127.0.0.1, on ports of the system's choosing.
set -uo pipefail
case="$1" sim="$2"
[ "$#" -ge 4 ] && [ "$3" = -- ] ||
  { echo "usage: cli_test.sh happy-path|error-exits|names SIM -- CLI..." >&2 && exit 2; }
shift 3
cli_command=("$@")

port=502
case "$case" in
  happy-path) address=127.0.52.1 ;;
  error-exits) address=127.0.52.2 ;;
  names) address=localhost port=0 ;;
  *) echo "unknown case $case" >&2 && exit 2 ;;
esac

# shellcheck source=../../scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/tcpmodbus-cli.XXXXXX")"
trap 'stop_module; rm -rf "$work"' EXIT
errfile="$work/cli.err"
start_module "$sim" "$address" "$port" "$work/module.log" || exit

# What differs on Windows: the system's numbers and descriptions (wine's
# message table, matched loosely: glob patterns) for a refused connection and
# an address in use, and line ends of "\r\n" in both outputs.
case "${cli_command[-1]}" in
  *.exe)
    windows=1 glob=1
    refused='Error(10061): *refused*' in_use='*10048*'
    ;;
  *)
    windows=0 glob=0
    refused='Error(111): Connection refused' in_use='Error(98): Address already in use'
    ;;
esac
# results_to=full or closed: standard output is /dev/full, or closed.
# within=SECONDS: killed (status 137) if still running after SECONDS.
cli() {
  local bound=()
  [ -z "${within:-}" ] || bound=(timeout -s KILL "$within")
  case "${results_to:-}" in
    full) "${bound[@]}" "${cli_command[@]}" "$@" >/dev/full ;;
    closed) "${bound[@]}" "${cli_command[@]}" "$@" >&- ;;
    *) "${bound[@]}" "${cli_command[@]}" "$@" ;;
  esac
}
# Drops the "\r" of Windows line ends; elsewhere passes everything as it is.
plain_lines() {
  if [ "$windows" -eq 1 ]; then tr -d '\r'; else cat; fi
}

failures=0
# check WHAT EXPECTED_STATUS EXPECTED_STDOUT EXPECTED_STDERR -- ARGS...
# Runs the CLI and compares status, stdout and stderr exactly (stderr as a
# glob pattern when err_glob=1).
check() {
  local what="$1" want_status="$2" want_out="$3" want_err="$4"
  shift 5
  local out err status=0
  out="$(cli "$@" 2>"$errfile" | plain_lines)" || status=$?
  err="$(plain_lines <"$errfile")"
  local err_ok=0
  if [ "${err_glob:-0}" -eq 1 ]; then
    # shellcheck disable=SC2053 # deliberate: the expected text is a pattern
    [[ "$err" == $want_err ]] && err_ok=1
  else
    [ "$err" == "$want_err" ] && err_ok=1
  fi
  if [ "$status" != "$want_status" ] || [ "$out" != "$want_out" ] ||
    [ "$err_ok" -eq 0 ]; then
    echo "FAIL: $what (cli $*)" >&2
    echo "  status $status, expected $want_status" >&2
    echo "  stdout: $out" >&2
    echo "  expected stdout: $want_out" >&2
    echo "  stderr: $err" >&2
    echo "  expected stderr: $want_err" >&2
    failures=$((failures + 1))
  else
    echo "ok: $what"
  fi
}
server=(--server "$address" --local "$address")
usage_hint="Try 'tcpmodbus-cli --help' for more."
if [ "$case" = names ]; then
  on=(--port "$module_port" --quiet)
  check "a name reaches the module" 0 "7 77 0x004d" "" -- --server localhost "${on[@]}" write 7 77
  check "IPv6 from an IPv6 local address" 0 "7 77 0x004d" "" \
    -- --server ::1 --local ::1 "${on[@]}" read-holding 7 1
  check "a name from IPv4 passes over its IPv6 address" 0 "7 77 0x004d" "" \
    -- --server localhost --local 127.0.0.1 "${on[@]}" read-holding 7 1
  check "IPv6 from IPv4 exits 1" 1 "" \
    "tcpmodbus-cli: CTCPModbus::Initialize - Failed to Open TCP socket. LocalIpAddr=127.0.0.1, LocalPort=0. Error: The local address '127.0.0.1' has no address of the server's family" \
    -- --server ::1 --local 127.0.0.1 "${on[@]}" read-holding 7 1
  check "a name without name look-up exits 1" 1 "" \
    "tcpmodbus-cli: CMBusTCP::ConnectToServer: The address 'localhost' of DIO Module 1 is not dotted IPv4 text; a host name or an IPv6 address needs name look-up on (SetNameLookup(true)): Invalid argument" \
    -- --server localhost --no-name-lookup "${on[@]}" read-holding 7 1
  # A name whose first address refuses: the module on its second.
  stop_module
  second="$(getent ahostsv4 tcpmodbus-plant | awk '$2 == "STREAM" { print $1 }' | sed -n 2p)"
  start_module "$sim" "$second" 0 "$work/module.log" || exit
  check "a name whose first address refuses reaches the second" 0 "7 0 0x0000" "" \
    -- --server tcpmodbus-plant --port "$module_port" --quiet read-holding 7 1
elif [ "$case" = happy-path ]; then
  check "write prints the register" 0 "200 48879 0xbeef" "" \
    -- "${server[@]}" --quiet write 200 0xBEEF
  check "write-multiple prints each register" 0 "201 1 0x0001
202 65535 0xffff
203 32768 0x8000" "" -- "${server[@]}" --quiet write-multiple 201 1 65535 0x8000
  check "read-holding reads back what was written" 0 "200 48879 0xbeef
201 1 0x0001
202 65535 0xffff
203 32768 0x8000" "" -- "${server[@]}" --quiet read-holding 200 4
  # Input registers hold address + tick; the tick counts requests.
  tick="$(cli "${server[@]}" --quiet read-input 0 1 | plain_lines | cut -d' ' -f2)"
  next=$((5 + tick + 1))
  check "read-input shows the module's registers" 0 \
    "$(printf '5 %d 0x%04x' "$next" "$next")" "" \
    -- "${server[@]}" --quiet read-input 5 1
  check "write-coils prints each coil" 0 "300 1
301 0
302 1
303 1" "" -- "${server[@]}" --quiet write-coils 300 1 0 1 1
  check "write-coil prints the coil" 0 "304 1" "" -- "${server[@]}" --quiet write-coil 304 1
  check "read-coils reads back what was written" 0 "299 0
300 1
301 0
302 1
303 1
304 1
305 0" "" -- "${server[@]}" --quiet read-coils 299 7
  # Discrete inputs 16 to 31 spell input register 1, that is 1 + the tick.
  tick="$(cli "${server[@]}" --quiet read-input 0 1 | plain_lines | cut -d' ' -f2)"
  spelt=$((1 + tick + 1)) want=""
  for bit in $(seq 0 15); do
    want+="$((16 + bit)) $(((spelt >> bit) & 1))"$'\n'
  done
  check "read-discrete-inputs shows the module's inputs" 0 "${want%$'\n'}" "" \
    -- "${server[@]}" --quiet read-discrete-inputs 16 16
  check "write before a mask-write" 0 "310 4852 0x12f4" "" -- "${server[@]}" --quiet write 310 0x12F4
  check "mask-write prints nothing" 0 "" "" -- "${server[@]}" --quiet mask-write 310 0xFF0F 0x0030
  check "read-write writes first, then reads" 0 "310 4660 0x1234
311 7 0x0007" "" -- "${server[@]}" --quiet read-write 310 2 311 7
  # Without --quiet the library's trace comes first, the result last.
  traced="$(cli "${server[@]}" --module 3 read-holding 200 1 | plain_lines)" ||
    failures=$((failures + 1))
  want_first="CTCPModbus::Initialize: Succeed to open TCP socket. LocalIpAddr=$address, LocalPort=0"
  if [ "$(head -n 1 <<<"$traced")" == "$want_first" ] &&
    grep -qx "CTCPModbus::ReadHoldRegs - Read data as below:" <<<"$traced" &&
    [ "$(tail -n 1 <<<"$traced")" == "200 48879 0xbeef" ]; then
    echo "ok: the trace precedes the result"
  else
    echo "FAIL: trace and result:"$'\n'"$traced" >&2
    failures=$((failures + 1))
  fi
  # --trace FILE: the same trace in the file, the result alone on stdout.
  check "--trace FILE leaves only the result on stdout" 0 "200 48879 0xbeef" "" \
    -- "${server[@]}" --module 3 --trace "$work/trace.txt" read-holding 200 1
  if [ "$(plain_lines <"$work/trace.txt")" == "$(sed '$d' <<<"$traced")" ]; then
    echo "ok: the trace file holds the trace"
  else
    echo "FAIL: the trace file holds:"$'\n'"$(cat "$work/trace.txt")" >&2
    failures=$((failures + 1))
  fi
  # Typed values: each type in each order written, then read back as written;
  # a line shows the value and the registers that hold it.
  for typed in "u16 65534" "i16 -32768" "u32 4294967294" "i32 -123456789" \
    "u64 18446744073709551615" "i64 -9223372036854775808" "f32 -0.33333334" \
    "f64 0.3333333333333333" "string:3 PUMP1"; do
    read -r type value <<<"$typed"
    shown="$value"
    [ "$type" = string:3 ] && shown="\"$value\""
    for order in ABCD CDAB BADC DCBA; do
      typed_args=(--quiet --type "$type" --order "$order")
      written="$(cli "${server[@]}" "${typed_args[@]}" write 400 "$value" | plain_lines)"
      if [[ "$written" != "400 $shown 0x"* ]]; then
        echo "FAIL: --type $type --order $order write 400 $value printed '$written'" >&2
        failures=$((failures + 1))
      fi
      check "--type $type --order $order reads back what it wrote" 0 "$written" "" \
        -- "${server[@]}" "${typed_args[@]}" read-holding 400 1
    done
  done
  for row in "ABCD 0x47f1 0x2000" "CDAB 0x2000 0x47f1" "BADC 0xf147 0x0020" \
    "DCBA 0x0020 0xf147"; do
    read -r order registers <<<"$row"
    check "f32 123456 in $order is the documented $registers" 0 "400 123456 $registers" "" \
      -- "${server[@]}" --quiet --type f32 --order "$order" write 400 123456
  done
  check "u64 in GHEFCDAB takes the four words reversed" 0 \
    "400 72623859790382856 0x0708 0x0506 0x0304 0x0102" "" \
    -- "${server[@]}" --quiet --type u64 --order GHEFCDAB write 400 0x0102030405060708
  check "write-multiple takes typed values, negative and floating" 0 "400 123456 0x2000 0x47f1
402 -1.5 0x0000 0xbfc0" "" -- "${server[@]}" --quiet --type f32 --order CDAB write-multiple 400 123456 -1.5
  check "COUNT counts values" 0 "400 123456 0x2000 0x47f1
402 -1.5 0x0000 0xbfc0" "" -- "${server[@]}" --quiet --type f32 --order CDAB read-holding 400 2
  check "--one-based: address 401 is register 400" 0 "401 0x2000
402 0x47f1" "" -- "${server[@]}" --quiet --one-based --type hex read-holding 401 2
  # A device map: written by name, read in the requests of its plan; the
  # point past the table is refused, then skipped as a hole (--plan: the
  # example of docs/maps.md).
  printf '%s\n' name,table,address,type,order,scale,unit level,holding,500,f32,CDAB,,m \
    count,holding,502,u16,,0.5, label,holding,503,string:2,,, run,coil,320,,,, \
    past,holding,999,u32,,, >"$work/map.csv"
  check "write-map writes points by name" 0 "level 123456
count 21
label AB
run 1" "" -- "${server[@]}" --quiet write-map "$work/map.csv" level=123456 count=21 label=AB run=1
  table="name   value   unit  status
level  123456  m     ok
count  21            ok
label  AB            ok
run    1             ok"
  check "read-map: a table; the hole refused, then skipped" 0 "$table
past                 exception 2
$table
past                 hole (exception 2)" \
    "tcpmodbus-cli: 2 exchanges, 0 failed, 0 reconnects, 0 periods skipped" \
    -- "${server[@]}" --quiet --poll 50 --count 2 read-map "$work/map.csv"
  check "read-map --in-flight 8: the same table, the hole learned" 0 "$table
past                 exception 2" "" \
    -- "${server[@]}" --quiet --in-flight 8 read-map "$work/map.csv"

  # Identification objects one a line, a category as its objects one by
  # one; and a raw request's answer.
  check "identify prints the basic objects" 0 "$(for id in 0 1 2; do
    cli "${server[@]}" --quiet identify object "$id" | plain_lines
  done)" "" -- "${server[@]}" --quiet identify
  check "request 8 prints the echo" 0 "08 00 00 12 34" "" \
    -- "${server[@]}" --quiet request 8 0 0 0x12 0x34
  # The request's dump in the trace: what | its line | CLI arguments.
  while IFS='|' read -r what want args; do
    read -ra args <<<"$args"
    out="$(cli "${server[@]}" "${args[@]}" | plain_lines)"
    if grep -qxF "$want" <<<"$out"; then
      echo "ok: $what"
    else
      echo "FAIL: $what: no line '$want' in"$'\n'"$out" >&2
      failures=$((failures + 1))
    fi
  done <<'ROWS'
transaction identifiers are on by default|00 01 00 00 00 06 01 03 00 c8 00 01 |read-holding 200 1
--no-transaction-ids sends identifier 0|00 00 00 00 00 06 01 03 00 c8 00 01 |--no-transaction-ids read-holding 200 1
i16 goes through function code 6|00 01 00 00 00 06 01 06 01 9a ff fe |--type i16 write 410 -2
f32 goes in one function code 16|00 01 00 00 00 0b 01 10 01 90 00 02 04 47 f1 20 00 |--type f32 write 400 123456
ROWS
else
  check "an address past the table exits 1 with the library's reason" 1 "" \
    'tcpmodbus-cli: read-holding failed: CMBusTCP::MbReadHoldingRegs: MODBUS exception response on DIO Module 4 - Code=2, "Unallowable or invalid data address received in the query for the slave"' \
    -- "${server[@]}" --module 4 --quiet read-holding 1000 1
  check "a coil past the table exits 1 with the library's reason" 1 "" \
    'tcpmodbus-cli: write-coils failed: CMBusTCP::MbForceMultipleCoils: MODBUS exception response on DIO Module 1 - Code=2, "Unallowable or invalid data address received in the query for the slave"' \
    -- "${server[@]}" --quiet write-coils 999 1 1
  err_glob=$glob check "a refused connection exits 1 with the system's reason" 1 "" \
    "tcpmodbus-cli: CMBusTCP::ConnectToServer: Failed to connect to DIO Module 1 at 127.0.52.3 port 502: WSASocket failed. connect $refused" \
    -- --server 127.0.52.3 --local "$address" --quiet read-input 0 1
  err_glob=$glob check "a local port in use exits 1 with the system's reason" 1 "" \
    "tcpmodbus-cli: CTCPModbus::Initialize - Failed to Open TCP socket. LocalIpAddr=$address, LocalPort=502. Error: WSASocket failed. bind $in_use" \
    -- "${server[@]}" --local-port 502 --quiet read-input 0 1
  check "a local address that is not dotted IPv4 exits 1" 1 "" \
    "tcpmodbus-cli: CTCPModbus::Initialize - Failed to Open TCP socket. LocalIpAddr=127.1, LocalPort=0. Error: '127.1' is not a dotted IPv4 address (four numbers separated by dots)" \
    -- --server "$address" --local 127.1 --no-name-lookup --quiet read-input 0 1
  check "a function code the module does not serve exits 1 with exception 1" 1 "" \
    'tcpmodbus-cli: request failed: CMBusTCP::MbRawRequest: MODBUS exception response on DIO Module 1 - Code=1, "Unallowable or invalid function code received in the query"' \
    -- "${server[@]}" --quiet request 0x41
  check "an object the module lacks exits 1 with exception 2" 1 "" \
    'tcpmodbus-cli: identify failed: CMBusTCP::MbReadDeviceIdentification: MODBUS exception response on DIO Module 1 - Code=2, "Unallowable or invalid data address received in the query for the slave"' \
    -- "${server[@]}" --quiet identify object 5
  check "identify takes a category" 2 "" \
    "tcpmodbus-cli: identify takes basic, regular, extended or object ID
$usage_hint" -- "${server[@]}" identify full
  # The protocol's limits are the library's: it refuses, or sends and the
  # module refuses.
  check "a count past 125 goes to the module, which refuses it" 1 "" \
    "tcpmodbus-cli: read-holding failed: CMBusTCP::MbReadHoldingRegs: MODBUS exception response on DIO Module 1 - Code=3, \"Unallowable or invalid value contained in the query data field for the slave\"" \
    -- "${server[@]}" --quiet read-holding 0 126
  check "a value past 65535 is a usage error" 2 "" \
    "tcpmodbus-cli: VALUE '0x10000' is out of range (0 to 65535)
$usage_hint" -- "${server[@]}" write 0 0x10000
  check "a negative address is a usage error" 2 "" \
    "tcpmodbus-cli: ADDR '-1' is not a number (decimal or 0x-hex)
$usage_hint" -- "${server[@]}" read-input -1 1
  check "125 values are too many for one write" 1 "" \
    "tcpmodbus-cli: write-multiple failed: CMBusTCP::MbPresetMultipleRegs: Too many registers for one request on DIO Module 1: 125 (at most 124)" \
    -- "${server[@]}" --quiet write-multiple 0 $(seq 1 125)
  check "2001 coils are too many for one read" 1 "" \
    "tcpmodbus-cli: read-coils failed: CMBusTCP::MbReadCoilStatus: Quantity 2001 out of range for one request on DIO Module 1 (1 to 2000)" \
    -- "${server[@]}" --quiet read-coils 0 2001
  check "2001 discrete inputs are too many for one read" 1 "" \
    "tcpmodbus-cli: read-discrete-inputs failed: CMBusTCP::MbReadInputStatus: Quantity 2001 out of range for one request on DIO Module 1 (1 to 2000)" \
    -- "${server[@]}" --quiet read-discrete-inputs 0 2001
  check "1969 coils are too many for one write" 1 "" \
    "tcpmodbus-cli: write-coils failed: CMBusTCP::MbForceMultipleCoils: Quantity 1969 out of range for one request on DIO Module 1 (1 to 1968)" \
    -- "${server[@]}" --quiet write-coils 0 $(yes 1 | head -n 1969)
  check "a coil is 0 or 1" 2 "" \
    "tcpmodbus-cli: BIT '2' is out of range (0 to 1)
$usage_hint" -- "${server[@]}" write-coil 0 2
  check "126 registers are too many for a read-write's read" 1 "" \
    "tcpmodbus-cli: read-write failed: CMBusTCP::MbReadWriteMultipleRegs: Quantity 126 out of range for one request on DIO Module 1 (1 to 125)" \
    -- "${server[@]}" --quiet read-write 0 126 0 1
  check "122 values are too many for a read-write's write" 1 "" \
    "tcpmodbus-cli: read-write failed: CMBusTCP::MbReadWriteMultipleRegs: Quantity 122 out of range for one request on DIO Module 1 (1 to 121)" \
    -- "${server[@]}" --quiet read-write 0 1 0 $(seq 1 122)
  check "a read-write writes one value at least" 2 "" \
    "tcpmodbus-cli: read-write takes READ-ADDR READ-COUNT WRITE-ADDR VALUE...
$usage_hint" -- "${server[@]}" read-write 0 1 0
  check "--type goes with the commands of registers" 2 "" \
    "tcpmodbus-cli: --type goes with read-holding, read-input, write and write-multiple
$usage_hint" -- "${server[@]}" --type u16 read-coils 0 1
  check "an unknown type is a usage error" 2 "" \
    "tcpmodbus-cli: --type 'f16' is not a type (u16, i16, hex, u32, i32, u64, i64, f32, f64 or string:N)
$usage_hint" -- "${server[@]}" --type f16 read-holding 0 1
  check "a typed value out of its type's range is a usage error" 2 "" \
    "tcpmodbus-cli: VALUE '-32769' is out of range for i16 (-32768 to 32767)
$usage_hint" -- "${server[@]}" --type i16 write 0 -32769
  check "a text longer than its registers is a usage error" 2 "" \
    "tcpmodbus-cli: VALUE 'PUMP12' does not fit string:2 (at most 4 characters)
$usage_hint" -- "${server[@]}" --type string:2 write 0 PUMP12
  check "COUNT counts values: 63 f32 are 126 registers" 1 "" \
    "tcpmodbus-cli: read-holding failed: CMBusTCP::MbReadHoldingRegs: MODBUS exception response on DIO Module 1 - Code=3, \"Unallowable or invalid value contained in the query data field for the slave\"" \
    -- "${server[@]}" --quiet --type f32 read-holding 0 63
  check "32 f64 values are too many for one write" 1 "" \
    "tcpmodbus-cli: write-multiple failed: CMBusTCP::MbPresetMultipleRegs: Too many registers for one request on DIO Module 1: 128 (at most 124)" \
    -- "${server[@]}" --quiet --type f64 write-multiple 0 $(seq 1 32)
  check "a count that is no unsigned short is a usage error" 2 "" \
    "tcpmodbus-cli: COUNT '65536' is out of range (0 to 65535)
$usage_hint" -- "${server[@]}" read-holding 0 65536
  check "--one-based has no address 0" 2 "" \
    "tcpmodbus-cli: ADDR '0' is out of range (1 to 65536)
$usage_hint" -- "${server[@]}" --one-based read-coils 0 1
  printf '%s\n' name,table,address,type,order,scale,unit count,holding,0,u16,,0.5, \
    past,holding,70000 >"$work/bad.csv"
  check "a map file refused names its line and column" 2 "" \
    "tcpmodbus-cli: $work/bad.csv:3:14: address '70000' is not a number from 0 to 65535
$usage_hint" -- "${server[@]}" read-map "$work/bad.csv"
  head -n 2 "$work/bad.csv" >"$work/map.csv"
  check "write-map refuses a value before connecting" 2 "" \
    "tcpmodbus-cli: point 'count': 70000 does not fit u16
$usage_hint" -- --server 127.0.52.3 write-map "$work/map.csv" count=70000
  check "the plan's limits go with read-map" 2 "" \
    "tcpmodbus-cli: --plan, --max-gap, --max-registers and --max-bits go with read-map
$usage_hint" -- "${server[@]}" --max-gap 1 read-holding 0 1
  check "an unknown command is a usage error" 2 "" \
    "tcpmodbus-cli: unknown command 'read-coil'
$usage_hint" -- "${server[@]}" read-coil 0 1
  check "--quiet with --trace is a usage error" 2 "" \
    "tcpmodbus-cli: --quiet turns the trace off; it does not go with --trace
$usage_hint" -- "${server[@]}" --quiet --trace "$work/trace.txt" read-holding 200 1
  check "a trace file that cannot be created exits 1 before connecting" 1 "" \
    "tcpmodbus-cli: cannot open the trace file $work/none/trace.txt: No such file or directory" \
    -- "${server[@]}" --trace "$work/none/trace.txt" read-holding 200 1
  check "a trace that cannot be written exits 1 after the result" 1 "0 0 0x0000" \
    "tcpmodbus-cli: cannot write the trace to /dev/full: No space left on device" \
    -- "${server[@]}" --trace /dev/full read-holding 0 1
  unwritable="tcpmodbus-cli: cannot write the results:"
  results_to=full check "results to a full disk exit 1" 1 "" \
    "$unwritable No space left on device" -- "${server[@]}" --quiet read-holding 200 1
  results_to=full check "the trace and results to a full disk exit 1" 1 "" \
    "$unwritable No space left on device" -- "${server[@]}" write 200 7
  results_to=closed check "results to a closed stdout exit 1" 1 "" \
    "$unwritable Bad file descriptor" -- "${server[@]}" --quiet read-input 0 1
  results_to=full check "polls stop at results that cannot be written" 1 "" \
    "tcpmodbus-cli: 1 exchanges, 0 failed, 0 reconnects, 0 periods skipped
$unwritable No space left on device" -- "${server[@]}" --quiet --poll 50 --count 3 read-holding 200 1
  # Polls of a day's period: the poll that ends the run ends it at once.
  within=20 check "the last of --count polls ends the run, not a period later" 0 \
    "0 0 0x0000" "tcpmodbus-cli: 1 exchanges, 0 failed, 0 reconnects, 0 periods skipped" \
    -- "${server[@]}" --quiet --poll 86400000 --count 1 read-holding 0 1
  within=20 results_to=full check "lost results end the polls, not a period later" 1 "" \
    "tcpmodbus-cli: 1 exchanges, 0 failed, 0 reconnects, 0 periods skipped
$unwritable No space left on device" -- "${server[@]}" --quiet --poll 86400000 read-holding 200 1
  results_to=closed check "help to a closed stdout exits 1" 1 "" \
    "$unwritable Bad file descriptor" -- --help
fi

stop_status=0
stop_module || stop_status=$?
if [ "$stop_status" -ne 0 ]; then
  echo "FAIL: the module exited with $stop_status" >&2
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ]
