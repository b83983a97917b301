// What the CLI says on standard error when the library failed: the library's
// own text of the failure (LastFailureText), then the system's description
// of its error number, if any. The CLI builds no message of its own for it.
#ifndef TCPMODBUS_TOOLS_CLI_FAILURETEXT_H_
#define TCPMODBUS_TOOLS_CLI_FAILURETEXT_H_

#include <string>

#include "tcpmodbus/TCPModbusIntf.h"

namespace cli {

// After a failed Initialize or operation: "CMBusTCP::ConnectToServer: Failed
// to connect to DIO Module 1 at 10.0.0.7 port 502: WSASocket failed. connect
// Error(111): Connection refused".
std::string FailureText(TCPModbusIntf& module);

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_FAILURETEXT_H_
