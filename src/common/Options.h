// The connection options of one module object: owned by the front, which
// alone writes them (through the interface's setters), and handed down by
// const reference to the layers that act on them. Every option starts off:
// the object then behaves exactly as without it.
#ifndef TCPMODBUS_COMMON_OPTIONS_H_
#define TCPMODBUS_COMMON_OPTIONS_H_

#include <cstddef>
#include <cstdint>

#include "tcpmodbus/tcpmodbus.h"

namespace tcpmodbus {

// Receives each trace point's text: one or more whole lines, NUL-terminated
// after `length` characters. The same type as TCPModbusIntf::TraceSink.
using TraceSink = void (*)(void* context, const char* text, std::size_t length);

struct Options {
  // The module's TCP port, from the next Initialize on.
  std::uint16_t serverPort = TCPMODBUS_DEFAULT_SERVER_PORT;
  // The unit identifier of every request, from the next request on.
  std::uint8_t unitId = TCPMODBUS_DEFAULT_UNIT_ID;
  // Longest wait of the connect, in milliseconds; 0: as long as the system
  // allows.
  unsigned connectTimeoutMs = 0;
  // Longest wait for an answer, in milliseconds; 0: no limit.
  unsigned responseTimeoutMs = 0;
  // Whether an operation that finds the connection lost reconnects first.
  bool recovery = false;
  // Whether requests carry transaction identifiers and answers are matched
  // by them.
  bool transactionIds = false;
  // Requests of a batch in flight before the first answer.
  unsigned maxInFlight = 1;
  // Whether the server's address text, and the local one, go to the
  // system's look-up: host names and IPv6 besides dotted IPv4.
  bool nameLookup = false;
  // Where the trace goes: to `traceSink` with `traceContext` once the host
  // gave one, to standard output until then, nowhere when the host turned it
  // off.
  bool traceOn = true;
  TraceSink traceSink = nullptr;
  void* traceContext = nullptr;
};

// The options of an object that no host has set.
inline constexpr Options kDefaultOptions{};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_COMMON_OPTIONS_H_
