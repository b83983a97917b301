#include "front/BatchRead.h"

namespace tcpmodbus {

int RecordOutcome(TCPModbusIntf& module, tcpmodbus_read& read, int result) {
  read.result = result;
  read.error_code = result != 0 ? 0 : module.LastErrorCode();
  read.exception_code = result != 0 ? 0 : module.LastExceptionCode();
  return result;
}

int ReadOne(TCPModbusIntf& module, tcpmodbus_read& read) {
  switch (read.table) {
    case TCPMODBUS_TABLE_HOLDING:
      return RecordOutcome(
          module, read,
          module.ReadHoldRegs(read.address, read.registers, read.count));
    case TCPMODBUS_TABLE_INPUT:
      return RecordOutcome(
          module, read,
          module.ReadInputRegs(read.address, read.registers, read.count));
    case TCPMODBUS_TABLE_COIL:
      return RecordOutcome(module, read,
                           module.ReadCoils(read.address, read.bits, read.count));
    case TCPMODBUS_TABLE_DISCRETE:
      return RecordOutcome(
          module, read,
          module.ReadDiscreteInputs(read.address, read.bits, read.count));
    default:
      read.result = 0;
      read.error_code = TCPMODBUS_ERROR_INVALID_ARGUMENT;
      read.exception_code = 0;
      return 0;
  }
}

void NotSent(tcpmodbus_read& read) {
  read.result = 0;
  read.error_code = TCPMODBUS_ERROR_NOT_CONNECTED;
  read.exception_code = 0;
}

bool LosesConnection(int errorCode) {
  return errorCode == TCPMODBUS_ERROR_NOT_CONNECTED ||
         errorCode == TCPMODBUS_ERROR_TIMEOUT ||
         errorCode == TCPMODBUS_ERROR_CLOSED ||
         errorCode == TCPMODBUS_ERROR_SEND ||
         errorCode == TCPMODBUS_ERROR_RECEIVE;
}

int ReadInTurn(TCPModbusIntf& module, tcpmodbus_read* reads,
               unsigned int count) {
  int all = 1;
  for (unsigned int i = 0; i < count; ++i) {
    if (ReadOne(module, reads[i]) != 0) continue;
    all = 0;
    if (!LosesConnection(reads[i].error_code)) continue;
    while (++i < count) NotSent(reads[i]);
  }
  return all;
}

}  // namespace tcpmodbus
