#include "TypedValues.h"

#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>

#include "Arguments.h"

namespace cli {
namespace {

enum class Kind { kSigned, kUnsigned, kF32, kF64, kText };

Kind KindOf(const Display& display) {
  switch (display.format.type) {
    case TCPMODBUS_TYPE_I16:
    case TCPMODBUS_TYPE_I32:
    case TCPMODBUS_TYPE_I64:
      return Kind::kSigned;
    case TCPMODBUS_TYPE_F32:
      return Kind::kF32;
    case TCPMODBUS_TYPE_F64:
      return Kind::kF64;
    case TCPMODBUS_TYPE_STRING:
      return Kind::kText;
    default:
      return Kind::kUnsigned;
  }
}

#if defined(__GNUC__)
#define CLI_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define CLI_PRINTF_FORMAT
#endif

// A usage error of one message, formatted as printf does.
UsageError Refused(const char* format, ...) CLI_PRINTF_FORMAT;
UsageError Refused(const char* format, ...) {
  char text[512];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return UsageError(text);
}

// The range of an integer type, from the bits of its registers.
std::uint64_t UnsignedMax(const Display& display) {
  const int bits = 16 * display.registers;
  return bits >= 64 ? std::numeric_limits<std::uint64_t>::max()
                    : (std::uint64_t{1} << bits) - 1;
}
std::int64_t SignedMax(const Display& display) {
  return static_cast<std::int64_t>(UnsignedMax(display) >> 1);
}

// An optional sign, then decimal digits or 0x-hex ones: kNone when the text
// is none of these, kTooLarge when its magnitude passes 64 bits.
enum class Parsed { kNumber, kNone, kTooLarge };
Parsed ParseInteger(const std::string& text, bool* negative,
                    std::uint64_t* magnitude) {
  std::size_t at = 0;
  *negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) at = 1;
  int base = 10;
  if (text.size() > at + 2 && text[at] == '0' &&
      (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    base = 16;
    at += 2;
  }
  const char* allowed = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
  const std::string digits = text.substr(at);
  if (digits.empty() ||
      digits.find_first_not_of(allowed) != std::string::npos) {
    return Parsed::kNone;
  }
  errno = 0;
  *magnitude = std::strtoull(digits.c_str(), nullptr, base);
  return errno == ERANGE ? Parsed::kTooLarge : Parsed::kNumber;
}

std::int64_t SignedValue(const Display& display, const std::string& text) {
  bool negative = false;
  std::uint64_t magnitude = 0;
  const Parsed parsed = ParseInteger(text, &negative, &magnitude);
  if (parsed == Parsed::kNone) {
    throw Refused("VALUE '%s' is not a number (decimal or 0x-hex)",
                  text.c_str());
  }
  const std::int64_t max = SignedMax(display);
  const std::uint64_t limit = static_cast<std::uint64_t>(max) + negative;
  if (parsed == Parsed::kTooLarge || magnitude > limit) {
    throw Refused("VALUE '%s' is out of range for %s (%lld to %lld)",
                  text.c_str(), display.name.c_str(),
                  static_cast<long long>(-max - 1),
                  static_cast<long long>(max));
  }
  // -2^63 has no positive counterpart: formed from -(2^63 - 1) - 1.
  return negative ? -static_cast<std::int64_t>(magnitude - 1) - 1
                  : static_cast<std::int64_t>(magnitude);
}

std::uint64_t UnsignedValue(const Display& display, const std::string& text) {
  bool negative = false;
  std::uint64_t magnitude = 0;
  const Parsed parsed = ParseInteger(text, &negative, &magnitude);
  if (parsed == Parsed::kNone || text[0] == '+') {
    throw Refused("VALUE '%s' is not a number (decimal or 0x-hex)",
                  text.c_str());
  }
  if (parsed == Parsed::kTooLarge || (negative && magnitude != 0) ||
      magnitude > UnsignedMax(display)) {
    throw Refused("VALUE '%s' is out of range for %s (0 to %llu)", text.c_str(),
                  display.name.c_str(),
                  static_cast<unsigned long long>(UnsignedMax(display)));
  }
  return magnitude;
}

// A floating-point number read straight into its own type (an f32 never
// passes through a double): decimal, inf or nan, or 0x-hex with a binary
// exponent ("0x1.8p3"), with an optional sign.
template <typename Float>
Float FloatValue(const Display& display, const std::string& text) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::size_t at = !text.empty() && (text[0] == '-' || text[0] == '+');
  const bool hex = text.size() > at + 2 && text[at] == '0' &&
                   (text[at + 1] == 'x' || text[at + 1] == 'X');
  const char* first = text.c_str() + at + (hex ? 2 : 0);
  const char* last = text.c_str() + text.size();
  Float value{};
  const std::from_chars_result read = std::from_chars(
      first, last, value,
      hex ? std::chars_format::hex : std::chars_format::general);
  if (read.ec == std::errc::result_out_of_range) {
    throw Refused("VALUE '%s' is out of range for %s", text.c_str(),
                  display.name.c_str());
  }
  if (read.ec != std::errc() || read.ptr != last || first == last ||
      *first == '-' || *first == '+') {
    throw Refused("VALUE '%s' is not a floating-point number", text.c_str());
  }
  return negative ? -value : value;
}

template <typename Float>
std::string FloatText(Float value) {
  char text[64];
  const std::to_chars_result written =
      std::to_chars(text, text + sizeof text, value);
  return std::string(text, written.ptr);
}

std::string ValueText(const Display& display, const unsigned short* registers) {
  const tcpmodbus::ValueFormat& format = display.format;
  switch (KindOf(display)) {
    case Kind::kSigned: {
      std::int64_t value = 0;
      tcpmodbus::DecodeValue(format, registers, &value);
      return std::to_string(value);
    }
    case Kind::kUnsigned: {
      std::uint64_t value = 0;
      tcpmodbus::DecodeValue(format, registers, &value);
      return std::to_string(value);
    }
    case Kind::kF32: {
      float value = 0;
      tcpmodbus::DecodeValue(format, registers, &value);
      return FloatText(value);
    }
    case Kind::kF64: {
      double value = 0;
      tcpmodbus::DecodeValue(format, registers, &value);
      return FloatText(value);
    }
    case Kind::kText:
      break;
  }
  std::string value;
  tcpmodbus::DecodeValue(format, registers, &value);
  return Quoted(value);
}

}  // namespace

