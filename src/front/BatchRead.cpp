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

}  // namespace tcpmodbus
