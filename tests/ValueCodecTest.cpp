// The codecs of typed values (Values.h), checked against a reference written
// another way: the value's bytes taken from memory, most significant first,
// and put into registers in the order its name spells (A the most
// significant byte). The edge values of every type in every order, encoded
// and decoded back bit for bit, the documented vectors among them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tcpmodbus/Values.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Registers = std::vector<unsigned short>;
using tcpmodbus::ValueFormat;

template <typename T>
Bytes BigEndian(T value) {
  Bytes bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  const std::uint16_t one = 1;
  if (*reinterpret_cast<const unsigned char*>(&one) == 1) {
    std::reverse(bytes.begin(), bytes.end());
  }
  return bytes;
}

template <typename T, typename Bits>
T FromBits(Bits bits) {
  static_assert(sizeof(T) == sizeof(Bits), "the same width");
  T value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// The registers the order's name spells. A value of one register and a text
// take the byte choice alone: the name's first two letters, AB or BA, in
// every register.
Registers Spelled(const Bytes& bytes, const std::string& name, bool text) {
  Registers registers;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    std::size_t high = i, low = i + 1;
    if (bytes.size() == 2 || text) {
      if (name[0] > name[1]) std::swap(high, low);
    } else {
      high = static_cast<std::size_t>(name[i] - 'A');
      low = static_cast<std::size_t>(name[i + 1] - 'A');
    }
    registers.push_back(
        static_cast<unsigned short>(bytes[high] << 8 | bytes[low]));
  }
  return registers;
}

struct Row {
  const char* type;
  Bytes bytes;  // the reference: the value, most significant byte first
  bool text;
  std::function<bool(const ValueFormat&, unsigned short*)> encode;
  // Decodes and compares with the value, bit for bit.
  std::function<bool(const ValueFormat&, const unsigned short*)> decodesBack;
  // The documented vectors, in ABCD, CDAB, BADC and DCBA; empty for none.
  std::vector<Registers> documented = {};
};

// A value of `type` whose C type is Narrow, crossing the face as Wide.
template <typename Wide, typename Narrow>
Row Number(const char* type, Narrow value,
           std::vector<Registers> documented = {}) {
  auto encode = [value](const ValueFormat& format, unsigned short* out) {
    return tcpmodbus::EncodeValue(format, static_cast<Wide>(value), out);
  };
  auto decodesBack = [value](const ValueFormat& format,
                             const unsigned short* in) {
    Wide decoded{};
    return tcpmodbus::DecodeValue(format, in, &decoded) &&
           BigEndian(decoded) == BigEndian(static_cast<Wide>(value));
  };
  return {type, BigEndian(value), false, encode, decodesBack, documented};
}

Row Text(const char* type, const std::string& text, std::size_t registers,
         const std::string& decoded, std::vector<Registers> documented = {}) {
  Bytes bytes(text.begin(), text.end());
  bytes.resize(2 * registers, 0);
  auto encode = [text](const ValueFormat& format, unsigned short* out) {
    return tcpmodbus::EncodeValue(format, text, out);
  };
  auto decodesBack = [decoded](const ValueFormat& format,
                               const unsigned short* in) {
    std::string value = "unchanged";
    return tcpmodbus::DecodeValue(format, in, &value) && value == decoded;
  };
  return {type, bytes, true, encode, decodesBack, documented};
}

ValueFormat Format(const char* type, const char* order) {
  ValueFormat format;
  EXPECT_TRUE(tcpmodbus::ParseValueFormat(type, order, &format));
  return format;
}

