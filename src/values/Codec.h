// Typed values and the registers that hold them: pure functions from a value
// to its registers in an order, and back, exact for every type. The bits of
// a float are copied, never converted, so NaN payloads, infinities, -0.0
// and denormals come back bit for bit; an integer is refused, never cut,
// when its type cannot hold it.
//
// Each function takes a type of its kind (KindOf) and as many registers as
// the type takes (RegisterCount); the callers check both.
#ifndef TCPMODBUS_VALUES_CODEC_H_
#define TCPMODBUS_VALUES_CODEC_H_

#include <cstddef>
#include <cstdint>

#include "values/ValueType.h"

namespace tcpmodbus {
namespace values {

// Why a value was refused; kNone when it was encoded.
enum class Refusal : std::uint8_t { kNone, kOutOfRange, kTooLong };

// The range of a signed type, and of an unsigned one.
std::int64_t SignedMin(Type type);
std::int64_t SignedMax(Type type);
std::uint64_t UnsignedMax(Type type);

// The low 16 * `count` bits of `bits` in `count` registers (1, 2 or 4),
// their most significant word first unless `order` swaps the words, and
// each word's high byte first unless it swaps the bytes.
void PutWords(std::uint64_t bits, int count, Order order,
              std::uint16_t* registers);
std::uint64_t GetWords(const std::uint16_t* registers, int count, Order order);

Refusal EncodeSigned(Type type, Order order, std::int64_t value,
                     std::uint16_t* registers);
Refusal EncodeUnsigned(Type type, Order order, std::uint64_t value,
                       std::uint16_t* registers);
void EncodeF32(Order order, float value, std::uint16_t* registers);
void EncodeF64(Order order, double value, std::uint16_t* registers);
// `length` characters of `text` in `count` registers, two a register, the
// rest NUL; kTooLong when they take more than `count` registers. Strings
// take only the byte choice of `order`: the first character goes into the
// high byte unless it swaps the bytes.
Refusal EncodeText(Order order, const char* text, std::size_t length, int count,
                   std::uint16_t* registers);

std::int64_t DecodeSigned(Type type, Order order,
                          const std::uint16_t* registers);
std::uint64_t DecodeUnsigned(Type type, Order order,
                             const std::uint16_t* registers);
float DecodeF32(Order order, const std::uint16_t* registers);
double DecodeF64(Order order, const std::uint16_t* registers);
// The characters of `count` registers into `text` (room for 2 * `count`),
// trailing NUL and blank characters trimmed: returns how many are left.
std::size_t DecodeText(Order order, const std::uint16_t* registers, int count,
                       char* text);

}  // namespace values
}  // namespace tcpmodbus

#endif  // TCPMODBUS_VALUES_CODEC_H_
