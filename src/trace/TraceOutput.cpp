#include "trace/TraceOutput.h"

#include <cstdio>

#include "common/Attributes.h"

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
      ++output.sinkCalls_;
    }
    ~Running() { output.inSink_ = false; }
  } running(*this);
  try {
    sink(options_.traceContext, text, length);
  }
  TCPMODBUS_RETHROW_FORCED_UNWIND
  catch (...) {
    // The trace is the host's; its failure is not the operation's.
  }
}

}  // namespace tcpmodbus
