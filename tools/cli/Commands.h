// The commands of tcpmodbus-cli and their operands, checked for what the
// command line can say before anything is connected: numbers that fit their
// C types. The protocol's limits are the library's.
#ifndef TCPMODBUS_TOOLS_CLI_COMMANDS_H_
#define TCPMODBUS_TOOLS_CLI_COMMANDS_H_

#include <vector>

#include "Arguments.h"
#include "TypedValues.h"

namespace cli {

// What the command asks of the module.
struct Request {
  enum class Kind {
    ReadHolding,
    ReadInput,
    Write,
    WriteMultiple,
    ReadCoils,
    ReadDiscreteInputs,
    WriteCoil,
    WriteCoils,
    MaskWrite,
    ReadWrite,
  } kind;
  unsigned short address = 0;  // the first register or bit (read-write: read)
  // Registers to write, or as many as are read (values filled in by the read).
  std::vector<unsigned short> registers;
  // Coils to write, one 0 or 1 a byte, or as many bits as are read.
  std::vector<unsigned char> bits;
  unsigned short andMask = 0;  // mask-write
  unsigned short orMask = 0;
  unsigned short writeAddress = 0;  // read-write: the registers written
  std::vector<unsigned short> written;
  // How registers are shown (--type), and the number of the first address
  // in what is shown (--one-based: 1).
  Display display;
  unsigned addressBase = 0;
};

// Throws UsageError.
Request CheckOperands(const Arguments& args);

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_COMMANDS_H_
