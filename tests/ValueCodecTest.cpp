// The codecs of typed values (Values.h), checked against a reference written
// another way: the value's bytes taken from memory, most significant first,
// and put into registers in the order its name spells (A the most
// significant byte). The documented vectors, and the edge values of every
// type in every order, encoded and decoded back bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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
  unsigned char first;
  std::memcpy(&first, &one, 1);
  if (first == 1) std::reverse(bytes.begin(), bytes.end());
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
  std::string what;
  const char* type = "";
  Bytes bytes;  // the reference: the value, most significant byte first
  bool text = false;
  std::function<bool(const ValueFormat&, unsigned short*)> encode;
  // Decodes and compares with the value, bit for bit.
  std::function<bool(const ValueFormat&, const unsigned short*)> decodesBack;
};

// A value of `type` whose C type is Narrow, crossing the face as Wide.
template <typename Wide, typename Narrow>
Row Number(const char* type, Narrow value, std::string what = "") {
  Row row;
  row.what =
      what.empty() ? std::string(type) + " " + std::to_string(value) : what;
  row.type = type;
  row.bytes = BigEndian(value);
  row.encode = [value](const ValueFormat& format, unsigned short* registers) {
    return tcpmodbus::EncodeValue(format, static_cast<Wide>(value), registers);
  };
  row.decodesBack = [value](const ValueFormat& format,
                            const unsigned short* registers) {
    Wide decoded{};
    return tcpmodbus::DecodeValue(format, registers, &decoded) &&
           BigEndian(decoded) == BigEndian(static_cast<Wide>(value));
  };
  return row;
}

Row Text(const char* type, const std::string& text, std::size_t registers,
         const std::string& decoded) {
  Bytes bytes(text.begin(), text.end());
  bytes.resize(2 * registers, 0);
  Row row;
  row.what = type + (" \"" + text + "\"");
  row.type = type;
  row.bytes = bytes;
  row.text = true;
  row.encode = [text](const ValueFormat& format, unsigned short* out) {
    return tcpmodbus::EncodeValue(format, text, out);
  };
  row.decodesBack = [decoded](const ValueFormat& format,
                              const unsigned short* in) {
    std::string value = "unchanged";
    return tcpmodbus::DecodeValue(format, in, &value) && value == decoded;
  };
  return row;
}

constexpr const char* kOrders[][2] = {{"ABCD", "ABCDEFGH"},
                                      {"CDAB", "GHEFCDAB"},
                                      {"BADC", "BADCFEHG"},
                                      {"DCBA", "HGFEDCBA"}};

ValueFormat Format(const char* type, const char* order) {
  ValueFormat format;
  EXPECT_TRUE(tcpmodbus::ParseValueFormat(type, order, &format))
      << type << " " << order;
  return format;
}

TEST(ValueCodecTest, DocumentedVectors) {
  struct Vector {
    Row value;
    const char* order;
    Registers registers;
  };
  const std::vector<Vector> vectors = {
      {Number<float>("f32", 123456.0f), "ABCD", {0x47F1, 0x2000}},
      {Number<float>("f32", 123456.0f), "CDAB", {0x2000, 0x47F1}},
      {Number<float>("f32", 123456.0f), "BADC", {0xF147, 0x0020}},
      {Number<float>("f32", 123456.0f), "DCBA", {0x0020, 0xF147}},
      {Number<std::uint64_t>("u64", std::uint64_t{0x0102030405060708}),
       "ABCDEFGH",
       {0x0102, 0x0304, 0x0506, 0x0708}},
      {Number<std::uint64_t>("u64", std::uint64_t{0x0102030405060708}),
       "GHEFCDAB",
       {0x0708, 0x0506, 0x0304, 0x0102}},
      {Number<std::uint64_t>("u64", std::uint64_t{0x0102030405060708}),
       "BADCFEHG",
       {0x0201, 0x0403, 0x0605, 0x0807}},
      {Number<std::uint64_t>("u64", std::uint64_t{0x0102030405060708}),
       "HGFEDCBA",
       {0x0807, 0x0605, 0x0403, 0x0201}},
      {Text("string:3", "PUMP1", 3, "PUMP1"), "ABCD", {0x5055, 0x4D50, 0x3100}},
      {Text("string:3", "PUMP1", 3, "PUMP1"), "BADC", {0x5550, 0x504D, 0x0031}},
  };
  for (const Vector& vector : vectors) {
    SCOPED_TRACE(vector.value.what + " in " + vector.order);
    const ValueFormat format = Format(vector.value.type, vector.order);
    Registers registers(vector.registers.size());
    ASSERT_TRUE(vector.value.encode(format, registers.data()));
    EXPECT_EQ(registers, vector.registers);
    EXPECT_TRUE(vector.value.decodesBack(format, vector.registers.data()));
  }
}

