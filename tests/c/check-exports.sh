#!/bin/sh
# Reads a library's exported names, one a line, and fails unless the members
# that came with libraries 1.1 to 1.3 are among them, the free functions of
# namespace tcpmodbus that the public C++ headers declare (Values.h,
# DeviceMap.h, library 1.3) and the members of the classes they export are
# there, and the names outside the class TCPModbusIntf and those are exactly
# the C interface's functions, undecorated: the EXPORTS of the shipped
# src/front/tcpmodbus.def. Used by the .so and DLL checks.
here="$(cd "$(dirname "$0")" && pwd)"
names="$(cat)"
for wanted in _ZN13TCPModbusIntf17SetConnectTimeoutEj \
  _ZN13TCPModbusIntf18SetResponseTimeoutEj _ZN13TCPModbusIntf11SetRecoveryEb \
  _ZN13TCPModbusIntf13SetServerPortEt _ZN13TCPModbusIntf9SetUnitIdEh \
  _ZN13TCPModbusIntf10ReconnectsEv _ZN13TCPModbusIntf7VersionEv \
  _ZN13TCPModbusIntf17SetTransactionIdsEb \
  "_ZN13TCPModbusIntf12SetTraceSinkEPFvPvPKc[my]ES0_" \
  "_ZN13TCPModbusIntf13TraceToStdoutEPvPKc[my]" \
  _ZN13TCPModbusIntf13LastErrorCodeEv _ZN13TCPModbusIntf17LastExceptionCodeEv \
  _ZN13TCPModbusIntf15LastSystemErrorEv _ZN13TCPModbusIntf9ErrorNameEi \
  _ZN13TCPModbusIntf9ReadCoilsEtPht _ZN13TCPModbusIntf18ReadDiscreteInputsEtPht \
  _ZN13TCPModbusIntf15WriteSingleCoilEtb _ZN13TCPModbusIntf15WriteMultiCoilsEtPKht \
  _ZN13TCPModbusIntf16MaskWriteHoldRegEttt \
  _ZN13TCPModbusIntf22ReadWriteMultiHoldRegsEtPtttPKtt \
  _ZN13TCPModbusIntf15LastFailureTextEv _ZN13TCPModbusIntf14SetMaxInFlightEj \
  _ZN13TCPModbusIntf9ReadBatchEP14tcpmodbus_readj _ZN13TCPModbusIntf9StepDownsEv \
  _ZN9tcpmodbus9LearnedOfER13TCPModbusIntf _ZN9tcpmodbus12ClearLearnedER13TCPModbusIntf \
  _ZN9tcpmodbus9TableNameENS_10PointTableE \
  _ZN9tcpmodbus17ReadingStatusNameENS_13ReadingStatusE; do
  echo "$names" | grep -qx "$wanted" || { echo "FAIL: missing export $wanted" >&2; exit 1; }
done
# Each free function a C++ header declares exported ("TCPMODBUS_EXPORT int
# ReadValue(" at the start of a line; tcpmodbus.h holds the C functions): at
# least one export of that name in namespace tcpmodbus, whatever its
# parameters (their mangling differs between Linux and Windows).
free_functions="$(sed -n 's/^TCPMODBUS_EXPORT [^(]*[^A-Za-z0-9_(]\([A-Za-z_][A-Za-z0-9_]*\)(.*/\1/p' \
  $(ls "$here/../../include/tcpmodbus/"*.h | grep -v '/tcpmodbus\.h$') | LC_ALL=C sort -u)"
[ -n "$free_functions" ] || { echo "FAIL: no exported free functions in the C++ headers" >&2; exit 1; }
free_prefixes=""
for function in $free_functions; do
  prefix="_ZN9tcpmodbus${#function}${function}E"
  echo "$names" | grep -q "^$prefix" || { echo "FAIL: missing export tcpmodbus::$function" >&2; exit 1; }
  free_prefixes="$free_prefixes\\|$prefix"
done
# Each class a C++ header of namespace tcpmodbus exports ("class
# TCPMODBUS_EXPORT DeviceMap"): at least one member exported; its members
# are the interface too.
classes="$(sed -n 's/^class TCPMODBUS_EXPORT \([A-Za-z_][A-Za-z0-9_]*\).*/\1/p' \
  $(ls "$here/../../include/tcpmodbus/"*.h | grep -v '/TCPModbusIntf\.h$') | LC_ALL=C sort -u)"
for class in $classes; do
  prefix="_ZNK\\?9tcpmodbus${#class}${class}"
  echo "$names" | grep -q "^$prefix" || { echo "FAIL: no member of tcpmodbus::$class exported" >&2; exit 1; }
  free_prefixes="$free_prefixes\\|$prefix"
done
others="$(echo "$names" | grep -v "^_Z\(N\|T[VIS]\)13TCPModbusIntf${free_prefixes}" | LC_ALL=C sort)"
c_functions="$(sed -n '/^EXPORTS/,$ s/^[[:space:]][[:space:]]*\([A-Za-z_][A-Za-z0-9_]*\).*/\1/p' \
  "$here/../../src/front/tcpmodbus.def" | LC_ALL=C sort)"
[ "$others" = "$c_functions" ] || {
  # shellcheck disable=SC2086
  echo "FAIL: exports outside the C++ interface:" $others "- expected the C functions:" $c_functions >&2
  exit 1
}
