// --type and --order: the registers of read-holding, read-input, write and
// write-multiple given and shown as typed values, through the library's
// codecs (tcpmodbus/Values.h). Without --type the registers stay plain.
#ifndef TCPMODBUS_TOOLS_CLI_TYPEDVALUES_H_
#define TCPMODBUS_TOOLS_CLI_TYPEDVALUES_H_

#include <cstdio>
#include <string>
#include <vector>

#include "tcpmodbus/Values.h"

namespace cli {

struct Display {
  bool typed = false;  // --type given
  bool hex = false;    // --type hex: each register as u16, in hex alone
  std::string name;    // the type as given
  tcpmodbus::ValueFormat format;
  int registers = 1;  // a value's registers
};

// --type TYPE and --order ORDER (empty: ABCD); throws UsageError.
Display ParseDisplay(const std::string& type, const std::string& order);

// VALUE read as a value of the display's type (decimal or 0x-hex integers,
// a sign for the signed ones, floating-point numbers, a text), and the
// registers that hold it appended to `registers`; throws UsageError.
void AppendValue(const Display& display, const std::string& text,
                 std::vector<unsigned short>* registers);

// One line a value, from `first` on: "ADDR VALUE 0xRRRR..." (a text in
// double quotes), or "ADDR 0xRRRR" for hex.
void PrintValues(std::FILE* stream, const Display& display, unsigned first,
                 const std::vector<unsigned short>& registers);

// A text in double quotes, with \" \\ and \xHH for what does not print.
std::string Quoted(const std::string& value);

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_TYPEDVALUES_H_
