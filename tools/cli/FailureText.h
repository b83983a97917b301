// What the CLI says on standard error when the library failed, chosen by the
// failure's code (LastErrorCode), never by its text: the library's text, then
// the system's own description of its error number, if any.
#ifndef TCPMODBUS_TOOLS_CLI_FAILURETEXT_H_
#define TCPMODBUS_TOOLS_CLI_FAILURETEXT_H_

#include <string>

#include "Arguments.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace cli {

// After a failed Initialize: "cannot connect to A: REASON" or "cannot open a
// TCP socket on A:P: REASON".
std::string ConnectFailure(TCPModbusIntf& module, const Arguments& args);
// After a failed operation: the reason alone.
std::string OperationFailure(TCPModbusIntf& module);

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_FAILURETEXT_H_
