#include "common/ErrorText.h"

#include <cstdio>

namespace tcpmodbus {
namespace errortext {

void FormatV(char* text, const char* format, std::va_list args) {
  if (std::vsnprintf(text, kSize, format, args) < 0) text[0] = '\0';
}

void Format(char* text, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  FormatV(text, format, args);
  va_end(args);
}

}  // namespace errortext
}  // namespace tcpmodbus
