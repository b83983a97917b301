// Typed values (library 1.3): a value wider than a register, or a text, held
// in consecutive registers, as free functions over a TCPModbusIntf object
// and as codecs that need none.
//
//   tcpmodbus::ValueFormat format;
//   tcpmodbus::ParseValueFormat("f32", "CDAB", &format);
//   float level;
//   if (tcpmodbus::ReadValue(*module, tcpmodbus::Table::kInput, 30, format,
//                            &level)) ...
//
// A format is a type and an order, the TCPMODBUS_TYPE_* and
// TCPMODBUS_ORDER_* constants of tcpmodbus.h (which tells what each means),
// and for a string the registers it takes. A value is held in the C++ type of
// its type's kind: std::int64_t for i16, i32 and i64, std::uint64_t for u16,
// u32 and u64, float for f32, double for f64, std::string for a string. A
// function given a value of another kind refuses it, so does one given an
// unknown type or order, or an integer out of its type's range. Floats are
// copied bit for bit, never converted.
//
// ReadValue reads one value in one request of the registers its type takes
// (function code 3 or 4); WriteValue writes one in one request, function
// code 16, so that a value of several registers is never torn (u16 and i16
// take function code 6). They run the object's register operations, with
// their trace, results and failures. A value refused before anything is sent
// fails with ErrorInvalidArgument and a text that says why in
// LastErrorString(), for an object of this library.
#ifndef TCPMODBUS_VALUES_H_
#define TCPMODBUS_VALUES_H_

#include <cstdint>
#include <string>

#include "tcpmodbus/TCPModbusIntf.h"
#include "tcpmodbus/export.h"
#include "tcpmodbus/tcpmodbus.h"

namespace tcpmodbus {

// The registers a typed read takes its value from.
enum class Table {
  kHolding = TCPMODBUS_TABLE_HOLDING,
  kInput = TCPMODBUS_TABLE_INPUT,
};

struct ValueFormat {
  int type = TCPMODBUS_TYPE_U16;
  int order = TCPMODBUS_ORDER_ABCD;
  // TCPMODBUS_TYPE_STRING only: 1 to TCPMODBUS_MAX_STRING_REGISTERS.
  unsigned short stringRegisters = 0;
};

// Reads a type's name ("u16", "i16", "u32", "i32", "u64", "i64", "f32",
// "f64", "string:N") and an order's ("ABCD", "CDAB", "BADC", "DCBA", and for
// 64-bit types also "ABCDEFGH", "GHEFCDAB", "BADCFEHG", "HGFEDCBA"). False
// for another name; `format` is then left as it was.
TCPMODBUS_EXPORT bool ParseValueFormat(const std::string& type,
                                       const std::string& order,
                                       ValueFormat* format);
// The registers a value of the format takes: 1, 2, 4 or a string's own
// count; 0 for a format that is not valid.
TCPMODBUS_EXPORT int ValueRegisters(const ValueFormat& format);

// A value into the ValueRegisters(format) registers that hold it; false,
// with nothing written, for a refused format or value.
TCPMODBUS_EXPORT bool EncodeValue(const ValueFormat& format, std::int64_t value,
                                  unsigned short* registers);
TCPMODBUS_EXPORT bool EncodeValue(const ValueFormat& format,
                                  std::uint64_t value,
                                  unsigned short* registers);
TCPMODBUS_EXPORT bool EncodeValue(const ValueFormat& format, float value,
                                  unsigned short* registers);
TCPMODBUS_EXPORT bool EncodeValue(const ValueFormat& format, double value,
                                  unsigned short* registers);
// Padded with NUL; a text longer than two characters a register is refused.
TCPMODBUS_EXPORT bool EncodeValue(const ValueFormat& format,
                                  const std::string& value,
                                  unsigned short* registers);

// ValueRegisters(format) registers into a value; false, with `value` as it
// was, for a refused format or a value of another kind. A string comes
// back with trailing NUL and blank characters trimmed.
TCPMODBUS_EXPORT bool DecodeValue(const ValueFormat& format,
                                  const unsigned short* registers,
                                  std::int64_t* value);
TCPMODBUS_EXPORT bool DecodeValue(const ValueFormat& format,
                                  const unsigned short* registers,
                                  std::uint64_t* value);
TCPMODBUS_EXPORT bool DecodeValue(const ValueFormat& format,
                                  const unsigned short* registers,
                                  float* value);
TCPMODBUS_EXPORT bool DecodeValue(const ValueFormat& format,
                                  const unsigned short* registers,
                                  double* value);
TCPMODBUS_EXPORT bool DecodeValue(const ValueFormat& format,
                                  const unsigned short* registers,
                                  std::string* value);

// One value from `table`; `value` is written only on success. 1 for
// success, 0 for failure, as the object's operations.
TCPMODBUS_EXPORT int ReadValue(TCPModbusIntf& module, Table table,
                               unsigned short address,
                               const ValueFormat& format, std::int64_t* value);
TCPMODBUS_EXPORT int ReadValue(TCPModbusIntf& module, Table table,
                               unsigned short address,
                               const ValueFormat& format, std::uint64_t* value);
TCPMODBUS_EXPORT int ReadValue(TCPModbusIntf& module, Table table,
                               unsigned short address,
                               const ValueFormat& format, float* value);
TCPMODBUS_EXPORT int ReadValue(TCPModbusIntf& module, Table table,
                               unsigned short address,
                               const ValueFormat& format, double* value);
TCPMODBUS_EXPORT int ReadValue(TCPModbusIntf& module, Table table,
                               unsigned short address,
                               const ValueFormat& format, std::string* value);

// One value to holding registers from `address` on.
TCPMODBUS_EXPORT int WriteValue(TCPModbusIntf& module, unsigned short address,
                                const ValueFormat& format, std::int64_t value);
TCPMODBUS_EXPORT int WriteValue(TCPModbusIntf& module, unsigned short address,
                                const ValueFormat& format, std::uint64_t value);
TCPMODBUS_EXPORT int WriteValue(TCPModbusIntf& module, unsigned short address,
                                const ValueFormat& format, float value);
TCPMODBUS_EXPORT int WriteValue(TCPModbusIntf& module, unsigned short address,
                                const ValueFormat& format, double value);
TCPMODBUS_EXPORT int WriteValue(TCPModbusIntf& module, unsigned short address,
                                const ValueFormat& format,
                                const std::string& value);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_VALUES_H_