std::string Quoted(const std::string& value) {
  std::string quoted = "\"";
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

Display ParseDisplay(const std::string& type, const std::string& order) {
  Display display;
  display.typed = true;
  display.hex = type == "hex";
  display.name = type;
  const std::string wanted = display.hex ? "u16" : type;
  const std::string orderName = order.empty() ? "ABCD" : order;
  if (!tcpmodbus::ParseValueFormat(wanted, "ABCD", &display.format)) {
    throw Refused(
        "--type '%s' is not a type (u16, i16, hex, u32, i32, u64, i64, f32, f64 or string:N)",
        type.c_str());
  }
  if (!tcpmodbus::ParseValueFormat(wanted, orderName, &display.format)) {
    throw Refused("--order '%s' is not an order (ABCD, CDAB, BADC or DCBA)",
                  order.c_str());
  }
  display.registers = tcpmodbus::ValueRegisters(display.format);
  return display;
}

void AppendValue(const Display& display, const std::string& text,
                 std::vector<unsigned short>* registers) {
  std::vector<unsigned short> value(display.registers);
  const tcpmodbus::ValueFormat& format = display.format;
  bool encoded = false;
  switch (KindOf(display)) {
    case Kind::kSigned:
      encoded = EncodeValue(format, SignedValue(display, text), value.data());
      break;
    case Kind::kUnsigned:
      encoded = EncodeValue(format, UnsignedValue(display, text), value.data());
      break;
    case Kind::kF32:
      encoded =
          EncodeValue(format, FloatValue<float>(display, text), value.data());
      break;
    case Kind::kF64:
      encoded =
          EncodeValue(format, FloatValue<double>(display, text), value.data());
      break;
    case Kind::kText:
      encoded = EncodeValue(format, text, value.data());
      if (!encoded) {
        throw Refused("VALUE '%s' does not fit %s (at most %d characters)",
                      text.c_str(), display.name.c_str(),
                      2 * display.registers);
      }
      break;
  }
  if (!encoded) {
    throw Refused("VALUE '%s' is refused for %s", text.c_str(),
                  display.name.c_str());
  }
  registers->insert(registers->end(), value.begin(), value.end());
}

void PrintValues(std::FILE* stream, const Display& display, unsigned first,
                 const std::vector<unsigned short>& registers) {
  const auto width = static_cast<std::size_t>(display.registers);
  for (std::size_t at = 0; at + width <= registers.size(); at += width) {
    const unsigned address = first + static_cast<unsigned>(at);
    if (display.hex) {
      std::fprintf(stream, "%u 0x%04x\n", address, registers[at]);
      continue;
    }
    std::fprintf(stream, "%u %s", address,
                 ValueText(display, &registers[at]).c_str());
    for (std::size_t i = at; i < at + width; ++i) {
      std::fprintf(stream, " 0x%04x", registers[i]);
    }
    std::fputc('\n', stream);
  }
}

}  // namespace cli
