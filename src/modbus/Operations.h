// What tells the operations apart, keyed by function code: the one table
// from which the protocol client's exchanges and the interface's operations
// take their names, trace lines, messages and limits. Every text is whole,
// as it is shown, so one search finds it.
#ifndef TCPMODBUS_MODBUS_OPERATIONS_H_
#define TCPMODBUS_MODBUS_OPERATIONS_H_

#include <cstdint>

namespace tcpmodbus {

struct Operation {
  std::uint8_t functionCode;
  // The protocol client's exchange: the name that opens its messages, its
  // trace lines (with the name and a size) and its size-mismatch message.
  const char* exchangeName;
  const char* sendingLine;
  const char* receivedLine;
  const char* wrongSizeMessage;
  // The interface's operation: its name and its trace lines, each with the
  // name as first %s (the failure line with the error text as second).
  const char* name;
  const char* notConnectedLine;
  const char* failureLine;
  const char* successLine;
  const char* dumpHeading;
  // The quantities one request may carry, 1 to these (0: not checked); for
  // a read/write of registers, of the read and of the write.
  std::uint16_t maxQuantity;
  std::uint16_t maxWriteQuantity;
  // Whether the answer must match the request field by field; otherwise
  // only its size and exception flag are judged.
  bool strict;
};

// The row of raw requests, which carry any function code (the exchange
// takes a copy with its own): keyed by 0, which no request carries.
constexpr std::uint8_t kRawRequestRow = 0;

// The operation of `functionCode`, one of the eleven the library sends, or
// of kRawRequestRow.
const Operation& OperationOf(std::uint8_t functionCode);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_OPERATIONS_H_
