// What tells the protocol client's exchanges apart, for the files that
// carry them out.
#ifndef TCPMODBUS_MODBUS_EXCHANGE_H_
#define TCPMODBUS_MODBUS_EXCHANGE_H_

#include <cstdint>

#include "modbus/CMBusTCP.h"
#include "modbus/PointFrames.h"

namespace tcpmodbus {

// The reads and the writes word the size mismatch differently on purpose:
// hosts match on either text.
constexpr char kReadWrongSize[] =
    "%s: Incorrect response size: %d. Expected: %d";
constexpr char kWriteWrongSize[] =
    "%s: Incorrect response size is %d expected %d";

// A field of an answer that is not the request's: the name, the answer's
// value and the request's.
constexpr char kNotThisRequests[] =
    "%s: Answer from DIO Module %d is not this request's: %s %d, expected %d";

// Their function code, the name that opens their messages, and their trace
// and size-mismatch wording.
struct CMBusTCP::Exchange {
  std::uint8_t functionCode;
  const char* name;
  const char* sendingLine;
  const char* receivedLine;
  const char* wrongSizeMessage;
};

// What one exchange expects back, and where an accepted answer's values go.
struct CMBusTCP::Answer {
  // Registers or bits asked for by a read, registers written by code 16.
  std::uint16_t count = 0;
  std::uint16_t* registers = nullptr;  // a read of registers fills these
  std::uint8_t* bits = nullptr;        // a read of bits fills these
  // The strict verdict of the point exchanges; null: the size and the
  // exception flag alone are judged (codes 3, 4, 6, 16).
  const modbusframe::StrictAnswer* strict = nullptr;

  // The size the whole answer has.
  int Size(std::uint8_t functionCode) const {
    return strict != nullptr
               ? strict->size
               : modbusframe::ExpectedResponseSize(functionCode, count);
  }
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_EXCHANGE_H_
