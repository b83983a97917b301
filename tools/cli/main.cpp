// tcpmodbus-cli: reads and writes the registers, coils and discrete inputs
// of a DIO module from the command line, through the TCPModbusIntf library.
//
//   tcpmodbus-cli [options] read-holding|read-input ADDR COUNT
//   tcpmodbus-cli [options] read-coils|read-discrete-inputs ADDR COUNT
//   tcpmodbus-cli [options] write ADDR VALUE
//   tcpmodbus-cli [options] write-multiple ADDR VALUE...
//   tcpmodbus-cli [options] write-coil ADDR 0|1
//   tcpmodbus-cli [options] write-coils ADDR BIT...
//   tcpmodbus-cli [options] mask-write ADDR AND OR
//   tcpmodbus-cli [options] read-write READ-ADDR READ-COUNT WRITE-ADDR VALUE...
//   tcpmodbus-cli [options] identify [basic|regular|extended|object ID]
//   tcpmodbus-cli [options] request CODE [BYTE...]
//
// Results go to standard output, one register a line (address, decimal
// value, hex value) or one bit a line (address, 0 or 1). The library traces
// every step on standard output as well, before the results; --quiet turns
// its trace off, --trace FILE sends it to a file through a trace sink.
// Transaction identifiers are on unless --no-transaction-ids, and name
// look-up (host names and IPv6) unless --no-name-lookup. --type and
// --order show and take the registers of read-holding, read-input, write and
// write-multiple as typed values; --one-based numbers addresses from 1.
//
// With --poll the command repeats on a fixed period until Ctrl-C (or
// --count), with the library's recovery on, and a summary ends the run; a
// second Ctrl-C ends it at once.
//
// Exit status: 0 on success, 1 when the module could not be reached, the
// operation failed or its results or trace could not be written (reason on
// stderr), 2 on a usage error.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "Arguments.h"
#include "Commands.h"
#include "FailureText.h"
#include "MapCommands.h"
#include "Operation.h"
#include "PduCommands.h"
#include "PollSchedule.h"
#include "ResultsOutput.h"
#include "StopSignal.h"
#include "TraceFile.h"
#include "tcpmodbus/TCPModbusIntf.h"

#ifdef _WIN32
#include <winsock2.h>
#endif

namespace {

using cli::Arguments;
using cli::PollSchedule;
using cli::Request;
using cli::ResultsOutput;
using cli::TraceFile;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::unique_ptr<TCPModbusIntf> NewModule(const Arguments& args,
                                         TraceFile& trace) {
  std::unique_ptr<TCPModbusIntf> module(TCPModbusIntf::GetInstance());
  if (args.quiet) {
    module->SetTraceSink(nullptr, nullptr);
  } else if (trace.open()) {
    module->SetTraceSink(TraceFile::Write, &trace);
  }
  module->SetServerPort(static_cast<unsigned short>(args.port));
  module->SetUnitId(static_cast<unsigned char>(args.unit));
  if (args.timeoutMs != 0) {
    module->SetConnectTimeout(static_cast<unsigned>(args.timeoutMs));
    module->SetResponseTimeout(static_cast<unsigned>(args.timeoutMs));
  }
  module->SetRecovery(args.pollMs != 0);
  module->SetTransactionIds(args.transactionIds);
  module->SetMaxInFlight(static_cast<unsigned>(args.inFlight));
  module->SetNameLookup(args.nameLookup);
  return module;
}

bool Connect(TCPModbusIntf& module, const Arguments& args) {
  if (module.Initialize(static_cast<unsigned short>(args.module), args.local,
                        static_cast<unsigned short>(args.localPort),
                        args.server) == 1) {
    return true;
  }
  std::fprintf(stderr, "tcpmodbus-cli: %s\n",
               cli::FailureText(module).c_str());
  return false;
}

// Runs the request once and prints its results; false (reason on stderr)
// when the module refused or could not be reached. Results that could not be
// written are left to output.error().
bool Exchange(TCPModbusIntf& module, const Arguments& args, Request& request,
              ResultsOutput& output) {
  if (cli::Perform(module, request) == 0) {
    std::fprintf(stderr, "tcpmodbus-cli: %s failed: %s\n", args.command.c_str(),
                 cli::FailureText(module).c_str());
    return false;
  }
  cli::PrintResults(output.stream(), request);
  output.Flush();
  return true;
}

// One run of the command: its exchanges and their results; false when it
// failed.
using Run = std::function<bool(TCPModbusIntf&, ResultsOutput&)>;

int RunOnce(const Arguments& args, const Run& run, ResultsOutput& output,
            TraceFile& trace) {
  std::unique_ptr<TCPModbusIntf> module = NewModule(args, trace);
  if (!Connect(*module, args)) return kExitFailed;
  return run(*module, output) ? kExitOk : kExitFailed;
}

// Sleeps until `until`, or less when a stop is requested.
void SleepUntil(std::chrono::steady_clock::time_point until) {
  constexpr std::chrono::milliseconds kSlice{20};
  while (!cli::StopRequested() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        kSlice, until - std::chrono::steady_clock::now()));
  }
}

