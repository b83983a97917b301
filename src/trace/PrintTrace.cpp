#include "trace/PrintTrace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tcpmodbus {
namespace {

// Room for every trace line the library writes, with much to spare; a longer
// text takes the printf path.
constexpr std::size_t kLineBufferSize = 512;

// Appends the decimal digits of `value`; false when they do not fit.
bool AppendDecimal(char*& out, const char* end, unsigned value, bool negative) {
  char digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (end - out < count + 1) return false;
  if (negative) *out++ = '-';
  while (count > 0) *out++ = digits[--count];
  return true;
}

// Formats the common trace formats, made of plain text and bare %s, %d and
// %u directives, into `line` as printf would: false (and `args` partly
// read) for anything else or when the text does not fit, and printf does the
// work instead.
bool FormatSimple(char* line, std::size_t* length, const char* format,
                  std::va_list args) {
  char* out = line;
  const char* const end = line + kLineBufferSize;
  for (const char* f = format; *f != '\0'; ++f) {
    if (*f != '%' && (f[1] == '\0' || f[1] == '%')) {
      if (out == end) return false;
      *out++ = *f;  // a lone character, such as a line's newline
      continue;
    }
    if (*f != '%') {
      // The plain text up to the next directive, in one copy.
      const char* percent = std::strchr(f, '%');
      const std::size_t size = percent != nullptr
                                   ? static_cast<std::size_t>(percent - f)
                                   : std::strlen(f);
      if (static_cast<std::size_t>(end - out) < size) return false;
      std::memcpy(out, f, size);
      out += size;
      f += size - 1;
      continue;
    }
    ++f;
    if (*f == 's') {
      const char* text = va_arg(args, const char*);
      if (text == nullptr) return false;
      const std::size_t size = std::strlen(text);
      if (static_cast<std::size_t>(end - out) < size) return false;
      std::memcpy(out, text, size);
      out += size;
    } else if (*f == 'd') {
      const int value = va_arg(args, int);
      const unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value)
                                           : static_cast<unsigned>(value);
      if (!AppendDecimal(out, end, magnitude, value < 0)) return false;
    } else if (*f == 'u') {
      if (!AppendDecimal(out, end, va_arg(args, unsigned), false)) {
        return false;
      }
    } else {
      return false;
    }
  }
  *length = static_cast<std::size_t>(out - line);
  return true;
}

}  // namespace

// Every trace text goes out in one call on the stream, so its lock is taken
// once as printf would take it. The trace lines of the exchanges use only
// %s, %d and %u; they are formatted here into the same bytes printf gives
// and written with one fwrite. Any other format goes to printf.
int PrintTrace(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list simple;
  va_copy(simple, args);
  char line[kLineBufferSize];
  std::size_t length = 0;
  const bool formatted = FormatSimple(line, &length, format, simple);
  va_end(simple);
  const int written =
      formatted ? WriteTrace(line, length) : std::vprintf(format, args);
  va_end(args);
  return written;
}

int WriteTrace(const char* text, std::size_t length) {
  return std::fwrite(text, 1, length, stdout) == length
             ? static_cast<int>(length)
             : -1;
}

}  // namespace tcpmodbus
