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

std::vector<std::uint8_t> Sequence(std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<std::uint8_t>(i);
  }
  return bytes;
}

std::size_t ItemCount(const std::string& line) {
  std::istringstream items(line);
  std::size_t count = 0;
  for (std::string item; items >> item;) ++count;
  return count;
}

TEST(HexDumpTest, BytesSplitIntoLinesOf21ThenOf20) {
  struct Row {
    std::size_t count;
    const char* expected;
  };
  const Row rows[] = {
      {0, "\n"},
      {1, "00 \n"},
      {20, "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 \n"},
      {21,
       "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 14 \n"
       "\n"},
      {22,
       "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 14 \n"
       "15 \n"},
      {41,
       "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 14 \n"
       "15 16 17 18 19 1a 1b 1c 1d 1e 1f 20 21 22 23 24 25 26 27 28 \n"
       "\n"},
      {45,
       "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 14 \n"
       "15 16 17 18 19 1a 1b 1c 1d 1e 1f 20 21 22 23 24 25 26 27 28 \n"
       "29 2a 2b 2c \n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.count) + " bytes");
    EXPECT_EQ(DumpBytesText(Sequence(row.count)), row.expected);
  }
}

TEST(HexDumpTest, ResponseOf261BytesGives13LinesAndAnEmptyOne) {
  const std::vector<std::string> lines =
      Lines(DumpBytesText(Sequence(261)), FinalNewline::kExpected);
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(ItemCount(lines[0]), 21u);
  for (std::size_t i = 1; i < 13; ++i) {
    SCOPED_TRACE("line " + std::to_string(i));
    EXPECT_EQ(ItemCount(lines[i]), 20u);
    EXPECT_EQ(lines[i].size(), 60u);
  }
  EXPECT_EQ(lines[0].size(), 63u);
  EXPECT_EQ(lines[13], "");
}

TEST(HexDumpTest, RegisterItemsAreNotCutOrPadded) {
  EXPECT_EQ(DumpRegistersText({1, 255, 256, 4095, 65535}),
            "01 ff 100 fff ffff \n");
}

TEST(HexDumpTest, RegistersSplitLikeBytes) {
  struct Row {
    std::size_t count;
    const char* expected;
  };
  const Row rows[] = {
      {0, "\n"},
      {1, "8000 \n"},
      {21,
       "8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 \n\n"},
      {22,
       "8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 8000 \n8000 \n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.count) + " registers");
    EXPECT_EQ(DumpRegistersText(std::vector<std::uint16_t>(row.count, 0x8000)),
              row.expected);
  }
}

TEST(HexDumpTest, EveryByteValuePrintsAsPrintfDoes) {
  for (unsigned value = 0; value <= 0xff; ++value) {
    char expected[8];
    std::snprintf(expected, sizeof(expected), "%02x \n", value);
    ASSERT_EQ(DumpBytesText({static_cast<std::uint8_t>(value)}), expected)
        << "byte " << value;
  }
}

TEST(HexDumpTest, AllRegisterValuesPrintAsPrintfDoesIn65535Items) {
  // Values 0 to 65534 in one dump of the largest count: every item and
  // the line lengths (21, then 20 each, then the rest of 14).
  std::vector<std::uint16_t> values(65535);
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<std::uint16_t>(i);
  }
  const std::vector<std::string> lines =
      Lines(DumpRegistersText(values), FinalNewline::kExpected);
  ASSERT_EQ(lines.size(), 1u + 3275u + 1u);
  std::size_t next = 0;
  for (std::size_t line = 0; line < lines.size(); ++line) {
    const std::size_t expectedItems =
        line == 0 ? 21 : (line + 1 == lines.size() ? 14 : 20);
    std::string expected;
    for (std::size_t k = 0; k < expectedItems; ++k, ++next) {
      char item[8];
      std::snprintf(item, sizeof(item), "%02x ", static_cast<unsigned>(next));
      expected += item;
    }
    ASSERT_EQ(lines[line], expected) << "line " << line;
  }
  EXPECT_EQ(next, 65535u);
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
