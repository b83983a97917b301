// Hex dumps of the console trace. Each item is printed as "%02x " would
// print it; a line ends after the item whose index is a non-zero multiple of
// 20 (so 21 items on the first line, 20 on each later one), and once more
// after the last item, even when that leaves an empty line. The dump is
// added to a trace point's text, which goes out whole when it fits its
// buffer, as every dump of an exchange does, and in several calls of whole
// lines when it does not.
#ifndef TCPMODBUS_TRACE_HEXDUMP_H_
#define TCPMODBUS_TRACE_HEXDUMP_H_

#include <cstdint>

#include "trace/PrintTrace.h"

namespace tcpmodbus {

void DumpBytes(TraceText& text, const std::uint8_t* frameBytes,
               std::uint32_t frameLength);
void DumpRegisters(TraceText& text, const std::uint16_t* regValues,
                   std::uint16_t regCount);
// Bits held one a byte, each dumped as 00 (off) or 01 (on, any non-zero
// byte).
void DumpBits(TraceText& text, const std::uint8_t* bits, std::uint32_t count);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_TRACE_HEXDUMP_H_
