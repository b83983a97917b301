#!/bin/sh
# Checks the Linux shared library, one aspect per call:
#   check-so.sh exports <libtcpmodbus.so>   only TCPModbusIntf and the C
#                                           interface's functions leave it
#   check-so.sh soname  <libtcpmodbus.so>   SONAME libtcpmodbus.so.1
set -u
what="$1"
library="$2"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

case "$what" in
  exports)
    names="$(nm -D --defined-only "$library" | awk '{print $NF}')" ||
      fail "nm -D $library"
    [ -n "$names" ] || fail "$library exports nothing"
    echo "$names"
    for wanted in _ZN13TCPModbusIntf11GetInstanceEv \
      _ZN13TCPModbusIntf5CloseEv _ZN13TCPModbusIntf15LastErrorStringEv \
      _ZN13TCPModbusIntf12ReadHoldRegsEtPtt _ZN13TCPModbusIntfD0Ev \
      _ZTV13TCPModbusIntf; do
      echo "$names" | grep -qx "$wanted" || fail "missing export $wanted"
    done
    echo "$names" | sh "$(dirname "$0")/../c/check-exports.sh" || exit 1
    ;;
  soname)
    soname="$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\].*/\1/p')"
    echo "SONAME: $soname"
    [ "$soname" = libtcpmodbus.so.1 ] || fail "SONAME is '$soname'"
    ;;
  *) fail "unknown check $what" ;;
esac