TEST(ValueCodecTest, EveryTypeInEveryOrderAsTheReferenceSpellsIt) {
  using I64 = std::int64_t;
  using U64 = std::uint64_t;
  using Float = std::numeric_limits<float>;
  using Double = std::numeric_limits<double>;
  const std::vector<Row> rows = {
      Number<U64>("u16", std::uint16_t{0}),
      Number<U64>("u16", std::uint16_t{0xFFFF}),
      Number<U64>("u16", std::uint16_t{0x1234}),
      Number<I64>("i16", std::int16_t{-32768}),
      Number<I64>("i16", std::int16_t{32767}),
      Number<I64>("i16", std::int16_t{-2}),
      Number<U64>("u32", std::uint32_t{0xFFFFFFFF}),
      Number<U64>("u32", std::uint32_t{0x12345678}),
      Number<I64>("i32", std::numeric_limits<std::int32_t>::min()),
      Number<I64>("i32", std::numeric_limits<std::int32_t>::max()),
      Number<I64>("i32", std::int32_t{-123456789}),
      Number<U64>("u64", std::numeric_limits<U64>::max()),
      Number<I64>("i64", std::numeric_limits<I64>::min()),
      Number<I64>("i64", std::numeric_limits<I64>::max()),
      Number<I64>("i64", I64{-0x0102030405060708}),
      Number<float>("f32", -0.0f, "f32 -0.0"),
      Number<float>("f32", FromBits<float>(0x7FC12345u), "f32 NaN 0x7FC12345"),
      Number<float>("f32", FromBits<float>(0xFF800001u), "f32 NaN 0xFF800001"),
      Number<float>("f32", Float::infinity(), "f32 +inf"),
      Number<float>("f32", -Float::infinity(), "f32 -inf"),
      Number<float>("f32", Float::denorm_min(), "f32 denormal"),
      Number<float>("f32", Float::max()),
      Number<float>("f32", Float::lowest()),
      Number<double>("f64", -0.0, "f64 -0.0"),
      Number<double>("f64", FromBits<double>(0x7FF8000000012345u),
                     "f64 NaN 0x7FF8000000012345"),
      Number<double>("f64", FromBits<double>(0xFFF0000000000001u),
                     "f64 NaN 0xFFF0000000000001"),
      Number<double>("f64", Double::infinity(), "f64 +inf"),
      Number<double>("f64", -Double::infinity(), "f64 -inf"),
      Number<double>("f64", Double::denorm_min(), "f64 denormal"),
      Number<double>("f64", Double::max()),
      Number<double>("f64", 123456.789),
      Text("string:1", "", 1, ""),
      Text("string:2", "ABCD", 2, "ABCD"),  // exactly its registers
      Text("string:4", "AB C", 4, "AB C"),
      Text("string:3", "AB  ", 3, "AB"),  // trailing blanks trimmed
      Text("string:2", std::string("A\0B", 3), 2, std::string("A\0B", 3)),
      Text("string:125", std::string(250, 'x'), 125, std::string(250, 'x')),
  };
  for (const Row& row : rows) {
    for (const auto& names : kOrders) {
      const char* order =
          row.bytes.size() == 8 && !row.text ? names[1] : names[0];
      SCOPED_TRACE(row.what + " in " + order);
      const ValueFormat format = Format(row.type, order);
      const Registers expected = Spelled(row.bytes, order, row.text);
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
  struct Refused {
    const char* what;
    const char* type;
    std::function<bool(const ValueFormat&, unsigned short*)> encode;
  };
  auto encodes = [](auto value) {
    return [value](const ValueFormat& format, unsigned short* registers) {
      return tcpmodbus::EncodeValue(format, value, registers);
    };
  };
  const std::vector<Refused> rows = {
      {"u16 65536", "u16", encodes(U64{65536})},
      {"i16 32768", "i16", encodes(I64{32768})},
      {"i16 -32769", "i16", encodes(I64{-32769})},
      {"u32 2^32", "u32", encodes(U64{0x100000000})},
      {"i32 2^31", "i32", encodes(I64{0x80000000})},
      {"i32 -2^31 - 1", "i32", encodes(I64{-0x80000001LL})},
      {"a text one character too long", "string:2",
       encodes(std::string("ABCDE"))},
      {"u32 from a signed integer", "u32", encodes(I64{1})},
      {"i64 from an unsigned integer", "i64", encodes(U64{1})},
      {"f32 from a double", "f32", encodes(1.0)},
      {"f64 from a float", "f64", encodes(1.0f)},
      {"a text from a number", "string:2", encodes(1.0f)},
      {"u16 from a text", "u16", encodes(std::string("A"))},
  };
  for (const Refused& row : rows) {
    SCOPED_TRACE(row.what);
    Registers registers(4, 0x5A5A);
    EXPECT_FALSE(row.encode(Format(row.type, "ABCD"), registers.data()));
    EXPECT_EQ(registers, Registers(4, 0x5A5A));
  }
}

TEST(ValueCodecTest, FormatsAndTheirWidths) {
  struct Case {
    const char* type;
    const char* order;
    int registers;  // 0: refused
  };
  const Case cases[] = {
      {"u16", "BADC", 1},
      {"f32", "CDAB", 2},
      {"i64", "GHEFCDAB", 4},
      {"f64", "DCBA", 4},
      {"string:125", "DCBA", 125},
      {"u32", "GHEFCDAB", 0},  // eight letters name 64-bit orders only
      {"string:0", "ABCD", 0},
      {"string:126", "ABCD", 0},
      {"f16", "ABCD", 0},
      {"u16", "ABDC", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.order);
    ValueFormat format;
    format.type = -1;
    EXPECT_EQ(tcpmodbus::ParseValueFormat(c.type, c.order, &format),
              c.registers != 0);
    EXPECT_EQ(tcpmodbus::ValueRegisters(format), c.registers);
  }
  ValueFormat unknown;
  unknown.order = 4;
  EXPECT_EQ(tcpmodbus::ValueRegisters(unknown), 0);
}

}  // namespace
