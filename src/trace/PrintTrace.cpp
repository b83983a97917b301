#include "trace/PrintTrace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace tcpmodbus {
namespace {

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
// %u directives, into `line` (`room` characters) as printf would: false (and
// `args` partly read) for anything else or when the text does not fit, and
// vsnprintf does the work instead.
bool FormatSimple(char* line, std::size_t room, std::size_t* length,
                  const char* format, std::va_list args) {
  char* out = line;
  const char* const end = line + room;
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

// Formats into `out` (`room` characters and a NUL): the length written, or
// -1 when the text does not fit.
long FormatInto(char* out, std::size_t room, const char* format,
                std::va_list args) {
  std::va_list simple;
  va_copy(simple, args);
  std::size_t length = 0;
  const bool formatted = FormatSimple(out, room, &length, format, simple);
  va_end(simple);
  if (formatted) return static_cast<long>(length);
  std::va_list full;
  va_copy(full, args);
  const int size = std::vsnprintf(out, room + 1, format, full);
  va_end(full);
  return size >= 0 && static_cast<std::size_t>(size) <= room ? size : -1;
}

}  // namespace

TraceText::TraceText(const TraceOutput& output)
    : output_(output), on_(output.On()) {}

TraceText::~TraceText() noexcept(false) { Flush(); }

void TraceText::Printf(const char* format, ...) {
  if (!on_) return;
  std::va_list args;
  va_start(args, format);
  Vprintf(format, args);
  va_end(args);
}

void TraceText::Vprintf(const char* format, std::va_list args) {
  if (!on_) return;
  long written =
      FormatInto(text_ + length_, kCapacity - 1 - length_, format, args);
  if (written < 0 && length_ > 0) {
    Flush();
    written = FormatInto(text_, kCapacity - 1, format, args);
  }
  if (written >= 0) {
    length_ += static_cast<std::size_t>(written);
    return;
  }
  // Longer than the whole buffer (no line of an exchange is): formatted on
  // the heap and handed over by itself.
  std::va_list measure;
  va_copy(measure, args);
  const int size = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (size < 0) return;
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, args);
  output_.Write(text.c_str(), static_cast<std::size_t>(size));
}

char* TraceText::Reserve(std::size_t size) {
  if (kCapacity - 1 - length_ < size) Flush();
  return text_ + length_;
}

void TraceText::Commit(const char* end) {
  length_ = static_cast<std::size_t>(end - text_);
}

void TraceText::Flush() {
  if (length_ == 0) return;
  text_[length_] = '\0';
  output_.Write(text_, length_);
  length_ = 0;
}

void PrintTrace(const TraceOutput& output, const char* format, ...) {
  TraceText text(output);
  if (!text.On()) return;
  std::va_list args;
  va_start(args, format);
  text.Vprintf(format, args);
  va_end(args);
}

}  // namespace tcpmodbus
