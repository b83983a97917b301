// tcpmodbus-cli: reads and writes the registers of a DIO module from the
// command line, through the TCPModbusIntf library.
//
//   tcpmodbus-cli [options] read-holding ADDR COUNT
//   tcpmodbus-cli [options] read-input ADDR COUNT
//   tcpmodbus-cli [options] write ADDR VALUE
//   tcpmodbus-cli [options] write-multiple ADDR VALUE...
//
// Results go to standard output, one register a line: address, decimal value,
// hex value. The library traces every step on standard output as well;
// --quiet points the stdout descriptor at the null device while the library
// runs and writes the results to a duplicate of the original descriptor.
//
// Exit status: 0 on success, 1 when the module could not be reached or the
// operation failed (reason on stderr), 2 on a usage error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tcpmodbus/TCPModbusIntf.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <winsock2.h>
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

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// The protocol's limits for one request.
constexpr unsigned long kMaxReadCount = 125;
constexpr unsigned long kMaxWriteCount = 124;

const char kUsage[] =
    "Usage: tcpmodbus-cli [options] COMMAND ARGS...\n"
    "Reads and writes the registers of a DIO module over Modbus/TCP (port 502).\n"
    "\n"
    "Commands:\n"
    "  read-holding ADDR COUNT      read COUNT holding registers (1 to 125)\n"
    "  read-input ADDR COUNT        read COUNT input registers (1 to 125)\n"
    "  write ADDR VALUE             write one holding register\n"
    "  write-multiple ADDR VALUE... write 1 to 124 holding registers from ADDR on\n"
    "\n"
    "Options:\n"
    "  --server A      the module's IPv4 address (default 127.0.0.1)\n"
    "  --local A       local address to bind (default 127.0.0.1)\n"
    "  --local-port P  local port to bind (default 0: any)\n"
    "  --module N      module number shown in the library's messages (default 1)\n"
    "  --quiet         hide the library's trace, print only the results\n"
    "  --help          this text\n"
    "\n"
    "Numbers are decimal or 0x-hex. Results: one register a line, as\n"
    "\"address decimal hex\". Exit status 0 on success, 1 when the module\n"
    "could not be reached or refused the operation, 2 on a usage error.\n";

struct Arguments {
  std::string server = "127.0.0.1";
  std::string local = "127.0.0.1";
  unsigned long localPort = 0;
  unsigned long module = 1;
  bool quiet = false;
  std::string command;
  std::vector<std::string> operands;
};

class UsageError {
 public:
  explicit UsageError(std::string text) : text_(std::move(text)) {}
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// Decimal, or hex after 0x/0X; no sign, no blanks, from `min` to `max`.
unsigned long ParseNumber(const std::string& what, const std::string& text,
                          unsigned long min, unsigned long max) {
  const bool hex =
      text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
  if (digits.empty() ||
      digits.find_first_not_of(allowed) != std::string::npos) {
    throw UsageError(what + " '" + text +
                     "' is not a number (decimal or 0x-hex)");
  }
  errno = 0;
  const unsigned long value =
      std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
  if (errno == ERANGE || value < min || value > max) {
    throw UsageError(what + " '" + text + "' is out of range (" +
                     std::to_string(min) + " to " + std::to_string(max) + ")");
  }
  return value;
}

Arguments ParseArguments(int argc, char** argv) {
  Arguments args;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      std::string value;
      bool hasValue = false;
      const std::size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
        arg = arg.substr(0, equals);
        hasValue = true;
      }
      const bool takesValue = arg == "--server" || arg == "--local" ||
                              arg == "--local-port" || arg == "--module";
      if (takesValue && !hasValue) {
        if (i + 1 >= argc) throw UsageError(arg + " needs a value");
        value = argv[++i];
      } else if (!takesValue && hasValue) {
        throw UsageError(arg + " takes no value");
      }
      if (arg == "--help") {
        args.command = "help";
        return args;
      } else if (arg == "--quiet") {
        args.quiet = true;
      } else if (arg == "--server") {
        args.server = value;
      } else if (arg == "--local") {
        args.local = value;
      } else if (arg == "--local-port") {
        args.localPort = ParseNumber("--local-port", value, 0, 65535);
      } else if (arg == "--module") {
        args.module = ParseNumber("--module", value, 0, 65535);
      } else {
        throw UsageError("unknown option " + arg);
      }
    } else if (arg == "-h") {
      args.command = "help";
      return args;
    } else if (args.command.empty()) {
      args.command = arg;
    } else {
      args.operands.push_back(arg);
    }
  }
  if (args.command.empty()) throw UsageError("no command given");
  if (args.server.empty()) throw UsageError("--server needs an address");
  return args;
}

// While alive, the stdout descriptor leads to the null device (when asked
// to); results() is a stream on the original standard output either way.
class StdoutRedirect {
 public:
  explicit StdoutRedirect(bool silence) {
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
      if (forResults >= 0) CLI_CLOSE(forResults);
      CLI_CLOSE(original);
      CLI_CLOSE(null);
      return;
    }
    CLI_DUP2(null, CLI_FILENO(stdout));
    CLI_CLOSE(null);
    original_ = original;
  }

  ~StdoutRedirect() {
    if (original_ < 0) return;
    std::fflush(stdout);  // what the library left in the buffer goes nowhere
    CLI_DUP2(original_, CLI_FILENO(stdout));
    CLI_CLOSE(original_);
    std::fclose(results_);
  }

  StdoutRedirect(const StdoutRedirect&) = delete;
  StdoutRedirect& operator=(const StdoutRedirect&) = delete;

  std::FILE* results() const { return results_; }

 private:
  int original_ = -1;
  std::FILE* results_ = stdout;
};