TEST(ValueCodecTest, EveryTypeInEveryOrderAsTheReferenceSpellsIt) {
  using I64 = std::int64_t;
  using U64 = std::uint64_t;
  using Float = std::numeric_limits<float>;
  using Double = std::numeric_limits<double>;
  const std::vector<Row> rows = {
      Number<float>("f32", 123456.0f,
                    {{0x47F1, 0x2000},
                     {0x2000, 0x47F1},
                     {0xF147, 0x0020},
                     {0x0020, 0xF147}}),
      Number<U64>("u64", U64{0x0102030405060708},
                  {{0x0102, 0x0304, 0x0506, 0x0708},
                   {0x0708, 0x0506, 0x0304, 0x0102},
                   {0x0201, 0x0403, 0x0605, 0x0807},
                   {0x0807, 0x0605, 0x0403, 0x0201}}),
      Text("string:3", "PUMP1", 3, "PUMP1",
           {{0x5055, 0x4D50, 0x3100},
            {0x5055, 0x4D50, 0x3100},
            {0x5550, 0x504D, 0x0031},
            {0x5550, 0x504D, 0x0031}}),
      Number<U64>("u16", std::uint16_t{0}),
      Number<U64>("u16", std::uint16_t{0xFFFF}),
      Number<I64>("i16", std::int16_t{-32768}),
      Number<I64>("i16", std::int16_t{32767}),
      Number<U64>("u32", std::uint32_t{0xFFFFFFFF}),
      Number<I64>("i32", std::numeric_limits<std::int32_t>::min()),
      Number<I64>("i32", std::numeric_limits<std::int32_t>::max()),
      Number<U64>("u64", std::numeric_limits<U64>::max()),
      Number<I64>("i64", std::numeric_limits<I64>::min()),
      Number<I64>("i64", std::numeric_limits<I64>::max()),
      Number<float>("f32", -0.0f),
      Number<float>("f32", FromBits<float>(0x7FC12345u)),  // NaN, payload
      Number<float>("f32", FromBits<float>(0xFF800001u)),  // signalling NaN
      Number<float>("f32", Float::infinity()),
      Number<float>("f32", -Float::infinity()),
      Number<float>("f32", Float::denorm_min()),
      Number<float>("f32", Float::max()),
      Number<double>("f64", -0.0),
      Number<double>("f64", FromBits<double>(0x7FF8000000012345u)),
      Number<double>("f64", FromBits<double>(0xFFF0000000000001u)),
      Number<double>("f64", Double::infinity()),
      Number<double>("f64", -Double::infinity()),
      Number<double>("f64", Double::denorm_min()),
      Text("string:1", "", 1, ""),
      Text("string:2", "ABCD", 2, "ABCD"),  // exactly its registers
      Text("string:3", "AB  ", 3, "AB"),    // trailing blanks trimmed
      Text("string:2", std::string("A\0B", 3), 2, std::string("A\0B", 3)),
      Text("string:125", std::string(250, 'x'), 125, std::string(250, 'x')),
  };
  constexpr const char* kOrders[][2] = {{"ABCD", "ABCDEFGH"},
                                        {"CDAB", "GHEFCDAB"},
                                        {"BADC", "BADCFEHG"},
                                        {"DCBA", "HGFEDCBA"}};
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < 4; ++i) {
      const char* order = kOrders[i][row.bytes.size() == 8 && !row.text];
      Registers expected = Spelled(row.bytes, order, row.text);
      SCOPED_TRACE(std::string(row.type) + " " +
                   testing::PrintToString(row.bytes) + " in " + order);
      if (i < row.documented.size()) {
        EXPECT_EQ(expected, row.documented[i]);
      }
      const ValueFormat format = Format(row.type, order);
      ASSERT_EQ(tcpmodbus::ValueRegisters(format),
                static_cast<int>(expected.size()));
      Registers registers(expected.size(), 0x5A5A);
      ASSERT_TRUE(row.encode(format, registers.data()));
      EXPECT_EQ(registers, expected);
      EXPECT_TRUE(row.decodesBack(format, expected.data()));
    }
  }
}

TEST(ValueCodecTest, RefusesWhatItsTypeCannotHoldAndWritesNothing) {
  using I64 = std::int64_t;
  using U64 = std::uint64_t;
  auto encodes = [](auto value) {
    return [value](const ValueFormat& format, unsigned short* registers) {
      return tcpmodbus::EncodeValue(format, value, registers);
    };
  };
  const std::vector<std::pair<
      const char*, std::function<bool(const ValueFormat&, unsigned short*)>>>
      rows = {
          {"u16", encodes(U64{65536})},
          {"i16", encodes(I64{32768})},
          {"i16", encodes(I64{-32769})},
          {"u32", encodes(U64{0x100000000})},
          {"i32", encodes(I64{-0x80000001LL})},
          {"string:2", encodes(std::string("ABCDE"))},
          {"u32", encodes(I64{1})},  // a value of another kind
          {"i64", encodes(U64{1})},
          {"f32", encodes(1.0)},
          {"f64", encodes(1.0f)},
          {"u16", encodes(std::string("A"))},
      };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    Registers registers(4, 0x5A5A);
    EXPECT_FALSE(
        rows[i].second(Format(rows[i].first, "ABCD"), registers.data()));
    EXPECT_EQ(registers, Registers(4, 0x5A5A));
  }
}

}  // namespace
