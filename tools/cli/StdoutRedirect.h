// The results' stream, and --quiet: while alive, the stdout descriptor leads
// to the null device, so the library's trace goes nowhere; results() is a
// stream on the original standard output either way. A result that cannot be
// written (a full disk, standard output closed) is remembered, not lost.
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

  // Sends what was written on; false once any of it could not be written,
  // the reason then in error().
  bool Flush();
  // Flushes and closes the stream that --quiet writes to: error(), 0 when
  // every result was written.
  int Close();
  int error() const { return error_; }

 private:
  void NoteFailure();

  int original_ = -1;
  std::FILE* results_ = stdout;
  int error_ = 0;  // errno of the first failed write
};

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_STDOUTREDIRECT_H_
