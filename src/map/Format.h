// Messages of the map layer, each formatted from one format string in the
// manner of printf, and the numbers its texts hold.
#ifndef TCPMODBUS_MAP_FORMAT_H_
#define TCPMODBUS_MAP_FORMAT_H_

#include <cstdint>
#include <string>

#include "common/Attributes.h"

namespace tcpmodbus {
namespace map {

std::string Format(const char* format, ...) TCPMODBUS_PRINTF_FORMAT(1, 2);

// A whole text as an unsigned number in decimal or 0x-hex, no sign or
// blank, at most `largest`.
bool ParseUnsigned(const std::string& text, std::uint64_t largest,
                   std::uint64_t* value);
// A whole text as a signed decimal number (or 0x-hex, without sign).
bool ParseSigned(const std::string& text, std::int64_t* value);
// A whole text as a floating number, independent of the C locale.
bool ParseReal(const std::string& text, double* value);

}  // namespace map
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MAP_FORMAT_H_
