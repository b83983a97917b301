// What tells the protocol client's exchanges apart, for the files that
// carry them out.
#ifndef TCPMODBUS_MODBUS_EXCHANGE_H_
#define TCPMODBUS_MODBUS_EXCHANGE_H_

#include <cstdint>

#include "modbus/CMBusTCP.h"

namespace tcpmodbus {

// Their function code, the name that opens their messages, and their trace
// and size-mismatch wording.
struct CMBusTCP::Exchange {
  std::uint8_t functionCode;
  const char* name;
  const char* sendingLine;
  const char* receivedLine;
  const char* wrongSizeMessage;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_EXCHANGE_H_
