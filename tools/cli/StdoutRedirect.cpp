#include "StdoutRedirect.h"

#include <cerrno>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define CLI_DUP _dup
#define CLI_DUP2 _dup2
#define CLI_FDOPEN _fdopen
#define CLI_CLOSE _close
#define CLI_FILENO _fileno
#define CLI_NULL_DEVICE "NUL"
#define CLI_OPEN_WRITE(path) _open(path, _O_WRONLY)
#else
#include <fcntl.h>
#include <unistd.h>
#define CLI_DUP dup
#define CLI_DUP2 dup2
#define CLI_FDOPEN fdopen
#define CLI_CLOSE close
#define CLI_FILENO fileno
#define CLI_NULL_DEVICE "/dev/null"
#define CLI_OPEN_WRITE(path) open(path, O_WRONLY | O_CLOEXEC)
#endif

namespace cli {

StdoutRedirect::StdoutRedirect(bool silence) {
  if (!silence) return;
  std::fflush(stdout);
  const int original = CLI_DUP(CLI_FILENO(stdout));
  const int null = CLI_OPEN_WRITE(CLI_NULL_DEVICE);
  if (original < 0 || null < 0) {
    if (original >= 0) CLI_CLOSE(original);
    if (null >= 0) CLI_CLOSE(null);
    return;  // the trace stays visible; the results are still right
  }
  const int forResults = CLI_DUP(original);
  results_ = forResults >= 0 ? CLI_FDOPEN(forResults, "w") : nullptr;
  if (results_ == nullptr) {
    results_ = stdout;
    if (forResults >= 0) CLI_CLOSE(forResults);
    CLI_CLOSE(original);
    CLI_CLOSE(null);
    return;
  }
  CLI_DUP2(null, CLI_FILENO(stdout));
  CLI_CLOSE(null);
  original_ = original;
}

StdoutRedirect::~StdoutRedirect() {
  if (original_ < 0) return;
  std::fflush(stdout);  // what the library left in the buffer goes nowhere
  CLI_DUP2(original_, CLI_FILENO(stdout));
  CLI_CLOSE(original_);
  if (results_ != nullptr) std::fclose(results_);
}

bool StdoutRedirect::Flush() {
  if (results_ != nullptr &&
      (std::fflush(results_) != 0 || std::ferror(results_) != 0)) {
    NoteFailure();
  }
  return error_ == 0;
}

int StdoutRedirect::Close() {
  Flush();
  if (results_ != stdout && results_ != nullptr) {
    // A write the system deferred may fail only now.
    if (std::fclose(results_) != 0) NoteFailure();
    results_ = nullptr;
  }
  return error_;
}

void StdoutRedirect::NoteFailure() {
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

}  // namespace cli
