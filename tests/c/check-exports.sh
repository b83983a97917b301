#!/bin/sh
# Reads a library's exported names, one a line, and fails unless the members
# that came with libraries 1.1 to 1.3 are among them and the names outside the class
# TCPModbusIntf are exactly the C interface's functions, undecorated: the
# EXPORTS of the shipped src/front/tcpmodbus.def. Used by the .so and DLL
# checks.
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
  _ZN13TCPModbusIntf15LastFailureTextEv _ZN13TCPModbusIntf13SetNameLookupEb; do
  echo "$names" | grep -qx "$wanted" || { echo "FAIL: missing export $wanted" >&2; exit 1; }
done
others="$(echo "$names" | grep -v '^_Z\(N\|T[VIS]\)13TCPModbusIntf' | LC_ALL=C sort)"
c_functions="$(sed -n '/^EXPORTS/,$ s/^[[:space:]][[:space:]]*\([A-Za-z_][A-Za-z0-9_]*\).*/\1/p' \
  "$here/../../src/front/tcpmodbus.def" | LC_ALL=C sort)"
[ "$others" = "$c_functions" ] || {
  # shellcheck disable=SC2086
  echo "FAIL: exports outside the C++ interface:" $others "- expected the C functions:" $c_functions >&2
  exit 1
}
