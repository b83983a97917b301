#include "values/ValueType.h"

#include <cstdio>
#include <cstdlib>

namespace tcpmodbus {
namespace values {
namespace {

struct NamedType {
  const char* name;
  Type type;
  int registers;
};

constexpr NamedType kTypes[] = {
    {"u16", Type::kU16, 1}, {"i16", Type::kI16, 1}, {"u32", Type::kU32, 2},
    {"i32", Type::kI32, 2}, {"u64", Type::kU64, 4}, {"i64", Type::kI64, 4},
    {"f32", Type::kF32, 2}, {"f64", Type::kF64, 4},
};

constexpr char kStringPrefix[] = "string:";
// The most registers one read request can take.
constexpr int kMaxStringRegisters = TCPMODBUS_MAX_STRING_REGISTERS;

struct NamedOrder {
  Order order;
  const char* name;
  const char* wideName;  // the same choice over four words
};

constexpr NamedOrder kOrders[] = {
    {Order::kABCD, "ABCD", "ABCDEFGH"},
    {Order::kCDAB, "CDAB", "GHEFCDAB"},
    {Order::kBADC, "BADC", "BADCFEHG"},
    {Order::kDCBA, "DCBA", "HGFEDCBA"},
};

bool IsWide(Type type) {
  return type == Type::kU64 || type == Type::kI64 || type == Type::kF64;
}

}  // namespace

Kind KindOf(Type type) {
  switch (type) {
    case Type::kI16:
    case Type::kI32:
    case Type::kI64:
      return Kind::kSigned;
    case Type::kU16:
    case Type::kU32:
    case Type::kU64:
      return Kind::kUnsigned;
    case Type::kF32:
      return Kind::kF32;
    case Type::kF64:
      return Kind::kF64;
    case Type::kString:
      break;
  }
  return Kind::kText;
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::kSigned:
      return "a signed integer";
    case Kind::kUnsigned:
      return "an unsigned integer";
    case Kind::kF32:
      return "a float";
    case Kind::kF64:
      return "a double";
    case Kind::kText:
      break;
  }
  return "a text";
}

bool TypeOfNumbers(int number, int stringRegisters, ValueType* type) {
  if (number == TCPMODBUS_TYPE_STRING) {
    if (stringRegisters < 1 || stringRegisters > kMaxStringRegisters) {
      return false;
    }
    *type = {Type::kString, static_cast<std::uint16_t>(stringRegisters)};
    return true;
  }
  for (const NamedType& named : kTypes) {
    if (static_cast<int>(named.type) == number) {
      *type = {named.type, 0};
      return true;
    }
  }
  return false;
}

bool OrderOfNumber(int number, Order* order) {
  for (const NamedOrder& named : kOrders) {
    if (static_cast<int>(named.order) == number) {
      *order = named.order;
      return true;
    }
  }
  return false;
}

int RegisterCount(const ValueType& type) {
  if (type.type == Type::kString) return type.stringRegisters;
  for (const NamedType& named : kTypes) {
    if (named.type == type.type) return named.registers;
  }
  return 0;
}

bool ParseType(const std::string& text, ValueType* type) {
  for (const NamedType& named : kTypes) {
    if (text == named.name) {
      *type = {named.type, 0};
      return true;
    }
  }
  const std::string prefix = kStringPrefix;
  if (text.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string digits = text.substr(prefix.size());
  if (digits.empty() || digits.size() > 3 ||
      digits.find_first_not_of("0123456789") != std::string::npos ||
      digits[0] == '0') {
    return false;
  }
  const int registers = std::atoi(digits.c_str());
  if (registers > kMaxStringRegisters) return false;
  *type = {Type::kString, static_cast<std::uint16_t>(registers)};
  return true;
}

std::string TypeName(const ValueType& type) {
  if (type.type == Type::kString) {
    // Not std::to_string: its inline table of digits would leave the shared
    // library as an exported unique symbol.
    char name[sizeof kStringPrefix + 8];
    std::snprintf(name, sizeof name, "%s%u", kStringPrefix,
                  static_cast<unsigned>(type.stringRegisters));
    return name;
  }
  for (const NamedType& named : kTypes) {
    if (named.type == type.type) return named.name;
  }
  return "";
}

bool ParseOrder(const std::string& text, Type type, Order* order) {
  for (const NamedOrder& named : kOrders) {
    if (text == named.name || (IsWide(type) && text == named.wideName)) {
      *order = named.order;
      return true;
    }
  }
  return false;
}

const char* OrderName(Order order, Type type) {
  for (const NamedOrder& named : kOrders) {
    if (named.order == order) return IsWide(type) ? named.wideName : named.name;
  }
  return "";
}

}  // namespace values
}  // namespace tcpmodbus
