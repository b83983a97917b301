#include "map/Format.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <system_error>
#include <vector>

namespace tcpmodbus {
namespace map {

std::string Format(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (length > 0) {
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    text.assign(buffer.data(), static_cast<std::size_t>(length));
  }
  va_end(again);
  return text;
}

bool ParseUnsigned(const std::string& text, std::uint64_t largest,
                   std::uint64_t* value) {
  const bool hex =
      text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* first = text.data() + (hex ? 2 : 0);
  const char* last = text.data() + text.size();
  if (first == last) return false;
  std::uint64_t parsed = 0;
  const std::from_chars_result result =
      std::from_chars(first, last, parsed, hex ? 16 : 10);
  if (result.ec != std::errc() || result.ptr != last || parsed > largest) {
    return false;
  }
  *value = parsed;
  return true;
}

bool ParseSigned(const std::string& text, std::int64_t* value) {
  if (text.empty() || text[0] != '-') {
    std::uint64_t magnitude = 0;
    if (!ParseUnsigned(text, INT64_MAX, &magnitude)) return false;
    *value = static_cast<std::int64_t>(magnitude);
    return true;
  }
  std::int64_t parsed = 0;
  const char* last = text.data() + text.size();
  const std::from_chars_result result =
      std::from_chars(text.data(), last, parsed, 10);
  if (result.ec != std::errc() || result.ptr != last) return false;
  *value = parsed;
  return true;
}

bool ParseReal(const std::string& text, double* value) {
  // from_chars takes no leading '+'; a number written with one is still
  // a number.
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') {
    ++first;
    if (first == last || *first == '-' || *first == '+') return false;
  }
  double parsed = 0;
  const std::from_chars_result result = std::from_chars(first, last, parsed);
  if (result.ec != std::errc() || result.ptr != last) return false;
  *value = parsed;
  return true;
}

}  // namespace map
}  // namespace tcpmodbus