struct Request {
  enum class Kind { ReadHolding, ReadInput, Write, WriteMultiple } kind;
  unsigned short address = 0;
  std::vector<unsigned short> values;  // to write, or the count to read
};

Request CheckOperands(const Arguments& args) {
  Request request{};
  const auto& ops = args.operands;
  const std::string& command = args.command;
  auto expect = [&](std::size_t count, const char* shape) {
    if (ops.size() != count) {
      throw UsageError(command + " takes " + shape);
    }
  };
  if (command == "read-holding" || command == "read-input") {
    request.kind = command == "read-holding" ? Request::Kind::ReadHolding
                                             : Request::Kind::ReadInput;
    expect(2, "ADDR COUNT");
    const unsigned long address = ParseNumber("ADDR", ops[0], 0, 65535);
    const unsigned long count = ParseNumber("COUNT", ops[1], 1, kMaxReadCount);
    if (address + count > 65536) {
      throw UsageError("ADDR + COUNT goes past register 65535");
    }
    request.address = static_cast<unsigned short>(address);
    request.values.assign(count, 0);
  } else if (command == "write") {
    request.kind = Request::Kind::Write;
    expect(2, "ADDR VALUE");
    request.address =
        static_cast<unsigned short>(ParseNumber("ADDR", ops[0], 0, 65535));
    request.values.push_back(
        static_cast<unsigned short>(ParseNumber("VALUE", ops[1], 0, 65535)));
  } else if (command == "write-multiple") {
    request.kind = Request::Kind::WriteMultiple;
    if (ops.size() < 2) throw UsageError(command + " takes ADDR VALUE...");
    const unsigned long address = ParseNumber("ADDR", ops[0], 0, 65535);
    const std::size_t count = ops.size() - 1;
    if (count > kMaxWriteCount) {
      throw UsageError("too many values: " + std::to_string(count) +
                       " (at most 124 in one write)");
    }
    if (address + count > 65536) {
      throw UsageError("ADDR + number of values goes past register 65535");
    }
    request.address = static_cast<unsigned short>(address);
    for (std::size_t i = 1; i < ops.size(); ++i) {
      request.values.push_back(
          static_cast<unsigned short>(ParseNumber("VALUE", ops[i], 0, 65535)));
    }
  } else {
    throw UsageError("unknown command '" + command + "'");
  }
  return request;
}

// Connects, runs the request and prints the registers; returns the exit
// status.
int Run(const Arguments& args, Request& request, std::FILE* results) {
  std::unique_ptr<TCPModbusIntf> module(TCPModbusIntf::GetInstance());
  if (module->Initialize(static_cast<unsigned short>(args.module), args.local,
                         static_cast<unsigned short>(args.localPort),
                         args.server) == 0) {
    const char* reason = module->LastErrorString();
    if (reason[0] != '\0') {
      std::fprintf(stderr, "tcpmodbus-cli: cannot connect to %s: %s\n",
                   args.server.c_str(), reason);
    } else {
      std::fprintf(stderr,
                   "tcpmodbus-cli: cannot open a TCP socket on %s:%lu (%s)\n",
                   args.local.c_str(), args.localPort,
                   args.quiet ? "run without --quiet for the reason"
                              : "the library's trace above tells why");
    }
    return kExitFailed;
  }

  unsigned short* values = request.values.data();
  const auto count = static_cast<unsigned short>(request.values.size());
  int ok = 0;
  switch (request.kind) {
    case Request::Kind::ReadHolding:
      ok = module->ReadHoldRegs(request.address, values, count);
      break;
    case Request::Kind::ReadInput:
      ok = module->ReadInputRegs(request.address, values, count);
      break;
    case Request::Kind::Write:
      ok = module->WriteSingleHoldReg(request.address, values[0]);
      break;
    case Request::Kind::WriteMultiple:
      ok = module->WriteMultiHoldRegs(request.address, values, count);
      break;
  }
  if (ok == 0) {
    std::fprintf(stderr, "tcpmodbus-cli: %s failed: %s\n", args.command.c_str(),
                 module->LastErrorString());
    return kExitFailed;
  }
  std::fflush(stdout);  // the library's trace comes before the results
  for (unsigned short i = 0; i < count; ++i) {
    std::fprintf(
        results, "%u %u 0x%04x\n", static_cast<unsigned>(request.address + i),
        static_cast<unsigned>(values[i]), static_cast<unsigned>(values[i]));
  }
  std::fflush(results);
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  Request request{};
  try {
    args = ParseArguments(argc, argv);
    if (args.command == "help") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    request = CheckOperands(args);
  } catch (const UsageError& error) {
    std::fprintf(stderr,
                 "tcpmodbus-cli: %s\nTry 'tcpmodbus-cli --help' for more.\n",
                 error.text().c_str());
    return kExitUsage;
  }

#ifdef _WIN32
  // The library uses Windows Sockets but never starts them itself.
  WSADATA wsaData;
  if (WSAStartup(MAKEWORD(2, 2), &wsaData) != 0) {
    std::fprintf(stderr, "tcpmodbus-cli: WSAStartup failed\n");
    return kExitFailed;
  }
#endif
  int status;
  {
    StdoutRedirect redirect(args.quiet);
    status = Run(args, request, redirect.results());
  }
#ifdef _WIN32
  WSACleanup();
#endif
  return status;
}
