// A trace point hands over exactly what printf would write, whether the
// library formats the text itself or hands it to the C library; with the
// trace off nothing is formatted or handed over.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "TraceCapture.h"
#include "trace/PrintTrace.h"

namespace {

using tcpmodbus::PrintTrace;
using testsupport::TraceCapture;

// Standard output as the default trace gets it, and a sink's texts.
struct Outputs {
  Outputs() {
    toSink.traceSink = &TraceCapture::Sink;
    toSink.traceContext = &capture;
  }
  tcpmodbus::Options toSink;
  TraceCapture capture;
  const tcpmodbus::TraceOutput standard{tcpmodbus::kDefaultOptions};
  const tcpmodbus::TraceOutput sink{toSink};
};

// A macro rather than a function, so that both calls see the literal format
// and the compiler checks its arguments. The sink gets the text in one piece.
#define EXPECT_PRINTS_AS_PRINTF(...)                                      \
  do {                                                                    \
    Outputs outputs;                                                      \
    testing::internal::CaptureStdout();                                   \
    PrintTrace(outputs.standard, __VA_ARGS__);                            \
    const std::string out = testing::internal::GetCapturedStdout();       \
    PrintTrace(outputs.sink, __VA_ARGS__);                                \
    const int size = std::snprintf(nullptr, 0, __VA_ARGS__);              \
    std::string expected(static_cast<std::size_t>(size) + 1, '\0');       \
    std::snprintf(&expected[0], expected.size(), __VA_ARGS__);            \
    expected.pop_back();                                                  \
    EXPECT_EQ(out, expected);                                             \
    EXPECT_EQ(outputs.capture.texts, std::vector<std::string>{expected}); \
  } while (0)

TEST(PrintTraceTest, PlainTextAndLoneCharacters) {
  EXPECT_PRINTS_AS_PRINTF("\n");
  EXPECT_PRINTS_AS_PRINTF("x");
  EXPECT_PRINTS_AS_PRINTF("a line of text\n");
}

TEST(PrintTraceTest, StringsDecimalsAndUnsigned) {
  EXPECT_PRINTS_AS_PRINTF("%s\n", "00 01 ff ");
  EXPECT_PRINTS_AS_PRINTF("%s\n", "");
  EXPECT_PRINTS_AS_PRINTF("%s%s", "a", "b");
  EXPECT_PRINTS_AS_PRINTF("%s ==>Sending MbReadHoldingRegs Request...Size=%d\n",
                          "CMBusTCP::MbReadHoldingRegs", 12);
  EXPECT_PRINTS_AS_PRINTF("LocalPort=%u, %d, %d, %d, %u\n", 65535u, 0, -1,
                          INT_MIN, UINT_MAX);
  EXPECT_PRINTS_AS_PRINTF("%d%d", INT_MAX, -7);
}

TEST(PrintTraceTest, OtherFormatsGoToPrintf) {
  EXPECT_PRINTS_AS_PRINTF("%5d|%-4s|%x|%%|%c\n", 42, "ab", 0xbeef, 'z');
  EXPECT_PRINTS_AS_PRINTF("%02x ", 0x8);
  EXPECT_PRINTS_AS_PRINTF("100%%\n");
}

TEST(PrintTraceTest, TextLongerThanAnyTraceLine) {
  const std::string longText(1500, 'q');
  EXPECT_PRINTS_AS_PRINTF("%s: %s\n", "name", longText.c_str());
  const std::string longerThanTheBuffer(5000, 'r');
  EXPECT_PRINTS_AS_PRINTF("%s: %s\n", "name", longerThanTheBuffer.c_str());
}

// Off, a trace point formats nothing: an argument that would fault if it
// were read shows it.
TEST(PrintTraceTest, OffFormatsNothing) {
  tcpmodbus::Options off;
  off.traceOn = false;
  const tcpmodbus::TraceOutput output(off);
  testing::internal::CaptureStdout();
  PrintTrace(output, "%s\n", reinterpret_cast<const char*>(16));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
