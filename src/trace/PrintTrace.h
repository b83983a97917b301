// The console trace: printf to standard output, nothing added. Each call
// writes one whole text; the library never flushes the stream itself.
#ifndef TCPMODBUS_TRACE_PRINTTRACE_H_
#define TCPMODBUS_TRACE_PRINTTRACE_H_

#include "common/Attributes.h"

int PrintTrace(const char* format, ...) TCPMODBUS_PRINTF_FORMAT(1, 2);

#endif  // TCPMODBUS_TRACE_PRINTTRACE_H_
