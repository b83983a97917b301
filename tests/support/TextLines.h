// Captured output split into lines.
#ifndef TCPMODBUS_TESTS_SUPPORT_TEXTLINES_H_
#define TCPMODBUS_TESTS_SUPPORT_TEXTLINES_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport {

enum class FinalNewline {
  kOptional,  // text after the last newline is dropped
  kExpected,  // text after the last newline is a test failure, then dropped
};

// The lines of `text`, each without its '\n'.
inline std::vector<std::string> Lines(
    const std::string& text,
    FinalNewline finalNewline = FinalNewline::kOptional) {
  std::vector<std::string> lines;
  std::string::size_type from = 0;
  for (auto end = text.find('\n'); end != std::string::npos;
       end = text.find('\n', from)) {
    lines.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  if (finalNewline == FinalNewline::kExpected) {
    EXPECT_EQ(from, text.size()) << "output does not end with a newline";
  }
  return lines;
}

}  // namespace testsupport

#endif  // TCPMODBUS_TESTS_SUPPORT_TEXTLINES_H_
