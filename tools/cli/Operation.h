// A request carried out through the library, and its results as the CLI
// prints them.
#ifndef TCPMODBUS_TOOLS_CLI_OPERATION_H_
#define TCPMODBUS_TOOLS_CLI_OPERATION_H_

#include <cstdio>

#include "Commands.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace cli {

// The library's result: 1 on success, 0 on failure. Reads fill the
// request's registers or bits.
int Perform(TCPModbusIntf& module, Request& request);

// One line a register, "address decimal hex", or a bit, "address 0|1": those
// read, or written (read-write: those read). A mask write prints nothing;
// the module does not tell what the register became.
void PrintResults(std::FILE* stream, const Request& request);

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_OPERATION_H_
