// The operating system's own description of an error number the library
// reports (LastSystemError): errno on POSIX, a Windows Sockets number on
// Windows.
#ifndef TCPMODBUS_TOOLS_CLI_SYSTEMERROR_H_
#define TCPMODBUS_TOOLS_CLI_SYSTEMERROR_H_

#include <string>

namespace cli {

// "Connection refused", without a final full stop or line end; empty when
// the system has no text for the number.
std::string SystemErrorText(int number);

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_SYSTEMERROR_H_