// Polls every args.pollMs until Ctrl-C, args.count polls or results or trace
// that cannot be written. A module that is down at the start or goes away later
// is reconnected by the library's recovery on the next poll.
int Poll(const Arguments& args, const Run& run, ResultsOutput& output,
         TraceFile& trace) {
  cli::InstallStopHandlers();
  std::unique_ptr<TCPModbusIntf> module = NewModule(args, trace);
  Connect(*module, args);
  unsigned long exchanges = 0;
  unsigned long failures = 0;
  bool lastOk = false;
  PollSchedule schedule(PollSchedule::Clock::now(),
                        std::chrono::milliseconds(args.pollMs));
  while (!cli::StopRequested() && output.error() == 0 && trace.error() == 0 &&
         (args.count == 0 || exchanges < args.count)) {
    lastOk = run(*module, output);
    ++exchanges;
    if (!lastOk) ++failures;
    // A poll that ends the run (the last of --count, or one whose results
    // or trace were lost) ends it now, not a period later.
    if ((args.count != 0 && exchanges >= args.count) || output.error() != 0 ||
        trace.error() != 0) {
      break;
    }
    SleepUntil(schedule.Next(PollSchedule::Clock::now()));
  }
  // Deliberate: the text up to "reconnects" stays as it was; scripts match
  // on it.
  std::fprintf(
      stderr,
      "tcpmodbus-cli: %lu exchanges, %lu failed, %u reconnects, %lu periods skipped\n",
      exchanges, failures, module->Reconnects(), schedule.skipped());
  return lastOk ? kExitOk : kExitFailed;
}

// Reports results that could not be written: kExitFailed then, `status`
// otherwise.
int CheckResultsWritten(int error, int status) {
  if (error == 0) return status;
  std::fprintf(stderr, "tcpmodbus-cli: cannot write the results: %s\n",
               std::strerror(error));
  return kExitFailed;
}

// The same for the trace file of --trace.
int CheckTraceWritten(const TraceFile& trace, int error, int status) {
  if (error == 0) return status;
  std::fprintf(stderr, "tcpmodbus-cli: cannot write the trace to %s: %s\n",
               trace.path().c_str(), std::strerror(error));
  return kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  Request request{};
  cli::MapJob job;
  cli::PduJob pduJob;
  try {
    args = cli::ParseArguments(argc, argv);
    if (args.command == "help") {
      ResultsOutput output;
      std::fputs(cli::kUsage, output.stream());
      return CheckResultsWritten(output.Close(), kExitOk);
    }
    if (cli::IsMapCommand(args.command)) {
      job = cli::CheckMapOperands(args);
    } else if (cli::IsPduCommand(args.command)) {
      pduJob = cli::CheckPduOperands(args);
    } else {
      request = cli::CheckOperands(args);
    }
  } catch (const cli::UsageError& error) {
    std::fprintf(stderr,
                 "tcpmodbus-cli: %s\nTry 'tcpmodbus-cli --help' for more.\n",
                 error.text().c_str());
    return kExitUsage;
  }

  if (args.planOnly) {
    // Sends nothing: no connection, no trace.
    ResultsOutput output;
    cli::PrintPlan(output.stream(), job);
    return CheckResultsWritten(output.Close(), kExitOk);
  }
  TraceFile trace;
  if (!args.traceFile.empty()) {
    if (const int error = trace.Open(args.traceFile)) {
      std::fprintf(stderr, "tcpmodbus-cli: cannot open the trace file %s: %s\n",
                   args.traceFile.c_str(), std::strerror(error));
      return kExitFailed;
    }
  }
#ifdef _WIN32
  // The library uses Windows Sockets but never starts them itself.
  WSADATA wsaData;
  if (WSAStartup(MAKEWORD(2, 2), &wsaData) != 0) {
    std::fprintf(stderr, "tcpmodbus-cli: WSAStartup failed\n");
    return kExitFailed;
  }
#endif
  ResultsOutput output;
  const Run run = [&](TCPModbusIntf& module, ResultsOutput& out) {
    if (cli::IsPduCommand(args.command)) {
      const bool ran = cli::RunPduJob(module, args, pduJob, out.stream());
      out.Flush();
      return ran;
    }
    if (!cli::IsMapCommand(args.command)) {
      return Exchange(module, args, request, out);
    }
    const bool ran = cli::RunMapJob(module, args, job, out.stream());
    out.Flush();
    return ran;
  };
  int status = args.pollMs != 0 ? Poll(args, run, output, trace)
                                : RunOnce(args, run, output, trace);
  status = CheckResultsWritten(output.Close(), status);
  status = CheckTraceWritten(trace, trace.Close(), status);
#ifdef _WIN32
  WSACleanup();
#endif
  return status;
}
