// --trace FILE: the library's trace goes to a file through a trace sink,
// standard output then holding only the results. Each trace point is flushed
// as it comes, so the file can be followed while polling and keeps what was
// traced before a second Ctrl-C ends the process.
#ifndef TCPMODBUS_TOOLS_CLI_TRACEFILE_H_
#define TCPMODBUS_TOOLS_CLI_TRACEFILE_H_

#include <cstddef>
#include <cstdio>
#include <string>

namespace cli {

class TraceFile {
 public:
  TraceFile() = default;
  ~TraceFile();
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  // Creates or empties the file: 0, or the errno of the failure.
  int Open(const std::string& path);
  bool open() const { return stream_ != nullptr; }
  const std::string& path() const { return path_; }

  // A TCPModbusIntf::TraceSink; `context` is the TraceFile.
  static void Write(void* context, const char* text, std::size_t length);

  // Closes the file: error(), 0 when all of the trace was written.
  int Close();
  int error() const { return error_; }

 private:
  void NoteFailure();

  std::FILE* stream_ = nullptr;
  std::string path_;
  int error_ = 0;  // errno of the first failed write
};

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_TRACEFILE_H_
