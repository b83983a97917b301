// --quiet: while alive, the stdout descriptor leads to the null device, so
// the library's trace goes nowhere; results() is a stream on the original
// standard output either way.
#ifndef TCPMODBUS_TOOLS_CLI_STDOUTREDIRECT_H_
#define TCPMODBUS_TOOLS_CLI_STDOUTREDIRECT_H_

#include <cstdio>

namespace cli {

class StdoutRedirect {
 public:
  explicit StdoutRedirect(bool silence);
  ~StdoutRedirect();
  StdoutRedirect(const StdoutRedirect&) = delete;
  StdoutRedirect& operator=(const StdoutRedirect&) = delete;

  std::FILE* results() const { return results_; }

 private:
  int original_ = -1;
  std::FILE* results_ = stdout;
};

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_STDOUTREDIRECT_H_
