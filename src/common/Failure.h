// What a host can branch on when an operation failed: a code for the kind
// of failure, the operating system's error number and the Modbus exception
// code where the failure has one, and a text that describes it. The codes
// are the TCPMODBUS_ERROR_* constants of tcpmodbus.h.
#ifndef TCPMODBUS_COMMON_FAILURE_H_
#define TCPMODBUS_COMMON_FAILURE_H_

#include "common/ErrorText.h"
#include "tcpmodbus/tcpmodbus.h"

namespace tcpmodbus {

enum class ErrorCode : int {
  kNone = TCPMODBUS_ERROR_NONE,
  kNotConnected = TCPMODBUS_ERROR_NOT_CONNECTED,
  kInvalidArgument = TCPMODBUS_ERROR_INVALID_ARGUMENT,
  kOpen = TCPMODBUS_ERROR_OPEN,
  kConnect = TCPMODBUS_ERROR_CONNECT,
  kTimeout = TCPMODBUS_ERROR_TIMEOUT,
  kClosed = TCPMODBUS_ERROR_CLOSED,
  kSend = TCPMODBUS_ERROR_SEND,
  kReceive = TCPMODBUS_ERROR_RECEIVE,
  kTooShort = TCPMODBUS_ERROR_TOO_SHORT,
  kWrongSize = TCPMODBUS_ERROR_WRONG_SIZE,
  kWrongAnswer = TCPMODBUS_ERROR_WRONG_ANSWER,
  kModbusException = TCPMODBUS_ERROR_MODBUS_EXCEPTION,
  kNoMemory = TCPMODBUS_ERROR_NO_MEMORY,
  kReentered = TCPMODBUS_ERROR_REENTERED,
  kInternal = TCPMODBUS_ERROR_INTERNAL,
  kCancelled = TCPMODBUS_ERROR_CANCELLED,
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

// A failure with its text: what an object keeps of its last failure.
struct FailureRecord {
  Failure failure;
  char text[errortext::kSize] = {};
};

// Every code's name, for tables built from the constants of tcpmodbus.h:
// `entry(NAME)` for each TCPMODBUS_ERROR_NAME.
#define TCPMODBUS_ERROR_NAMES(entry)                                         \
  entry(NONE) entry(NOT_CONNECTED) entry(INVALID_ARGUMENT) entry(OPEN)       \
      entry(CONNECT) entry(TIMEOUT) entry(CLOSED) entry(SEND) entry(RECEIVE) \
          entry(TOO_SHORT) entry(WRONG_SIZE) entry(WRONG_ANSWER)             \
              entry(MODBUS_EXCEPTION) entry(NO_MEMORY) entry(REENTERED)      \
                  entry(INTERNAL) entry(CANCELLED)

// The stable identifier of a code ("TIMEOUT"), or "UNKNOWN".
const char* ErrorCodeName(int code);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_COMMON_FAILURE_H_
