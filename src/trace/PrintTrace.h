// The console trace: printf to standard output, nothing added. Each call
// writes one whole text; the library never flushes the stream itself.
#ifndef TCPMODBUS_TRACE_PRINTTRACE_H_
#define TCPMODBUS_TRACE_PRINTTRACE_H_

#include <cstddef>

#include "common/Attributes.h"

int PrintTrace(const char* format, ...) TCPMODBUS_PRINTF_FORMAT(1, 2);

// Writes `length` bytes of finished trace text in one call on the stream;
// returns `length`, or -1 when the stream took less.
int WriteTrace(const char* text, std::size_t length);

#endif  // TCPMODBUS_TRACE_PRINTTRACE_H_
