// The command line of tcpmodbus-cli: options, command and operands, checked
// before anything is connected.
#ifndef TCPMODBUS_TOOLS_CLI_ARGUMENTS_H_
#define TCPMODBUS_TOOLS_CLI_ARGUMENTS_H_

#include <string>
#include <utility>
#include <vector>

#include "tcpmodbus/tcpmodbus.h"

namespace cli {

extern const char kUsage[];

struct Arguments {
  std::string server = "127.0.0.1";
  // The wildcard, so that the system picks the interface of the route to
  // the server; a loopback address could only reach this machine.
  std::string local = "0.0.0.0";
  unsigned long localPort = 0;
  unsigned long module = 1;
  unsigned long port = 502;
  unsigned long unit = 1;
  unsigned long timeoutMs = 0;  // 0: the library's default, no limit
  bool timeoutGiven = false;
  unsigned long pollMs = 0;  // 0: one request, no polling
  unsigned long count = 0;   // polls; 0: until Ctrl-C
  bool quiet = false;        // the library's trace off
  std::string traceFile;     // the library's trace to this file
  // On unless --no-transaction-ids: the CLI's own default, so that a late or
  // duplicated answer is never printed as this request's.
  bool transactionIds = true;
  // Requests of a map read in flight before the first answer; 1: one at a
  // time.
  unsigned long inFlight = 1;
  // --type and --order: the registers as typed values (TypedValues.h);
  // empty when not given.
  std::string valueType;
  std::string valueOrder;
  // --one-based: addresses given and shown from 1, address 1 being register
  // (or coil, or input) 0.
  bool oneBased = false;
  // read-map: the plan's limits, and --plan (print it, send nothing);
  // mapOptions: one of these options was given.
  unsigned long maxGap = 0;
  unsigned long maxRegisters = TCPMODBUS_MAX_READ_REGISTERS;
  unsigned long maxBits = TCPMODBUS_MAX_READ_BITS;
  bool planOnly = false;
  bool mapOptions = false;
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

// Throws UsageError.
Arguments ParseArguments(int argc, char** argv);
// Decimal, or hex after 0x/0X; no sign, no blanks, from `min` to `max`;
// `what` names it in the UsageError thrown otherwise.
unsigned long ParseNumber(const std::string& what, const std::string& text,
                          unsigned long min, unsigned long max);

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_ARGUMENTS_H_
