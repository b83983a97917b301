#!/bin/sh
# Checks the built tcpmodbus.dll with the cross binutils, one aspect per call:
#   check-dll.sh exports   <objdump> <dll>
#   check-dll.sh imports   <objdump> <dll>
#   check-dll.sh resources <objdump> <dll> <objcopy>
#   check-dll.sh objects   <objdump> <object files...>
# Prints what is wrong and exits 1, or exits 0.
set -u
what="$1"
objdump="$2"
shift 2

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Names of the export table, one per line.
export_names() {
  "$objdump" -p "$1" |
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p'
}

# "DLL:function" for each imported function.
import_names() {
  "$objdump" -p "$1" | awk '
    /^[[:space:]]*DLL Name:/ { dll = toupper($3); next }
    /^[[:space:]]*$/ { dll = "" }
    dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print dll ":" $3 }'
}

check_exports() {
  dll="$1"
  names="$(export_names "$dll")"
  [ -n "$names" ] || fail "$dll exports nothing"
  echo "$names"
  # The interface's members: factory, the seven operations, constructors,
  # assignment, destructors, and its vtable and type information.
  for wanted in \
    _ZN13TCPModbusIntf11GetInstanceEv \
    _ZN13TCPModbusIntf10InitializeEtNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEtS5_ \
    _ZN13TCPModbusIntf5CloseEv \
    _ZN13TCPModbusIntf15LastErrorStringEv \
    _ZN13TCPModbusIntf18WriteSingleHoldRegEtRt \
    _ZN13TCPModbusIntf18WriteMultiHoldRegsEtPtt \
    _ZN13TCPModbusIntf12ReadHoldRegsEtPtt \
    _ZN13TCPModbusIntf13ReadInputRegsEtPtt \
    _ZN13TCPModbusIntfC1Ev \
    _ZN13TCPModbusIntfC1ERKS_ \
    _ZN13TCPModbusIntfaSERKS_ \
    _ZN13TCPModbusIntfD0Ev \
    _ZN13TCPModbusIntfD1Ev \
    _ZTV13TCPModbusIntf; do
    echo "$names" | grep -qx "$wanted" || fail "missing export $wanted"
  done
  # Nothing else but the C functions under their plain names: every other
  # name belongs to the class TCPModbusIntf itself.
  echo "$names" | sh "$(dirname "$0")/../c/check-exports.sh" || exit 1
  internals="$(echo "$names" |
    grep -E 'CTCPModbus|CMBusTCP|CTcpSocket|8platform|PrintTrace|DumpBytes|HexDump|ErrorText|ModbusFrame|MbapFrame|DllMain')"
  [ -z "$internals" ] || fail "internals exported: $internals"
}

check_imports() {
  dll="$1"
  imports="$(import_names "$dll")"
  [ -n "$imports" ] || fail "$dll imports nothing"
  dlls="$(echo "$imports" | cut -d: -f1 | sort -u | tr '\n' ' ')"
  echo "imported DLLs: $dlls"
  # The compiler runtime is linked in; only system DLLs are needed.
  for dllname in $dlls; do
    case "$dllname" in
      KERNEL32.DLL | MSVCRT.DLL | WS2_32.DLL) ;;
      *) fail "imports from $dllname (only KERNEL32, msvcrt, WS2_32 expected)" ;;
    esac
  done
  # (Network byte order is a byte swap of the library's own, no call.)
  for wanted in WSASocketW bind connect select send recv closesocket \
    WSAGetLastError gethostname gethostbyname gethostbyaddr inet_pton \
    ioctlsocket getsockname getpeername; do
    echo "$imports" | grep -qx "WS2_32.DLL:$wanted" ||
      fail "does not import $wanted from WS2_32"
  done
  # Starting and stopping Windows Sockets is the host's business.
  for unwanted in WSAStartup WSACleanup; do
    if echo "$imports" | grep -qx "WS2_32.DLL:$unwanted"; then
      fail "imports $unwanted"
    fi
  done
}

check_resources() {
  dll="$1"
  objcopy="$2"
  directory="$("$objdump" -p "$dll" | sed -n '/^The .rsrc Resource Directory section:/,/^ Resources start/p')"
  [ -n "$directory" ] || fail "$dll has no resource directory"
  echo "$directory"
  entries="$(echo "$directory" | grep -c 'Entry:')"
  # One type (24, RT_MANIFEST), one name (ID 2), one language.
  [ "$entries" -eq 3 ] || fail "expected one resource, found $entries entries"
  echo "$directory" | grep -q 'Entry: ID: 0x000018,' || fail "no RT_MANIFEST"
  echo "$directory" | grep -q 'Entry: ID: 0x000002,' || fail "manifest not ID 2"
  work="$(mktemp -d)" || exit 1
  trap 'rm -rf "$work"' EXIT
  "$objcopy" -O binary -j .rsrc "$dll" "$work/rsrc.bin" || fail "objcopy"
  compact="$(tr -d '\000\r\n\t ' <"$work/rsrc.bin")"
  echo "$compact" | grep -q '<assemblyxmlns="urn:schemas-microsoft-com:asm.v1"manifestVersion="1.0"></assembly>' ||
    fail "manifest is not an empty assembly element: $compact"
}

# No static initialisers and no thread-local storage in the library's own
# objects (the runtime brings its own; these are ours).
check_objects() {
  [ "$#" -gt 0 ] || fail "no object files given"
  # CMake hands over each target's objects as one ';'-separated list.
  objects="$(printf '%s;' "$@" | tr ';' '\n' | sed '/^$/d')"
  echo "$objects" | while IFS= read -r object; do
    sections="$("$objdump" -h "$object" | awk '/^ *[0-9]+ /{print $2}')"
    bad="$(echo "$sections" | grep -E '^\.(tls|ctors|dtors|init_array|fini_array|CRT)')"
    [ -z "$bad" ] || fail "$object has sections $(echo "$bad" | tr '\n' ' ')"
    # mingw keeps thread_local variables in emulated TLS, not in .tls.
    emulated="$("$objdump" -t "$object" | grep -o '__emutls_[A-Za-z_.0-9]*' | sort -u)"
    [ -z "$emulated" ] || fail "$object uses thread-local storage: $emulated"
    echo "ok: $object"
  done || exit 1
}

case "$what" in
  exports) check_exports "$@" ;;
  imports) check_imports "$@" ;;
  resources) check_resources "$@" ;;
  objects) check_objects "$@" ;;
  *) fail "unknown check $what" ;;
esac
