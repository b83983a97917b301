// The bounded error record that the transport and the protocol client each
// own: always NUL-terminated, replaced whole by every write, cut at 255
// characters.
#ifndef TCPMODBUS_COMMON_ERRORTEXT_H_
#define TCPMODBUS_COMMON_ERRORTEXT_H_

#include <cstdarg>
#include <cstddef>

namespace tcpmodbus {
namespace errortext {

constexpr std::size_t kSize = 256;

// Formats into `text` (kSize characters) in the manner of vsnprintf.
void FormatV(char* text, const char* format, std::va_list args);

}  // namespace errortext
}  // namespace tcpmodbus

#endif  // TCPMODBUS_COMMON_ERRORTEXT_H_
