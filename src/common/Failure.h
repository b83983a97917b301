// What a host can branch on when an operation failed: a code for the kind
// of failure, the operating system's error number and the Modbus exception
// code where the failure has one. The values are those of the
// TCPMODBUS_ERROR_* constants of tcpmodbus.h and of TCPModbusIntf::ErrorCode.
#ifndef TCPMODBUS_COMMON_FAILURE_H_
#define TCPMODBUS_COMMON_FAILURE_H_

namespace tcpmodbus {

enum class ErrorCode : int {
  kNone = 0,
  kNotConnected = 1,
  kInvalidArgument = 2,
  kOpen = 3,
  kConnect = 4,
  kTimeout = 5,
  kClosed = 6,
  kSend = 7,
  kReceive = 8,
  kTooShort = 9,
  kWrongSize = 10,
  kWrongAnswer = 11,
  kModbusException = 12,
  kNoMemory = 13,
  kReentered = 14,
  kInternal = 15,
};

struct Failure {
  ErrorCode code = ErrorCode::kNone;
  int systemError = 0;    // 0 when the system gave none
  int exceptionCode = 0;  // 0 unless a Modbus exception answer

  static Failure Of(ErrorCode code, int systemError = 0) {
    return {code, systemError, 0};
  }
  static Failure ModbusException(int exceptionCode) {
    return {ErrorCode::kModbusException, 0, exceptionCode};
  }
};

// The stable identifier of a code ("TIMEOUT"), or "UNKNOWN".
const char* ErrorCodeName(int code);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_COMMON_FAILURE_H_
