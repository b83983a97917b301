#include "map/PointLayout.h"

#include <cmath>

#include "map/Format.h"
#include "map/Tables.h"

namespace tcpmodbus {
namespace map {
namespace {

constexpr std::uint32_t kAddresses = 65536;
constexpr char kBit[] = "bit";

bool NameAllowed(const std::string& name) {
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == ',' || c == '=' || byte < 0x20 || byte == 0x7f) return false;
  }
  return true;
}

// Where a refusal goes: its text and the field it is about.
struct Refusal {
  std::string* error;
  PointField* field;
};

bool Refuse(const Refusal& refusal, PointField field, std::string message) {
  if (refusal.error != nullptr) *refusal.error = std::move(message);
  if (refusal.field != nullptr) *refusal.field = field;
  return false;
}

bool ResolveType(const Point& point, PointLayout* layout,
                 const Refusal& error) {
  const char* name = point.name.c_str();
  const char* table = TableName(point.table);
  if (HoldsBits(point.table)) {
    if (point.type != kBit) {
      return Refuse(
          error, PointField::kType,
          Format("point '%s': a %s holds a bit; its type is bit, not '%s'",
                 name, table, point.type.c_str()));
    }
    if (!point.order.empty() && point.order != "ABCD") {
      return Refuse(error, PointField::kOrder,
                    Format("point '%s': a bit takes no order, not '%s'", name,
                           point.order.c_str()));
    }
    layout->bit = true;
    layout->width = 1;
    return true;
  }
  if (point.type == kBit) {
    return Refuse(
        error, PointField::kType,
        Format("point '%s': %s registers hold numbers and texts, not bits",
               name, table));
  }
  if (!values::ParseType(point.type, &layout->type)) {
    return Refuse(
        error, PointField::kType,
        Format(
            "point '%s': type '%s' is not one of bit, u16, i16, u32, i32, u64, i64, f32, f64, string:N (N 1 to 125)",
            name, point.type.c_str()));
  }
  const std::string order = point.order.empty() ? "ABCD" : point.order;
  if (!values::ParseOrder(order, layout->type.type, &layout->order)) {
    return Refuse(
        error, PointField::kOrder,
        Format(
            "point '%s': order '%s' is not one of ABCD, CDAB, BADC, DCBA (for 64-bit types also ABCDEFGH, GHEFCDAB, BADCFEHG, HGFEDCBA)",
            name, order.c_str()));
  }
  layout->width =
      static_cast<std::uint32_t>(values::RegisterCount(layout->type));
  return true;
}

}  // namespace

bool ResolvePoint(const Point& point, PointLayout* layout, std::string* text,
                  PointField* field) {
  const Refusal error{text, field};
  const char* name = point.name.c_str();
  if (point.name.empty())
    return Refuse(error, PointField::kName, "a point needs a name");
  if (!NameAllowed(point.name)) {
    return Refuse(
        error, PointField::kName,
        Format(
            "point '%s': a name holds no comma, equals sign or control character",
            name));
  }
  if (TableName(point.table)[0] == '\0') {
    return Refuse(
        error, PointField::kTable,
        Format(
            "point '%s': table %d is not one of coil, discrete, holding, input",
            name, static_cast<int>(point.table)));
  }
  PointLayout resolved;
  resolved.table = point.table;
  resolved.start = point.address;
  if (!ResolveType(point, &resolved, error)) return false;
  if (resolved.start + resolved.width > kAddresses) {
    return Refuse(
        error, PointField::kAddress,
        Format("point '%s': %s from address %u goes past address 65535", name,
               point.type.c_str(), static_cast<unsigned>(point.address)));
  }
  if (point.scale) {
    const bool number =
        !resolved.bit && resolved.type.type != values::Type::kString;
    if (!number) {
      return Refuse(error, PointField::kScale,
                    Format("point '%s': a scale goes with numbers, not with %s",
                           name, point.type.c_str()));
    }
    if (!std::isfinite(*point.scale) || *point.scale == 0) {
      return Refuse(
          error, PointField::kScale,
          Format("point '%s': scale %g is not a finite number other than 0",
                 name, *point.scale));
    }
    resolved.scale = point.scale;
  }
  *layout = resolved;
  return true;
}

PointLayout LayoutOf(const Point& point) {
  PointLayout layout;
  ResolvePoint(point, &layout, nullptr);
  return layout;
}

}  // namespace map
}  // namespace tcpmodbus
