// The typed values of the C interface (tcpmodbus.h, library 1.3): each
// function forwards to the C++ face (Values.h), so results, trace lines,
// frames and texts are the same. What it adds is the C side of the boundary:
// the numbers of names, 64-bit integers of C, texts in the caller's buffers,
// null handles, and no exception leaving.
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "front/CHandle.h"
#include "front/ValueFailure.h"
#include "tcpmodbus/Values.h"
#include "tcpmodbus/tcpmodbus.h"
#include "values/ValueType.h"

namespace {

using tcpmodbus::ErrorCode;
using tcpmodbus::Guarded;
using tcpmodbus::RecordValueFailure;
using tcpmodbus::Table;
using tcpmodbus::ValueFormat;

ValueFormat FormatOf(int type, int order, unsigned short stringRegisters = 0) {
  ValueFormat format;
  format.type = type;
  format.order = order;
  format.stringRegisters = stringRegisters;
  return format;
}

ValueFormat StringFormat(int order, unsigned short registers) {
  return FormatOf(TCPMODBUS_TYPE_STRING, order, registers);
}

// The same for the codecs, which have no object to tell: 0.
template <typename Call>
int NoThrow(Call call) {
  try {
    return call() ? 1 : 0;
  }
  TCPMODBUS_RETHROW_FORCED_UNWIND
  catch (...) {
    return 0;
  }
}

// A text of `value` in the caller's buffer, as tcpmodbus.h describes it.
void GiveText(const std::string& value, char* text, size_t* length) {
  std::memcpy(text, value.data(), value.size());
  text[value.size()] = '\0';
  if (length != nullptr) *length = value.size();
}

}  // namespace

int tcpmodbus_parse_type(const char* name, int* type,
                         unsigned short* registers) {
  tcpmodbus::values::ValueType parsed;
  if (name == nullptr || type == nullptr || registers == nullptr) return 0;
  return NoThrow([&] {
    if (!tcpmodbus::values::ParseType(name, &parsed)) return false;
    *type = static_cast<int>(parsed.type);
    *registers =
        static_cast<unsigned short>(tcpmodbus::values::RegisterCount(parsed));
    return true;
  });
}

int tcpmodbus_parse_order(const char* name, int type, int* order) {
  tcpmodbus::values::ValueType checked;
  tcpmodbus::values::Order parsed;
  if (name == nullptr || order == nullptr ||
      !tcpmodbus::values::TypeOfNumbers(type, 1, &checked)) {
    return 0;
  }
  return NoThrow([&] {
    if (!tcpmodbus::values::ParseOrder(name, checked.type, &parsed)) {
      return false;
    }
    *order = static_cast<int>(parsed);
    return true;
  });
}

int tcpmodbus_parse_table(const char* name, int* table) {
  if (name == nullptr || table == nullptr) return 0;
  if (std::strcmp(name, "holding") == 0) {
    *table = TCPMODBUS_TABLE_HOLDING;
  } else if (std::strcmp(name, "input") == 0) {
    *table = TCPMODBUS_TABLE_INPUT;
  } else {
    return 0;
  }
  return 1;
}

int tcpmodbus_encode_signed(int type, int order, tcpmodbus_int64 value,
                            unsigned short* registers) {
  return NoThrow([&] {
    return tcpmodbus::EncodeValue(FormatOf(type, order),
                                  static_cast<std::int64_t>(value), registers);
  });
}

int tcpmodbus_encode_unsigned(int type, int order, tcpmodbus_uint64 value,
                              unsigned short* registers) {
  return NoThrow([&] {
    return tcpmodbus::EncodeValue(FormatOf(type, order),
                                  static_cast<std::uint64_t>(value), registers);
  });
}

int tcpmodbus_encode_f32(int order, float value, unsigned short* registers) {
  return NoThrow([&] {
    return tcpmodbus::EncodeValue(FormatOf(TCPMODBUS_TYPE_F32, order), value,
                                  registers);
  });
}

int tcpmodbus_encode_f64(int order, double value, unsigned short* registers) {
  return NoThrow([&] {
    return tcpmodbus::EncodeValue(FormatOf(TCPMODBUS_TYPE_F64, order), value,
                                  registers);
  });
}

int tcpmodbus_encode_string(int order, const char* text,
                            unsigned short* registers, unsigned short count) {
  if (text == nullptr) return 0;
  return NoThrow([&] {
    return tcpmodbus::EncodeValue(StringFormat(order, count), std::string(text),
                                  registers);
  });
}

int tcpmodbus_decode_signed(int type, int order,
                            const unsigned short* registers,
                            tcpmodbus_int64* value) {
  std::int64_t decoded = 0;
  if (value == nullptr) return 0;
  return NoThrow([&] {
    if (!tcpmodbus::DecodeValue(FormatOf(type, order), registers, &decoded)) {
      return false;
    }
    *value = decoded;
    return true;
  });
}

int tcpmodbus_decode_unsigned(int type, int order,
                              const unsigned short* registers,
                              tcpmodbus_uint64* value) {
  std::uint64_t decoded = 0;
  if (value == nullptr) return 0;
  return NoThrow([&] {
    if (!tcpmodbus::DecodeValue(FormatOf(type, order), registers, &decoded)) {
      return false;
    }
    *value = decoded;
    return true;
  });
}

