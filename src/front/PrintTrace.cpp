#include "front/PrintTrace.h"

#include <cstdarg>
#include <cstdio>

int PrintTrace(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const int written = std::vprintf(format, args);
  va_end(args);
  return written;
}
