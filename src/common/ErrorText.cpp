#include "common/ErrorText.h"

#include <cstdio>

namespace tcpmodbus {
namespace errortext {

void FormatV(char* text, const char* format, std::va_list args) {
  if (std::vsnprintf(text, kSize, format, args) < 0) text[0] = '\0';
}

}  // namespace errortext
}  // namespace tcpmodbus
