// A trace sink that keeps each text it receives, for the tests that check
// what the trace hands over and in how many pieces.
#ifndef TCPMODBUS_TESTS_SUPPORT_TRACECAPTURE_H_
#define TCPMODBUS_TESTS_SUPPORT_TRACECAPTURE_H_

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

struct TraceCapture {
  std::vector<std::string> texts;

  // The sink; `context` is the TraceCapture.
  static void Sink(void* context, const char* text, std::size_t length) {
    EXPECT_EQ(text[length], '\0') << "not NUL-terminated";
    static_cast<TraceCapture*>(context)->texts.emplace_back(text, length);
  }

  std::string Joined() const {
    std::string all;
    for (const std::string& text : texts) all += text;
    return all;
  }
};

}  // namespace testsupport

#endif  // TCPMODBUS_TESTS_SUPPORT_TRACECAPTURE_H_
