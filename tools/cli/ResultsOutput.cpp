#include "ResultsOutput.h"

#include <cerrno>

namespace cli {

bool ResultsOutput::Flush() {
  if (!closed_ && (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)) {
    NoteFailure();
  }
  return error_ == 0;
}

int ResultsOutput::Close() {
  if (closed_) return error_;
  Flush();
  closed_ = true;
  if (std::fclose(stdout) != 0) NoteFailure();
  return error_;
}

void ResultsOutput::NoteFailure() {
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

}  // namespace cli
