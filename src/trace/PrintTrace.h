// The console trace on standard output: each text formatted as printf would
// format it (the library's own %s, %d and %u formats by a small formatter of
// its own, anything else by vprintf), nothing added. Each call hands one
// whole text to the stream; the library never flushes it itself.
#ifndef TCPMODBUS_TRACE_PRINTTRACE_H_
#define TCPMODBUS_TRACE_PRINTTRACE_H_

#include <cstddef>

#include "common/Attributes.h"

namespace tcpmodbus {

int PrintTrace(const char* format, ...) TCPMODBUS_PRINTF_FORMAT(1, 2);

// Writes `length` bytes of finished trace text in one call on the stream;
// returns `length`, or -1 when the stream took less.
int WriteTrace(const char* text, std::size_t length);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_TRACE_PRINTTRACE_H_
