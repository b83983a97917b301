#include "trace/HexDump.h"

#include <cstddef>
#include <cstring>

#include "trace/PrintTrace.h"

namespace tcpmodbus {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// "%02x " of every byte value, each padded to four characters so that an
// item is copied with one four-byte move (the fourth character is
// overwritten by the next item or the line's end).
struct ByteTexts {
  char text[256][4];
};

constexpr ByteTexts MakeByteTexts() {
  ByteTexts texts = {};
  for (int value = 0; value < 256; ++value) {
    texts.text[value][0] = kHexDigits[value >> 4];
    texts.text[value][1] = kHexDigits[value & 0xf];
    texts.text[value][2] = ' ';
    texts.text[value][3] = '\0';
  }
  return texts;
}

constexpr ByteTexts kByteTexts = MakeByteTexts();

// The longest line: 21 register items of five characters and its newline,
// which also takes the spare character of the last four-byte move.
constexpr std::size_t kLineCapacity = 21 * 5 + 1;
constexpr std::uint32_t kFirstLineItems = 21;
constexpr std::uint32_t kLaterLineItems = 20;

// Appends `value` as "%02x " formats it; returns the new end.
inline char* AppendItem(char* out, std::uint8_t value) {
  std::memcpy(out, kByteTexts.text[value], 4);
  return out + 3;
}

// A register value takes two, three or four digits: "%02x " pads to two
// and never cuts.
inline char* AppendItem(char* out, std::uint16_t value) {
  if (value > 0xfff) {
    std::memcpy(out, kByteTexts.text[value >> 8], 2);
    out += 2;
  } else if (value > 0xff) {
    *out++ = kHexDigits[value >> 8];
  }
  return AppendItem(out, static_cast<std::uint8_t>(value & 0xff));
}

// Builds the items in lines: the first line ends after item 20, each later
// one after the next 20 items, and the rest (possibly nothing) is the last
// line. A 64-bit line end, so that any 32-bit length ends the loop.
// `item(i)` gives item i, a byte or a register value.
template <typename ItemAt>
void DumpItems(TraceText& text, std::uint32_t count, ItemAt item) {
  if (!text.On()) return;
  std::uint32_t i = 0;
  std::uint64_t lineEnd = kFirstLineItems;
  for (;;) {
    char* end = text.Reserve(kLineCapacity);
    const std::uint32_t stop =
        count < lineEnd ? count : static_cast<std::uint32_t>(lineEnd);
    for (; i < stop; ++i) end = AppendItem(end, item(i));
    *end++ = '\n';
    text.Commit(end);
    if (i < lineEnd) break;
    lineEnd += kLaterLineItems;
  }
}

}  // namespace

void DumpBytes(TraceText& text, const std::uint8_t* frameBytes,
               std::uint32_t frameLength) {
  DumpItems(text, frameLength,
            [frameBytes](std::uint32_t i) { return frameBytes[i]; });
}

void DumpRegisters(TraceText& text, const std::uint16_t* regValues,
                   std::uint16_t regCount) {
  DumpItems(text, regCount,
            [regValues](std::uint32_t i) { return regValues[i]; });
}

void DumpBits(TraceText& text, const std::uint8_t* bits, std::uint32_t count) {
  DumpItems(text, count, [bits](std::uint32_t i) {
    return static_cast<std::uint8_t>(bits[i] != 0 ? 1 : 0);
  });
}

}  // namespace tcpmodbus
