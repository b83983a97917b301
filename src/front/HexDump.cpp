#include "front/HexDump.h"

#include "front/PrintTrace.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// The longest line: 21 register items of five characters, and a NUL.
constexpr int kLineCapacity = 21 * 5 + 1;

// Appends `value` as "%02x " formats it: at least two lowercase digits, no
// prefix, one blank. Done by table lookup, as the trace of every exchange
// runs through here.
char* AppendItem(char* out, unsigned value) {
  int digits = 2;
  if (value > 0xfff) {
    digits = 4;
  } else if (value > 0xff) {
    digits = 3;
  }
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
    *out++ = kHexDigits[(value >> shift) & 0xf];
  }
  *out++ = ' ';
  return out;
}

template <typename Item>
void DumpItems(const Item* items, std::uint32_t count) {
  char line[kLineCapacity];
  char* end = line;
  // A 32-bit index, so that a length past 65535 still ends the loop.
  for (std::uint32_t i = 0; i < count; ++i) {
    end = AppendItem(end, items[i]);
    if (i != 0 && i % 20 == 0) {
      *end = '\0';
      PrintTrace("%s\n", line);
      end = line;
    }
  }
  *end = '\0';
  PrintTrace("%s\n", line);
}

}  // namespace

void DumpBytes(const std::uint8_t* frameBytes, std::uint32_t frameLength) {
  DumpItems(frameBytes, frameLength);
}

void DumpRegisters(const std::uint16_t* regValues, std::uint16_t regCount) {
  DumpItems(regValues, regCount);
}
