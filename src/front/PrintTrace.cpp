#include "front/PrintTrace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Room for the longest dump line (105 characters) and its newline, with
// some to spare.
constexpr std::size_t kLineBufferSize = 256;

bool IsLineFormat(const char* format) {
  return format[0] == '%' && format[1] == 's' && format[2] == '\n' &&
         format[3] == '\0';
}

}  // namespace

// The hex dumps hand every line over as "%s\n" with a finished text. Such a
// line goes out as the same bytes in one fwrite, which takes the stream's
// lock once as printf would, without parsing the format.
int PrintTrace(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  int written;
  const char* text = nullptr;
  if (IsLineFormat(format)) {
    std::va_list peek;
    va_copy(peek, args);
    text = va_arg(peek, const char*);
    va_end(peek);
  }
  std::size_t length = 0;
  if (text != nullptr && (length = std::strlen(text)) < kLineBufferSize) {
    char line[kLineBufferSize];
    std::memcpy(line, text, length);
    line[length] = '\n';
    written = std::fwrite(line, 1, length + 1, stdout) == length + 1
                  ? static_cast<int>(length + 1)
                  : -1;
  } else {
    written = std::vprintf(format, args);
  }
  va_end(args);
  return written;
}
