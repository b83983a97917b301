// Hex dumps of the console trace. Each item is printed as "%02x " would
// print it; a line ends after the item whose index is a non-zero multiple of
// 20 (so 21 items on the first line, 20 on each later one), and once more
// after the last item, even when that leaves an empty line. A dump goes to
// standard output in one call when it is at most 2048 characters long, as
// every dump of an exchange is; a longer one in several, each of whole lines.
#ifndef TCPMODBUS_TRACE_HEXDUMP_H_
#define TCPMODBUS_TRACE_HEXDUMP_H_

#include <cstdint>

namespace tcpmodbus {

void DumpBytes(const std::uint8_t* frameBytes, std::uint32_t frameLength);
void DumpRegisters(const std::uint16_t* regValues, std::uint16_t regCount);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_TRACE_HEXDUMP_H_
