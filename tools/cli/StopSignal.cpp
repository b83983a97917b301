#include "StopSignal.h"

#include <csignal>

#ifdef _WIN32
#include <io.h>
#include <stdlib.h>
#define CLI_WRITE _write
#else
#include <unistd.h>
#define CLI_WRITE write
#endif

namespace cli {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

// Async-signal-safe calls only: the signal may land anywhere, the library's
// wait included.
extern "C" void OnStopSignal(int signal) {
  if (stopRequested != 0) {
    static const char kText[] = "tcpmodbus-cli: interrupted\n";
    if (CLI_WRITE(2, kText, sizeof(kText) - 1) < 0) {
      // standard error is gone too; the status still tells
    }
    _exit(128 + signal);
  }
  stopRequested = 1;
#ifdef _WIN32
  // The C runtime resets the handler before calling it; the second signal
  // must find it again.
  std::signal(signal, OnStopSignal);
#endif
}

}  // namespace

void InstallStopHandlers() {
  std::signal(SIGINT, OnStopSignal);
#ifdef SIGTERM
  std::signal(SIGTERM, OnStopSignal);
#endif
}

bool StopRequested() { return stopRequested != 0; }

}  // namespace cli
