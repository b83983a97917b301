// Hex dumps of the console trace, checked as a trace point hands them over.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TextLines.h"
#include "TraceCapture.h"
#include "trace/HexDump.h"
#include "trace/TraceOutput.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using tcpmodbus::DumpBytes;
using tcpmodbus::DumpRegisters;

using tcpmodbus::TraceOutput;
using tcpmodbus::TraceText;
using testsupport::FinalNewline;
using testsupport::Lines;
using testsupport::TraceCapture;

// What `dump` adds to one trace point, as the sink receives it.
template <typename Dump>
std::string DumpText(Dump dump) {
  TraceCapture capture;
  tcpmodbus::Options options;
  options.traceSink = &TraceCapture::Sink;
  options.traceContext = &capture;
  const TraceOutput output(options);
  {
    TraceText text(output);
    dump(text);
  }
  return capture.Joined();
}

std::string DumpBytesText(const std::vector<std::uint8_t>& bytes) {
  return DumpText([&](TraceText& text) {
    DumpBytes(text, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  });
}

std::string DumpRegistersText(const std::vector<std::uint16_t>& values) {
  return DumpText([&](TraceText& text) {
    DumpRegisters(text, values.data(),
                  static_cast<std::uint16_t>(values.size()));
  });
}

std::size_t ItemCount(const std::string& line) {
  std::istringstream items(line);
  std::size_t count = 0;
  for (std::string item; items >> item;) ++count;
  return count;
}

// An item as printf's "%02x " prints it.
std::string ItemText(unsigned item) {
  char text[8];
  std::snprintf(text, sizeof(text), "%02x ", item);
  return text;
}

std::vector<std::uint16_t> Counting(std::size_t count) {
  std::vector<std::uint16_t> items(count);
  for (std::size_t i = 0; i < count; ++i) {
    items[i] = static_cast<std::uint16_t>(i);
  }
  return items;
}

std::vector<std::uint16_t> Same(std::size_t count,
                                std::uint16_t value = 0xabcd) {
  return std::vector<std::uint16_t>(count, value);
}

// Items per line: 21, then `twenties` lines of 20, then `rest`.
std::vector<std::size_t> TwentiesAfter21(std::size_t twenties,
                                         std::size_t rest) {
  std::vector<std::size_t> lines = {21};
  lines.insert(lines.end(), twenties, 20);
  lines.push_back(rest);
  return lines;
}

// A dump breaks its line after 21 items, then after every 20, and ends with
// the rest: empty after 21, 41, ... items. Bytes and registers alike, up to
// the largest count.
TEST(HexDumpTest, LinesBreakAfter21ItemsThenEvery20) {
  struct Row {
    const char* what;
    bool registers;
    std::vector<std::uint16_t> items;
    std::vector<std::size_t> itemsPerLine;
  };
  const Row rows[] = {
      {"no bytes", false, {}, {0}},
      {"1 byte", false, Counting(1), {1}},
      {"20 bytes", false, Counting(20), {20}},
      {"21 bytes", false, Counting(21), {21, 0}},
      {"22 bytes", false, Counting(22), {21, 1}},
      {"41 bytes", false, Counting(41), {21, 20, 0}},
      {"45 bytes", false, Counting(45), {21, 20, 4}},
      {"the largest answer, 261 bytes", false, Counting(261),
       TwentiesAfter21(12, 0)},
      {"no registers", true, {}, {0}},
      {"1 register", true, {0x8000}, {1}},
      {"20 registers", true, Same(20), {20}},
      {"21 registers of 0x8000", true, Same(21, 0x8000), {21, 0}},
      {"21 registers", true, Same(21), {21, 0}},
      {"22 registers of 0x8000", true, Same(22, 0x8000), {21, 1}},
      {"22 registers", true, Same(22), {21, 1}},
      {"41 registers", true, Same(41), {21, 20, 0}},
      {"126 registers", true, Same(126), TwentiesAfter21(5, 5)},
      // Every value a register can hold but 65535, in the largest count.
      {"65535 registers", true, Counting(65535), TwentiesAfter21(3275, 14)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::string printed;
    if (row.registers) {
      printed = DumpRegistersText(row.items);
    } else {
      printed = DumpBytesText(
          std::vector<std::uint8_t>(row.items.begin(), row.items.end()));
    }
    const std::vector<std::string> lines =
        Lines(printed, FinalNewline::kExpected);
    ASSERT_EQ(lines.size(), row.itemsPerLine.size());
    std::size_t next = 0;
    for (std::size_t line = 0; line < lines.size(); ++line) {
      std::string expected;
      for (std::size_t k = 0; k < row.itemsPerLine[line]; ++k) {
        // A byte is the register value's low byte.
        const unsigned item = row.items[next++];
        expected += ItemText(row.registers ? item : item & 0xffu);
      }
      if (lines[line] != expected) {
        ADD_FAILURE() << "line " << line << ": \"" << lines[line]
                      << "\", expected \"" << expected << "\"";
        break;
      }
    }
  }
}

TEST(HexDumpTest, RegisterItemsAreNotCutOrPadded) {
  EXPECT_EQ(DumpRegistersText({1, 255, 256, 4095, 65535}),
            "01 ff 100 fff ffff \n");
}

TEST(HexDumpTest, EveryByteValuePrintsAsPrintfDoes) {
  for (unsigned value = 0; value <= 0xff; ++value) {
    ASSERT_EQ(DumpBytesText({static_cast<std::uint8_t>(value)}),
              ItemText(value) + "\n")
        << "byte " << value;
  }
}

TEST(HexDumpTest, BytesLongerThan65535Return) {
  const std::vector<std::uint8_t> bytes(70000, 0xa5);
  const std::vector<std::string> lines =
      Lines(DumpBytesText(bytes), FinalNewline::kExpected);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(ItemCount(lines[0]), 21u);
  std::size_t items = 0;
  for (const std::string& line : lines) items += ItemCount(line);
  EXPECT_LE(items, 70000u);
}

#ifndef _WIN32
std::vector<std::uint8_t> Sequence(std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<std::uint8_t>(i);
  }
  return bytes;
}

// A line-buffered stream (a terminal) writes at each newline; a packet socket
// keeps each write a message, so the dump arrives as one. A line goes first,
// as in an exchange: glibc writes a new stream's first text line by line.
TEST(HexDumpTest, DumpIsOneWriteOnALineBufferedStream) {
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
  FILE* terminal = fdopen(ends[0], "w");
  setvbuf(terminal, nullptr, _IOLBF, BUFSIZ);
  std::fputs("\n", terminal);
  std::swap(stdout, terminal);
  {
    const TraceOutput output(tcpmodbus::kDefaultOptions);
    TraceText text(output);
    DumpBytes(text, Sequence(261).data(), 261);
  }
  std::swap(stdout, terminal);
  std::fclose(terminal);
  char message[1024];
  EXPECT_EQ(recv(ends[1], message, sizeof(message), 0), 1);
  EXPECT_EQ(recv(ends[1], message, sizeof(message), 0), 797);  // 14 lines
  close(ends[1]);
}
#endif

}  // namespace
