// PrintTrace writes exactly what printf would, whether it formats the text
// itself or hands it to the C library.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "trace/PrintTrace.h"

namespace {

using tcpmodbus::PrintTrace;

// A macro rather than a function, so that both calls see the literal format
// and the compiler checks its arguments.
#define EXPECT_PRINTS_AS_PRINTF(...)                                   \
  do {                                                                 \
    testing::internal::CaptureStdout();                                \
    const int result = PrintTrace(__VA_ARGS__);                        \
    const std::string out = testing::internal::GetCapturedStdout();    \
    char text[2048];                                                   \
    const int size = std::snprintf(text, sizeof(text), __VA_ARGS__);   \
    EXPECT_EQ(out, std::string(text, static_cast<std::size_t>(size))); \
    EXPECT_EQ(result, size);                                           \
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
}

}  // namespace
