// Where one object's trace goes: the host's sink with its context, standard
// output until the host chose one, or nowhere. The sink runs on the
// caller's thread, synchronously, and no lock of the library is held.
#ifndef TCPMODBUS_TRACE_TRACEOUTPUT_H_
#define TCPMODBUS_TRACE_TRACEOUTPUT_H_

#include <cstddef>

#include "common/Options.h"

namespace tcpmodbus {

// The default sink: the text to standard output in one stdio call.
void WriteTraceToStdout(void* context, const char* text, std::size_t length);

class TraceOutput {
 public:
  // `options` belong to the object that owns this output and outlive it.
  explicit TraceOutput(const Options& options);
  TraceOutput(const TraceOutput&) = delete;
  TraceOutput& operator=(const TraceOutput&) = delete;

  // False when the trace is off: then nothing is formatted for it.
  bool On() const { return options_.traceOn; }
  // Hands finished text (with a NUL after `length` characters) to the sink.
  // A sink must not throw; an exception one lets out is caught here, and
  // the text it was given is lost, so that the operation in progress ends
  // as it would have.
  void Write(const char* text, std::size_t length) const;
  // Whether the sink is running: a call it makes on its own object then
  // must not change the object under the operation in progress.
  bool InSink() const { return inSink_; }
  // Counts the sink's calls, so that what happened during one of them can
  // be told from what happened before.
  unsigned long SinkCalls() const { return sinkCalls_; }

 private:
  const Options& options_;
  mutable bool inSink_ = false;
  mutable unsigned long sinkCalls_ = 0;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_TRACE_TRACEOUTPUT_H_
