// Where one object's trace goes: the host's sink with its context, standard
// output until the host chose one, or nowhere. The sink runs on the
// caller's thread, synchronously, and no lock of the library is held.
#ifndef TCPMODBUS_TRACE_TRACEOUTPUT_H_
#define TCPMODBUS_TRACE_TRACEOUTPUT_H_

#include <cstddef>

#include "common/ErrorText.h"
#include "common/Failure.h"
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
  void Write(const char* text, std::size_t length) const;
  // Whether the sink is running: a call it makes on its own object then
  // must not change the object under the operation in progress.
  bool InSink() const { return inSink_; }
  // The error record that a call refused inside the sink overwrites: it is
  // saved at the first refusal and given back when the sink returns, so the
  // operation in progress keeps its own message and code.
  void GuardErrorRecord(char* text, Failure* failure) {
    guardedText_ = text;
    guardedFailure_ = failure;
  }
  void SaveGuardedErrorRecord() const;

 private:
  const Options& options_;
  char* guardedText_ = nullptr;
  Failure* guardedFailure_ = nullptr;
  mutable bool inSink_ = false;
  mutable bool saved_ = false;
  mutable char savedText_[errortext::kSize] = {};
  mutable Failure savedFailure_;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_TRACE_TRACEOUTPUT_H_
