// The messages and trace lines that the protocol client's reading of
// answers shares between its exchanges and its pipelined batches.
#ifndef TCPMODBUS_MODBUS_EXCHANGETEXTS_H_
#define TCPMODBUS_MODBUS_EXCHANGETEXTS_H_

#include "common/Failure.h"
#include "modbus/ModbusFrame.h"
#include "platform/IoResult.h"

namespace tcpmodbus {

inline constexpr char kUnframable[] =
    "%s: Bytes from DIO Module %d do not frame as a Modbus answer; the connection was closed";
inline constexpr char kDroppedLine[] =
    "%s <==Dropped Response to an earlier request...Size=%d\n";
inline constexpr char kTooManyDropped[] =
    "%s: More than 8 frames from DIO Module %d answered no request; the connection was closed";
inline constexpr char kOtherIdentifier[] =
    "%s: Answer from DIO Module %d carries transaction identifier %d, expected %d; a device that does not echo transaction identifiers needs them off";
inline constexpr char kSendFailed[] =
    "%s: Failed to send request to DIO Module %d. Error: %s";
inline constexpr char kCancelledWaiting[] =
    "%s: Cancelled while waiting for the answer of DIO Module %d; the connection was closed";
// A field of an answer that is not the request's: the name, the answer's
// value and the request's.
inline constexpr char kNotThisRequests[] =
    "%s: Answer from DIO Module %d is not this request's: %s %d, expected %d";

inline const char* FieldName(modbusframe::Mismatch mismatch) {
  switch (mismatch) {
    case modbusframe::Mismatch::kProtocolId:
      return "protocol identifier";
    case modbusframe::Mismatch::kUnitId:
      return "unit identifier";
    default:
      return "function code";
  }
}

// The failure an ending that is not an answer means: the module closed or
// reset the connection, nothing came in time, or the system refused with
// its number (`otherwise` says in which step).
inline Failure FailureOf(const IoResult& ending, ErrorCode otherwise) {
  switch (ending.kind) {
    case IoResult::Kind::kClosed:
      return Failure::Of(ErrorCode::kClosed);
    case IoResult::Kind::kReset:
      return Failure::Of(ErrorCode::kClosed, ending.error);
    case IoResult::Kind::kTimedOut:
      return Failure::Of(ErrorCode::kTimeout);
    default:
      return Failure::Of(otherwise, ending.error);
  }
}

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_EXCHANGETEXTS_H_
