#include "Arguments.h"

#include <cerrno>
#include <cstdlib>

namespace cli {
namespace {

constexpr unsigned long kMaxMilliseconds = 24UL * 3600 * 1000;
constexpr unsigned long kMaxCount = 1000000000;
// The time-out of polls when --timeout is not given.
constexpr unsigned long kPollTimeoutMs = 1000;

}  // namespace

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
      const bool takesValue =
          arg == "--server" || arg == "--local" || arg == "--local-port" ||
          arg == "--module" || arg == "--port" || arg == "--unit" ||
          arg == "--timeout" || arg == "--poll" || arg == "--count" ||
          arg == "--trace" || arg == "--type" || arg == "--order" ||
          arg == "--max-gap" || arg == "--max-registers" || arg == "--max-bits" ||
          arg == "--in-flight";
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
      } else if (arg == "--in-flight") {
        args.inFlight =
            ParseNumber("--in-flight", value, 1, TCPMODBUS_MAX_IN_FLIGHT);
      } else if (arg == "--type") {
        if (value.empty()) throw UsageError("--type needs a type");
        args.valueType = value;
      } else if (arg == "--order") {
        if (value.empty()) throw UsageError("--order needs an order");
        args.valueOrder = value;
      } else if (arg == "--one-based") {
        args.oneBased = true;
      } else if (arg == "--plan") {
        args.planOnly = true;
        args.mapOptions = true;
      } else if (arg == "--max-gap") {
        args.maxGap = ParseNumber("--max-gap", value, 0, 65535);
        args.mapOptions = true;
      } else if (arg == "--max-registers") {
        args.maxRegisters = ParseNumber("--max-registers", value, 1,
                                        TCPMODBUS_MAX_READ_REGISTERS);
        args.mapOptions = true;
      } else if (arg == "--max-bits") {
        args.maxBits =
            ParseNumber("--max-bits", value, 1, TCPMODBUS_MAX_READ_BITS);
        args.mapOptions = true;
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
    throw UsageError(
        "--quiet turns the trace off; it does not go with --trace");
  }
  if (args.count != 0 && args.pollMs == 0) {
    throw UsageError("--count goes with --poll");
  }
  if (args.mapOptions && args.command != "read-map") {
    throw UsageError(
        "--plan, --max-gap, --max-registers and --max-bits go with read-map");
  }
  if (args.planOnly && args.pollMs != 0) {
    throw UsageError("--plan sends nothing; it does not go with --poll");
  }
  if (!args.valueOrder.empty() && args.valueType.empty()) {
    throw UsageError("--order goes with --type");
  }
  // A poll must come back even from a module that lost power.
  if (args.pollMs != 0 && !args.timeoutGiven) args.timeoutMs = kPollTimeoutMs;
  return args;
}

}  // namespace cli
