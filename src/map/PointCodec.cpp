#include "map/PointCodec.h"

#include <cmath>
#include <cstdint>

#include "map/Format.h"
#include "values/Codec.h"

namespace tcpmodbus {
namespace map {
namespace {

using values::Kind;
using values::Refusal;

// The value as a number, for a numeric point; false for a text or a bit.
bool NumberOf(const PointValue& value, double* real) {
  if (const auto* held = std::get_if<double>(&value)) {
    *real = *held;
  } else if (const auto* held = std::get_if<std::int64_t>(&value)) {
    *real = static_cast<double>(*held);
  } else if (const auto* held = std::get_if<std::uint64_t>(&value)) {
    *real = static_cast<double>(*held);
  } else {
    return false;
  }
  return true;
}

// An integer type's registers from a value given as an integer, or, when
// `real` is not null, from the nearest integer to it (a scaled point's raw
// value, a whole number given as a float); false when the type cannot hold
// it.
bool EncodeInteger(const PointLayout& layout, const PointValue& given,
                   const double* real, std::uint16_t* registers) {
  bool negative = false;
  std::int64_t below = 0;   // the value when negative
  std::uint64_t above = 0;  // and when not
  if (real != nullptr) {
    const double rounded = std::nearbyint(*real);
    if (!(rounded >= -std::ldexp(1.0, 63) && rounded < std::ldexp(1.0, 64))) {
      return false;
    }
    negative = rounded < 0;
    if (negative) {
      below = static_cast<std::int64_t>(rounded);
    } else {
      above = static_cast<std::uint64_t>(rounded);
    }
  } else if (const auto* integer = std::get_if<std::int64_t>(&given)) {
    negative = *integer < 0;
    below = *integer;
    above = negative ? 0 : static_cast<std::uint64_t>(*integer);
  } else {
    above = std::get<std::uint64_t>(given);
  }
  const values::Type type = layout.type.type;
  if (values::KindOf(type) == Kind::kSigned) {
    if (!negative && above > static_cast<std::uint64_t>(INT64_MAX)) {
      return false;
    }
    const std::int64_t value =
        negative ? below : static_cast<std::int64_t>(above);
    return values::EncodeSigned(type, layout.order, value, registers) ==
           Refusal::kNone;
  }
  return !negative && values::EncodeUnsigned(type, layout.order, above,
                                             registers) == Refusal::kNone;
}

}  // namespace

PointValue DecodeRegisters(const PointLayout& layout,
                           const std::uint16_t* registers) {
  const values::Type type = layout.type.type;
  const values::Order order = layout.order;
  PointValue value;
  switch (values::KindOf(type)) {
    case Kind::kSigned:
      value = values::DecodeSigned(type, order, registers);
      break;
    case Kind::kUnsigned:
      value = values::DecodeUnsigned(type, order, registers);
      break;
    case Kind::kF32:
      value = static_cast<double>(values::DecodeF32(order, registers));
      break;
    case Kind::kF64:
      value = values::DecodeF64(order, registers);
      break;
    case Kind::kText: {
      std::string text(2 * static_cast<std::size_t>(layout.width), '\0');
      text.resize(values::DecodeText(order, registers,
                                     static_cast<int>(layout.width), &text[0]));
      return text;
    }
  }
  double real = 0;
  if (!layout.scale || !NumberOf(value, &real)) return value;
  return real * *layout.scale;
}

bool EncodeRegisters(const PointLayout& layout, const std::string& name,
                     const PointValue& given,
                     std::vector<std::uint16_t>* registers,
                     std::string* error) {
  const std::string type = values::TypeName(layout.type);
  registers->assign(layout.width, 0);
  const Kind kind = values::KindOf(layout.type.type);
  if (kind == Kind::kText) {
    const auto* text = std::get_if<std::string>(&given);
    if (text == nullptr) {
      *error =
          Format("point '%s': %s takes a text", name.c_str(), type.c_str());
      return false;
    }
    if (values::EncodeText(layout.order, text->data(), text->size(),
                           static_cast<int>(layout.width),
                           registers->data()) != Refusal::kNone) {
      *error = Format(
          "point '%s': a text of %u characters does not fit %s (at most %u)",
          name.c_str(), static_cast<unsigned>(text->size()), type.c_str(),
          2 * layout.width);
      return false;
    }
    return true;
  }
  double real = 0;
  if (!NumberOf(given, &real)) {
    *error =
        Format("point '%s': %s takes a number", name.c_str(), type.c_str());
    return false;
  }
  // A scaled point's registers hold the value before scaling.
  const bool scaled = layout.scale.has_value();
  if (scaled) real /= *layout.scale;
  bool fits = true;
  if (kind == Kind::kF32) {
    // A finite value beyond f32's range would become an infinity.
    const auto narrow = static_cast<float>(real);
    fits = !std::isfinite(real) || std::isfinite(narrow);
    values::EncodeF32(layout.order, narrow, registers->data());
  } else if (kind == Kind::kF64) {
    values::EncodeF64(layout.order, real, registers->data());
  } else {
    const bool rounded = scaled || std::holds_alternative<double>(given);
    fits = EncodeInteger(layout, given, rounded ? &real : nullptr,
                         registers->data());
  }
  if (!fits) {
    *error = Format("point '%s': %s does not fit %s", name.c_str(),
                    ValueText(given).c_str(), type.c_str());
  }
  return fits;
}

bool EncodeBit(const std::string& name, const PointValue& value, bool* on,
               std::string* error) {
  if (const auto* bit = std::get_if<bool>(&value)) {
    *on = *bit;
    return true;
  }
  const auto* large = std::get_if<std::uint64_t>(&value);
  const auto* integer = std::get_if<std::int64_t>(&value);
  if ((large != nullptr && *large <= 1) ||
      (integer != nullptr && (*integer == 0 || *integer == 1))) {
    *on = large != nullptr ? *large == 1 : *integer == 1;
    return true;
  }
  *error = Format("point '%s': a bit is 0 or 1, not %s", name.c_str(),
                  ValueText(value).c_str());
  return false;
}

}  // namespace map
}  // namespace tcpmodbus