int tcpmodbus_decode_f32(int order, const unsigned short* registers,
                         float* value) {
  return NoThrow([&] {
    return tcpmodbus::DecodeValue(FormatOf(TCPMODBUS_TYPE_F32, order),
                                  registers, value);
  });
}

int tcpmodbus_decode_f64(int order, const unsigned short* registers,
                         double* value) {
  return NoThrow([&] {
    return tcpmodbus::DecodeValue(FormatOf(TCPMODBUS_TYPE_F64, order),
                                  registers, value);
  });
}

int tcpmodbus_decode_string(int order, const unsigned short* registers,
                            unsigned short count, char* text, size_t* length) {
  if (text == nullptr) return 0;
  return NoThrow([&] {
    std::string value;
    if (!tcpmodbus::DecodeValue(StringFormat(order, count), registers,
                                &value)) {
      return false;
    }
    GiveText(value, text, length);
    return true;
  });
}

int tcpmodbus_read_signed(tcpmodbus_module* module, int table,
                          unsigned short addr, int type, int order,
                          tcpmodbus_int64* value) {
  return Guarded(module, "tcpmodbus_read_signed", [&](TCPModbusIntf& object) {
    std::int64_t read = 0;
    const int result =
        tcpmodbus::ReadValue(object, static_cast<Table>(table), addr,
                             FormatOf(type, order), value ? &read : nullptr);
    if (result == 1) *value = read;
    return result;
  });
}

int tcpmodbus_read_unsigned(tcpmodbus_module* module, int table,
                            unsigned short addr, int type, int order,
                            tcpmodbus_uint64* value) {
  return Guarded(module, "tcpmodbus_read_unsigned", [&](TCPModbusIntf& object) {
    std::uint64_t read = 0;
    const int result =
        tcpmodbus::ReadValue(object, static_cast<Table>(table), addr,
                             FormatOf(type, order), value ? &read : nullptr);
    if (result == 1) *value = read;
    return result;
  });
}

int tcpmodbus_read_f32(tcpmodbus_module* module, int table, unsigned short addr,
                       int order, float* value) {
  return Guarded(module, "tcpmodbus_read_f32", [&](TCPModbusIntf& object) {
    return tcpmodbus::ReadValue(object, static_cast<Table>(table), addr,
                                FormatOf(TCPMODBUS_TYPE_F32, order), value);
  });
}

int tcpmodbus_read_f64(tcpmodbus_module* module, int table, unsigned short addr,
                       int order, double* value) {
  return Guarded(module, "tcpmodbus_read_f64", [&](TCPModbusIntf& object) {
    return tcpmodbus::ReadValue(object, static_cast<Table>(table), addr,
                                FormatOf(TCPMODBUS_TYPE_F64, order), value);
  });
}

int tcpmodbus_read_string(tcpmodbus_module* module, int table,
                          unsigned short addr, int order, unsigned short count,
                          char* text, size_t* length) {
  return Guarded(module, "tcpmodbus_read_string", [&](TCPModbusIntf& object) {
    std::string read;
    const int result = tcpmodbus::ReadValue(object, static_cast<Table>(table),
                                            addr, StringFormat(order, count),
                                            text ? &read : nullptr);
    if (result == 1) GiveText(read, text, length);
    return result;
  });
}

int tcpmodbus_write_signed(tcpmodbus_module* module, unsigned short addr,
                           int type, int order, tcpmodbus_int64 value) {
  return Guarded(module, "tcpmodbus_write_signed", [&](TCPModbusIntf& object) {
    return tcpmodbus::WriteValue(object, addr, FormatOf(type, order),
                                 static_cast<std::int64_t>(value));
  });
}

int tcpmodbus_write_unsigned(tcpmodbus_module* module, unsigned short addr,
                             int type, int order, tcpmodbus_uint64 value) {
  return Guarded(
      module, "tcpmodbus_write_unsigned", [&](TCPModbusIntf& object) {
        return tcpmodbus::WriteValue(object, addr, FormatOf(type, order),
                                     static_cast<std::uint64_t>(value));
      });
}

int tcpmodbus_write_f32(tcpmodbus_module* module, unsigned short addr,
                        int order, float value) {
  return Guarded(module, "tcpmodbus_write_f32", [&](TCPModbusIntf& object) {
    return tcpmodbus::WriteValue(object, addr,
                                 FormatOf(TCPMODBUS_TYPE_F32, order), value);
  });
}

int tcpmodbus_write_f64(tcpmodbus_module* module, unsigned short addr,
                        int order, double value) {
  return Guarded(module, "tcpmodbus_write_f64", [&](TCPModbusIntf& object) {
    return tcpmodbus::WriteValue(object, addr,
                                 FormatOf(TCPMODBUS_TYPE_F64, order), value);
  });
}

int tcpmodbus_write_string(tcpmodbus_module* module, unsigned short addr,
                           int order, unsigned short count, const char* text) {
  static constexpr char kName[] = "tcpmodbus_write_string";
  return Guarded(module, kName, [&](TCPModbusIntf& object) {
    if (text == nullptr) {
      return RecordValueFailure(object, ErrorCode::kInvalidArgument,
                                "%s: Null value pointer", kName);
    }
    return tcpmodbus::WriteValue(object, addr, StringFormat(order, count),
                                 std::string(text));
  });
}
