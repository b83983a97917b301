#include "Arguments.h"

#include <cerrno>
#include <cstdlib>

namespace cli {
namespace {

// What one request buffer holds: 125 registers fill the largest answer (9 +
// 2 * 125 bytes of 261), 124 the largest write request (13 + 2 * 124).
constexpr unsigned long kMaxReadCount = 125;
constexpr unsigned long kMaxWriteCount = 124;
constexpr unsigned long kMaxMilliseconds = 24UL * 3600 * 1000;
constexpr unsigned long kMaxCount = 1000000000;
// The time-out of polls when --timeout is not given.
constexpr unsigned long kPollTimeoutMs = 1000;

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

}  // namespace

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
      const bool takesValue =
          arg == "--server" || arg == "--local" || arg == "--local-port" ||
          arg == "--module" || arg == "--port" || arg == "--unit" ||
          arg == "--timeout" || arg == "--poll" || arg == "--count" ||
          arg == "--trace";
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
      } else if (arg == "--trace") {
        if (value.empty()) throw UsageError("--trace needs a file name");
        args.traceFile = value;
      } else if (arg == "--no-transaction-ids") {
        args.transactionIds = false;
      } else if (arg == "--server") {
        args.server = value;
      } else if (arg == "--local") {
        args.local = value;
      } else if (arg == "--local-port") {
        args.localPort = ParseNumber("--local-port", value, 0, 65535);
      } else if (arg == "--module") {
        args.module = ParseNumber("--module", value, 0, 65535);
      } else if (arg == "--port") {
        args.port = ParseNumber("--port", value, 1, 65535);
      } else if (arg == "--unit") {
        args.unit = ParseNumber("--unit", value, 0, 255);
      } else if (arg == "--timeout") {
        args.timeoutMs = ParseNumber("--timeout", value, 1, kMaxMilliseconds);
        args.timeoutGiven = true;
      } else if (arg == "--poll") {
        args.pollMs = ParseNumber("--poll", value, 1, kMaxMilliseconds);
      } else if (arg == "--count") {
        args.count = ParseNumber("--count", value, 1, kMaxCount);
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
  if (args.quiet && !args.traceFile.empty()) {
    throw UsageError("--quiet turns the trace off; it does not go with --trace");
  }
  if (args.count != 0 && args.pollMs == 0) {
    throw UsageError("--count goes with --poll");
  }
  // A poll must come back even from a module that lost power.
  if (args.pollMs != 0 && !args.timeoutGiven) args.timeoutMs = kPollTimeoutMs;
  return args;
}

const char kUsage[] =
    "Usage: tcpmodbus-cli [options] COMMAND ARGS...\n"
    "Reads and writes the registers of a DIO module over Modbus/TCP.\n"
    "\n"
    "Commands:\n"
    "  read-holding ADDR COUNT      read COUNT holding registers (1 to 125)\n"
    "  read-input ADDR COUNT        read COUNT input registers (1 to 125)\n"
    "  write ADDR VALUE             write one holding register\n"
    "  write-multiple ADDR VALUE... write 1 to 124 holding registers from ADDR on\n"
    "\n"
    "Options:\n"
    "  --server A      the module's IPv4 address (default 127.0.0.1)\n"
    "  --port P        the module's TCP port (default 502)\n"
    "  --unit U        unit identifier of the requests, 0 to 255 (default 1)\n"
    "  --local A       local address to bind (default 127.0.0.1)\n"
    "  --local-port P  local port to bind (default 0: any)\n"
    "  --module N      module number shown in the library's messages (default 1)\n"
    "  --timeout MS    longest wait for the connection and for each answer\n"
    "                  (default: no limit; 1000 with --poll)\n"
    "  --poll MS       repeat the command every MS milliseconds, reconnecting\n"
    "                  after a failure, until Ctrl-C or --count; then print a\n"
    "                  summary of exchanges, failures, reconnects and periods\n"
    "                  skipped (a poll that overran its period is not made up)\n"
    "                  on stderr. A second Ctrl-C stops at once (status 130).\n"
    "  --count N       stop after N polls\n"
    "  --no-transaction-ids\n"
    "                  send every request with transaction identifier 0, for\n"
    "                  devices that do not echo it (default: each request its\n"
    "                  own, and only the answer carrying it counts)\n"
    "  --quiet         turn the library's trace off, print only the results\n"
    "  --trace FILE    write the library's trace to FILE (created or emptied)\n"
    "                  instead of standard output\n"
    "  --help          this text\n"
    "\n"
    "Numbers are decimal or 0x-hex. Results: one register a line, as\n"
    "\"address decimal hex\". Exit status 0 on success (with --poll: the last\n"
    "poll succeeded), 1 when the module could not be reached or refused the\n"
    "operation, or when the results could not be written; 2 on a usage error.\n";

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

}  // namespace cli
