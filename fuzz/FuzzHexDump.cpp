// Fuzzes the hex dumps of the console trace over any input, and compares
// what they print with the same dump made by printf's own "%02x ".
//
// Byte 0 picks DumpBytes (even) or DumpRegisters (odd); the rest is the data,
// as bytes or as big-endian 16-bit values. Standard output goes to a memory
// stream for the call, so nothing reaches the terminal.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "trace/HexDump.h"
#include "trace/TraceOutput.h"

namespace {

using tcpmodbus::DumpBytes;
using tcpmodbus::DumpRegisters;
using tcpmodbus::TraceText;

// The dump as the trace format describes it: items as "%02x ", a newline
// after each item whose index is a non-zero multiple of 20, and one more at
// the end.
template <typename Item>
std::string ReferenceDump(const std::vector<Item>& items) {
  std::string text;
  char item[16];
  for (std::size_t i = 0; i < items.size(); ++i) {
    std::snprintf(item, sizeof(item), "%02x ", static_cast<unsigned>(items[i]));
    text += item;
    if (i != 0 && i % 20 == 0) text += '\n';
  }
  text += '\n';
  return text;
}

// Runs `dump` as one trace point to standard output, captured, and returns
// what it printed.
template <typename Dump>
std::string Captured(Dump dump) {
  char* buffer = nullptr;
  std::size_t length = 0;
  FILE* memory = open_memstream(&buffer, &length);
  if (memory == nullptr) std::abort();
  FILE* saved = stdout;
  stdout = memory;
  {
    const tcpmodbus::TraceOutput output(tcpmodbus::kDefaultOptions);
    TraceText text(output);
    dump(text);
  }
  stdout = saved;
  std::fclose(memory);
  std::string text(buffer, length);
  std::free(buffer);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 1) return 0;
  const bool registers = (data[0] & 1) != 0;
  ++data;
  --size;

  std::string printed;
  std::string expected;
  if (registers) {
    // At most 65535 values: the count is 16 bits wide.
    std::vector<std::uint16_t> values(std::min<std::size_t>(size / 2, 65535));
    for (std::size_t i = 0; i < values.size(); ++i) {
      values[i] =
          static_cast<std::uint16_t>((data[2 * i] << 8) | data[2 * i + 1]);
    }
    printed = Captured([&](TraceText& text) {
      DumpRegisters(text, values.data(),
                    static_cast<std::uint16_t>(values.size()));
    });
    expected = ReferenceDump(values);
  } else {
    // An exact-size heap copy, so a read past the last byte is caught.
    std::vector<std::uint8_t> bytes(data, data + size);
    printed = Captured([&](TraceText& text) {
      DumpBytes(text, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    });
    expected = ReferenceDump(bytes);
  }
  if (printed != expected) std::abort();
  return 0;
}
