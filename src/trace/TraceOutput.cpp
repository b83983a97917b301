#include "trace/TraceOutput.h"

#include <cstdio>
#include <cstring>

namespace tcpmodbus {

void WriteTraceToStdout(void* /*context*/, const char* text,
                        std::size_t length) {
  std::fwrite(text, 1, length, stdout);
}

TraceOutput::TraceOutput(const Options& options) : options_(options) {}

void TraceOutput::Write(const char* text, std::size_t length) const {
  const TraceSink sink =
      options_.traceSink != nullptr ? options_.traceSink : &WriteTraceToStdout;
  // Marked while the sink runs, and cleared however it ends.
  struct Running {
    const TraceOutput& output;
    explicit Running(const TraceOutput& runningOutput) : output(runningOutput) {
      output.inSink_ = true;
    }
    ~Running() {
      output.inSink_ = false;
      if (output.saved_) {
        std::memcpy(output.guardedText_, output.savedText_, errortext::kSize);
        *output.guardedFailure_ = output.savedFailure_;
      }
      output.saved_ = false;
    }
  } running(*this);
  sink(options_.traceContext, text, length);
}

void TraceOutput::SaveGuardedErrorRecord() const {
  if (saved_ || guardedText_ == nullptr) return;
  std::memcpy(savedText_, guardedText_, errortext::kSize);
  savedFailure_ = *guardedFailure_;
  saved_ = true;
}

}  // namespace tcpmodbus
