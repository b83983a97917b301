// The trace text of one trace point (a line, or a line with its dump), built
// on the stack and handed to the object's trace output in one call when it
// ends, so that a line-buffered stream makes one write per trace point. A
// text that outgrows the buffer goes out in several calls, each of whole
// lines. With the trace off nothing is formatted.
//
// Text is formatted as printf would format it: the library's own %s, %d and
// %u formats by a small formatter of its own, anything else by vsnprintf;
// nothing is added (no prefix, time or newline).
#ifndef TCPMODBUS_TRACE_PRINTTRACE_H_
#define TCPMODBUS_TRACE_PRINTTRACE_H_

#include <cstdarg>
#include <cstddef>

#include "common/Attributes.h"
#include "trace/TraceOutput.h"

namespace tcpmodbus {

class TraceText {
 public:
  // Room for every trace point of an exchange.
  static constexpr std::size_t kCapacity = 2048;

  explicit TraceText(const TraceOutput& output);
  // Hands over what is left. The sink may end the thread (a forced unwind),
  // which must pass through here.
  ~TraceText() noexcept(false);
  TraceText(const TraceText&) = delete;
  TraceText& operator=(const TraceText&) = delete;

  bool On() const { return on_; }
  void Printf(const char* format, ...) TCPMODBUS_PRINTF_FORMAT(2, 3);
  void Vprintf(const char* format, std::va_list args);
  // Room for `size` more characters (at most kCapacity - 1), the text so
  // far handed over first when it would not fit, so it must end a line
  // there. For the dumps, a line at a time; Commit ends what was written.
  char* Reserve(std::size_t size);
  void Commit(const char* end);

 private:
  void Flush();

  const TraceOutput& output_;
  const bool on_;
  std::size_t length_ = 0;
  char text_[kCapacity];
};

// A trace point of one formatted text.
void PrintTrace(const TraceOutput& output, const char* format, ...)
    TCPMODBUS_PRINTF_FORMAT(2, 3);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_TRACE_PRINTTRACE_H_
