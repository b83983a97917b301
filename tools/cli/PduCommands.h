// identify and request: a module's identification objects (function code
// 43, MEI type 14), and a raw request of any function code whose answer's
// PDU is shown as it came.
#ifndef TCPMODBUS_TOOLS_CLI_PDUCOMMANDS_H_
#define TCPMODBUS_TOOLS_CLI_PDUCOMMANDS_H_

#include <cstdio>
#include <string>
#include <vector>

#include "Arguments.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace cli {

struct PduJob {
  bool identify = false;
  int code = TCPMODBUS_IDENT_BASIC;  // identify: the read device id code
  unsigned char number = 0;          // the object id, or the function code
  std::vector<unsigned char> data;   // request: the bytes after the code
};

bool IsPduCommand(const std::string& command);

// identify [basic|regular|extended | object ID], request CODE [BYTE...];
// throws UsageError. The protocol's limits are the library's to refuse.
PduJob CheckPduOperands(const Arguments& args);

// Runs the job and prints one object a line, `NAME "VALUE"` (the id in hex
// for an object without a name), or the answer's PDU in hex on one line.
// False, with the reason on stderr, when the library failed.
bool RunPduJob(TCPModbusIntf& module, const Arguments& args, const PduJob& job,
               std::FILE* stream);

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_PDUCOMMANDS_H_
