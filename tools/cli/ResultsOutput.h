// The results' stream: standard output, which the library's trace shares
// unless --quiet or --trace sends it elsewhere. A result (or a line of that
// trace) that cannot be written, to a full disk or a closed standard output,
// is remembered, not lost, so the CLI can report it and exit 1.
#ifndef TCPMODBUS_TOOLS_CLI_RESULTSOUTPUT_H_
#define TCPMODBUS_TOOLS_CLI_RESULTSOUTPUT_H_

#include <cstdio>

namespace cli {

class ResultsOutput {
 public:
  std::FILE* stream() const { return stdout; }

  // Sends what was written on; false once any of it could not be written,
  // the reason then in error().
  bool Flush();
  // Flushes and closes standard output, where a write the system deferred
  // fails at last: error(), 0 when everything was written. Nothing may be
  // written to standard output after it.
  int Close();
  int error() const { return error_; }

 private:
  void NoteFailure();

  bool closed_ = false;
  int error_ = 0;  // errno of the first failed write
};

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_RESULTSOUTPUT_H_
