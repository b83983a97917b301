// The type of a typed value and the order of its bytes in the registers
// that hold it: what the codecs, the typed reads and writes and the device
// map share. The numbers are the TCPMODBUS_TYPE_* and TCPMODBUS_ORDER_*
// constants of tcpmodbus.h; the names are the ones every face takes ("f32",
// "string:8", "CDAB").
#ifndef TCPMODBUS_VALUES_VALUETYPE_H_
#define TCPMODBUS_VALUES_VALUETYPE_H_

#include <cstdint>
#include <string>

#include "tcpmodbus/tcpmodbus.h"

namespace tcpmodbus {
namespace values {

enum class Type : std::uint8_t {
  kU16 = TCPMODBUS_TYPE_U16,
  kI16 = TCPMODBUS_TYPE_I16,
  kU32 = TCPMODBUS_TYPE_U32,
  kI32 = TCPMODBUS_TYPE_I32,
  kU64 = TCPMODBUS_TYPE_U64,
  kI64 = TCPMODBUS_TYPE_I64,
  kF32 = TCPMODBUS_TYPE_F32,
  kF64 = TCPMODBUS_TYPE_F64,
  kString = TCPMODBUS_TYPE_STRING,
};

// Where a value's bytes go: whether its words are swapped, and whether the
// two bytes of each register are.
enum class Order : std::uint8_t {
  kABCD = TCPMODBUS_ORDER_ABCD,
  kCDAB = TCPMODBUS_ORDER_CDAB,
  kBADC = TCPMODBUS_ORDER_BADC,
  kDCBA = TCPMODBUS_ORDER_DCBA,
};

inline bool SwapsWords(Order order) {
  return order == Order::kCDAB || order == Order::kDCBA;
}
inline bool SwapsBytes(Order order) {
  return order == Order::kBADC || order == Order::kDCBA;
}

// The C type a value of a type crosses the interfaces in: tcpmodbus_int64,
// tcpmodbus_uint64, float, double, or characters.
enum class Kind : std::uint8_t { kSigned, kUnsigned, kF32, kF64, kText };
Kind KindOf(Type type);
// The name of a kind in messages: "a signed integer", "a text", ...
const char* KindName(Kind kind);

// A type with its width: a string's registers are its own, every other
// type's follow from the type.
struct ValueType {
  Type type = Type::kU16;
  std::uint16_t stringRegisters = 0;  // kString only: 1 or more
};

// The registers a value of `type` takes: 1, 2 or 4, a string's own count.
int RegisterCount(const ValueType& type);

// The type of a TCPMODBUS_TYPE_* number with the registers a string takes
// (ignored for the other types): false for another number, and for a string
// of 0 or more than TCPMODBUS_MAX_STRING_REGISTERS registers.
bool TypeOfNumbers(int number, int stringRegisters, ValueType* type);
// The order of a TCPMODBUS_ORDER_* number; false for another number.
bool OrderOfNumber(int number, Order* order);

// Reads a type's name: "u16", "i16", "u32", "i32", "u64", "i64", "f32",
// "f64", or "string:N" with N from 1 to TCPMODBUS_MAX_STRING_REGISTERS.
// False for any other text.
bool ParseType(const std::string& text, ValueType* type);
// The name ParseType reads.
std::string TypeName(const ValueType& type);

// Reads an order's name: ABCD, CDAB, BADC, DCBA for every type, and for
// 64-bit types also ABCDEFGH, GHEFCDAB, BADCFEHG and HGFEDCBA. False for any
// other text, and for an eight-letter name with a type that is not 64 bits
// wide.
bool ParseOrder(const std::string& text, Type type, Order* order);
// The order's name for `type`: the eight-letter one for 64-bit types.
const char* OrderName(Order order, Type type);

}  // namespace values
}  // namespace tcpmodbus

#endif  // TCPMODBUS_VALUES_VALUETYPE_H_
