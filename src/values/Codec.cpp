#include "values/Codec.h"

#include <cstring>
#include <limits>

namespace tcpmodbus {
namespace values {
namespace {

static_assert(std::numeric_limits<float>::is_iec559 && sizeof(float) == 4,
              "f32 values are the bits of an IEEE 754 binary32 float");
static_assert(std::numeric_limits<double>::is_iec559 && sizeof(double) == 8,
              "f64 values are the bits of an IEEE 754 binary64 double");

int BitsOf(Type type) { return 16 * RegisterCount({type, 0}); }

std::uint64_t MaskOf(int bits) {
  return bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
}

std::uint16_t Swapped(std::uint16_t word) {
  return static_cast<std::uint16_t>((word << 8) | (word >> 8));
}

}  // namespace

std::int64_t SignedMin(Type type) { return -SignedMax(type) - 1; }

std::int64_t SignedMax(Type type) {
  return static_cast<std::int64_t>(MaskOf(BitsOf(type) - 1));
}

std::uint64_t UnsignedMax(Type type) { return MaskOf(BitsOf(type)); }

void PutWords(std::uint64_t bits, int count, Order order,
              std::uint16_t* registers) {
  for (int word = 0; word < count; ++word) {
    const auto value =
        static_cast<std::uint16_t>(bits >> (16 * (count - 1 - word)));
    registers[SwapsWords(order) ? count - 1 - word : word] =
        SwapsBytes(order) ? Swapped(value) : value;
  }
}

std::uint64_t GetWords(const std::uint16_t* registers, int count, Order order) {
  std::uint64_t bits = 0;
  for (int word = 0; word < count; ++word) {
    const std::uint16_t value =
        registers[SwapsWords(order) ? count - 1 - word : word];
    bits = (bits << 16) | (SwapsBytes(order) ? Swapped(value) : value);
  }
  return bits;
}

Refusal EncodeSigned(Type type, Order order, std::int64_t value,
                     std::uint16_t* registers) {
  if (value < SignedMin(type) || value > SignedMax(type)) {
    return Refusal::kOutOfRange;
  }
  // Two's complement: the conversion to unsigned is exact modulo 2^64.
  PutWords(static_cast<std::uint64_t>(value), BitsOf(type) / 16, order,
           registers);
  return Refusal::kNone;
}

Refusal EncodeUnsigned(Type type, Order order, std::uint64_t value,
                       std::uint16_t* registers) {
  if (value > UnsignedMax(type)) return Refusal::kOutOfRange;
  PutWords(value, BitsOf(type) / 16, order, registers);
  return Refusal::kNone;
}

void EncodeF32(Order order, float value, std::uint16_t* registers) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutWords(bits, 2, order, registers);
}

void EncodeF64(Order order, double value, std::uint16_t* registers) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutWords(bits, 4, order, registers);
}

Refusal EncodeText(Order order, const char* text, std::size_t length, int count,
                   std::uint16_t* registers) {
  if (length > 2 * static_cast<std::size_t>(count)) return Refusal::kTooLong;
  auto byteAt = [&](std::size_t at) -> std::uint16_t {
    return at < length ? static_cast<unsigned char>(text[at]) : 0;
  };
  for (int i = 0; i < count; ++i) {
    const auto word = static_cast<std::uint16_t>(
        (byteAt(2 * static_cast<std::size_t>(i)) << 8) |
        byteAt(2 * static_cast<std::size_t>(i) + 1));
    registers[i] = SwapsBytes(order) ? Swapped(word) : word;
  }
  return Refusal::kNone;
}

std::int64_t DecodeSigned(Type type, Order order,
                          const std::uint16_t* registers) {
  const int bits = BitsOf(type);
  const std::uint64_t value = GetWords(registers, bits / 16, order);
  if ((value >> (bits - 1) & 1) == 0) return static_cast<std::int64_t>(value);
  // Negative: -(2^bits - value), formed without leaving int64's range.
  return -static_cast<std::int64_t>(~value & MaskOf(bits)) - 1;
}

std::uint64_t DecodeUnsigned(Type type, Order order,
                             const std::uint16_t* registers) {
  return GetWords(registers, BitsOf(type) / 16, order);
}

float DecodeF32(Order order, const std::uint16_t* registers) {
  const auto bits = static_cast<std::uint32_t>(GetWords(registers, 2, order));
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

double DecodeF64(Order order, const std::uint16_t* registers) {
  const std::uint64_t bits = GetWords(registers, 4, order);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::size_t DecodeText(Order order, const std::uint16_t* registers, int count,
                       char* text) {
  for (int i = 0; i < count; ++i) {
    const std::uint16_t word =
        SwapsBytes(order) ? Swapped(registers[i]) : registers[i];
    text[2 * i] = static_cast<char>(word >> 8);
    text[2 * i + 1] = static_cast<char>(word & 0xFF);
  }
  std::size_t length = 2 * static_cast<std::size_t>(count);
  while (length > 0 && (text[length - 1] == '\0' || text[length - 1] == ' ')) {
    --length;
  }
  return length;
}

}  // namespace values
}  // namespace tcpmodbus
