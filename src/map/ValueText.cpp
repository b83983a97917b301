// Values as text: the exact text of a value read, and a value to write read
// from text (the command line's NAME=VALUE, the C interface's writes).
#include <charconv>
#include <type_traits>

#include "map/Format.h"
#include "map/PointLayout.h"
#include "tcpmodbus/DeviceMap.h"

namespace tcpmodbus {
namespace {

std::string RealText(double value) {
  // The shortest text that reads back as the same double.
  char buffer[64];
  const std::to_chars_result result =
      std::to_chars(buffer, buffer + sizeof(buffer), value);
  return std::string(buffer, result.ptr);
}

// A number with a fraction or an exponent: never an integer's text, which
// stays refused when out of range rather than rounded into it.
bool IsFloatingNotation(const std::string& text) {
  const bool hex = text.find_first_of("xX") != std::string::npos;
  return !hex && text.find_first_of(".eE") != std::string::npos;
}

}  // namespace

std::string ValueText(const PointValue& value) {
  return std::visit(
      [](const auto& held) -> std::string {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<Held, std::monostate>) {
          return "";
        } else if constexpr (std::is_same_v<Held, bool>) {
          return held ? "1" : "0";
        } else if constexpr (std::is_same_v<Held, double>) {
          return RealText(held);
        } else if constexpr (std::is_same_v<Held, std::string>) {
          return held;
        } else {
          return std::to_string(held);
        }
      },
      value);
}

bool ParseValue(const Point& point, const std::string& text, PointValue* value,
                std::string* error) {
  map::PointLayout layout;
  if (!map::ResolvePoint(point, &layout, error)) return false;
  bool parsed = false;
  if (layout.bit) {
    parsed = text == "0" || text == "1";
    if (parsed) *value = text == "1";
  } else if (layout.type.type == values::Type::kString) {
    *value = text;
    parsed = true;
  } else if (layout.scale || layout.type.type == values::Type::kF32 ||
             layout.type.type == values::Type::kF64 ||
             IsFloatingNotation(text)) {
    // An integer type takes a floating value too, rounded when it is
    // written, as the C++ face takes a double.
    double real = 0;
    parsed = map::ParseReal(text, &real);
    if (parsed) *value = real;
  } else if (!text.empty() && text[0] == '-') {
    std::int64_t integer = 0;
    parsed = map::ParseSigned(text, &integer);
    if (parsed) *value = integer;
  } else {
    std::uint64_t integer = 0;
    parsed = map::ParseUnsigned(text, UINT64_MAX, &integer);
    if (parsed) *value = integer;
  }
  if (!parsed && error != nullptr) {
    *error = map::Format("point '%s': '%s' is not a value of type %s",
                         point.name.c_str(), text.c_str(), point.type.c_str());
  }
  return parsed;
}

}  // namespace tcpmodbus
