// The typed values of the C++ face (Values.h): a format checked against the
// kind of value a call carries, the codecs over it, and one register
// operation of the object for each typed read or write.
#include <cstdint>
#include <string>

#include "front/ValueFailure.h"
#include "tcpmodbus/Values.h"
#include "values/Codec.h"
#include "values/ValueType.h"

namespace tcpmodbus {
namespace {

using values::Kind;
using values::Order;
using values::Refusal;
using values::Type;
using values::ValueType;

constexpr char kReadName[] = "tcpmodbus::ReadValue";
constexpr char kWriteName[] = "tcpmodbus::WriteValue";
// The most registers a value takes: the longest string's.
constexpr int kMaxRegisters = TCPMODBUS_MAX_STRING_REGISTERS;

template <typename T>
struct KindOfValue;
template <>
struct KindOfValue<std::int64_t> {
  static constexpr Kind kKind = Kind::kSigned;
};
template <>
struct KindOfValue<std::uint64_t> {
  static constexpr Kind kKind = Kind::kUnsigned;
};
template <>
struct KindOfValue<float> {
  static constexpr Kind kKind = Kind::kF32;
};
template <>
struct KindOfValue<double> {
  static constexpr Kind kKind = Kind::kF64;
};
template <>
struct KindOfValue<std::string> {
  static constexpr Kind kKind = Kind::kText;
};

// A format that fits a call of its kind.
struct Checked {
  ValueType type;
  Order order = Order::kABCD;
};

// Who is told why a format or a value was refused: an object's failure
// record, under the operation's name; nobody for the codecs (null module),
// which only say no.
struct Caller {
  TCPModbusIntf* module;
  const char* name;
};

bool Check(const Caller& caller, const ValueFormat& format, Kind kind,
           Checked* checked) {
  TCPModbusIntf* module = caller.module;
  if (!values::TypeOfNumbers(format.type, format.stringRegisters,
                             &checked->type)) {
    if (module != nullptr && format.type == TCPMODBUS_TYPE_STRING) {
      RecordValueFailure(*module, ErrorCode::kInvalidArgument,
                         "%s: A string takes 1 to %d registers, not %u",
                         caller.name, kMaxRegisters, format.stringRegisters);
    } else if (module != nullptr) {
      RecordValueFailure(*module, ErrorCode::kInvalidArgument,
                         "%s: Unknown value type %d", caller.name, format.type);
    }
    return false;
  }
  if (!values::OrderOfNumber(format.order, &checked->order)) {
    if (module != nullptr) {
      RecordValueFailure(*module, ErrorCode::kInvalidArgument,
                         "%s: Unknown byte order %d", caller.name,
                         format.order);
    }
    return false;
  }
  const Kind own = values::KindOf(checked->type.type);
  if (own != kind) {
    if (module != nullptr) {
      RecordValueFailure(*module, ErrorCode::kInvalidArgument,
                         "%s: Type %s takes %s, not %s", caller.name,
                         values::TypeName(checked->type).c_str(),
                         values::KindName(own), values::KindName(kind));
    }
    return false;
  }
  return true;
}

int Registers(const Checked& checked) {
  return values::RegisterCount(checked.type);
}

Refusal Encode(const Checked& checked, std::int64_t value,
               std::uint16_t* registers) {
  return values::EncodeSigned(checked.type.type, checked.order, value,
                              registers);
}
Refusal Encode(const Checked& checked, std::uint64_t value,
               std::uint16_t* registers) {
  return values::EncodeUnsigned(checked.type.type, checked.order, value,
                                registers);
}
Refusal Encode(const Checked& checked, float value, std::uint16_t* registers) {
  values::EncodeF32(checked.order, value, registers);
  return Refusal::kNone;
}
Refusal Encode(const Checked& checked, double value, std::uint16_t* registers) {
  values::EncodeF64(checked.order, value, registers);
  return Refusal::kNone;
}
Refusal Encode(const Checked& checked, const std::string& value,
               std::uint16_t* registers) {
  return values::EncodeText(checked.order, value.data(), value.size(),
                            Registers(checked), registers);
}

// A number's decimal digits, formatted here: the C runtime of Windows reads
// no %zu, not every one reads %lld, and std::to_string would leave the
// library with an exported table of digits.
std::string Decimal(std::uint64_t magnitude, bool negative = false) {
  char digits[20];
  char* first = digits + sizeof digits;
  do {
    *--first = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  return (negative ? "-" : "") + std::string(first, digits + sizeof digits);
}
std::string Decimal(std::int64_t value) {
  // The magnitude of the most negative value fits only the unsigned type.
  const auto bits = static_cast<std::uint64_t>(value);
  return value < 0 ? Decimal(~bits + 1, true) : Decimal(bits);
}

// Why Encode refused a value, to the caller's object.
void Explain(TCPModbusIntf& module, const Checked& checked,
             std::int64_t value) {
  const Type type = checked.type.type;
  RecordValueFailure(module, ErrorCode::kInvalidArgument,
                     "%s: %s is out of range for %s (%s to %s)", kWriteName,
                     Decimal(value).c_str(),
                     values::TypeName(checked.type).c_str(),
                     Decimal(values::SignedMin(type)).c_str(),
                     Decimal(values::SignedMax(type)).c_str());
}
void Explain(TCPModbusIntf& module, const Checked& checked,
             std::uint64_t value) {
  RecordValueFailure(module, ErrorCode::kInvalidArgument,
                     "%s: %s is out of range for %s (0 to %s)", kWriteName,
                     Decimal(value).c_str(),
                     values::TypeName(checked.type).c_str(),
                     Decimal(values::UnsignedMax(checked.type.type)).c_str());
}
void Explain(TCPModbusIntf&, const Checked&, float) {}
void Explain(TCPModbusIntf&, const Checked&, double) {}
void Explain(TCPModbusIntf& module, const Checked& checked,
             const std::string& value) {
  RecordValueFailure(module, ErrorCode::kInvalidArgument,
                     "%s: A text of %s characters does not fit %s (at most %d)",
                     kWriteName, Decimal(std::uint64_t{value.size()}).c_str(),
                     values::TypeName(checked.type).c_str(),
                     2 * Registers(checked));
}

void Decode(const Checked& checked, const std::uint16_t* registers,
            std::int64_t* value) {
  *value = values::DecodeSigned(checked.type.type, checked.order, registers);
}
void Decode(const Checked& checked, const std::uint16_t* registers,
            std::uint64_t* value) {
  *value = values::DecodeUnsigned(checked.type.type, checked.order, registers);
}
void Decode(const Checked& checked, const std::uint16_t* registers,
            float* value) {
  *value = values::DecodeF32(checked.order, registers);
}
void Decode(const Checked& checked, const std::uint16_t* registers,
            double* value) {
  *value = values::DecodeF64(checked.order, registers);
}
void Decode(const Checked& checked, const std::uint16_t* registers,
            std::string* value) {
  char text[2 * kMaxRegisters];
  const std::size_t length =
      values::DecodeText(checked.order, registers, Registers(checked), text);
  value->assign(text, length);
}

template <typename T>
bool EncodeAs(const ValueFormat& format, const T& value,
              unsigned short* registers) {
  Checked checked;
  // The codecs refuse before they write anything.
  return registers != nullptr &&
         Check({nullptr, nullptr}, format, KindOfValue<T>::kKind, &checked) &&
         Encode(checked, value, registers) == Refusal::kNone;
}

template <typename T>
bool DecodeAs(const ValueFormat& format, const unsigned short* registers,
              T* value) {
  Checked checked;
  if (registers == nullptr || value == nullptr ||
      !Check({nullptr, nullptr}, format, KindOfValue<T>::kKind, &checked)) {
    return false;
  }
  Decode(checked, registers, value);
  return true;
}

template <typename T>
int ReadAs(TCPModbusIntf& module, Table table, unsigned short address,
           const ValueFormat& format, T* value) {
  Checked checked;
  if (!Check({&module, kReadName}, format, KindOfValue<T>::kKind, &checked)) {
    return 0;
  }
  if (value == nullptr) {
    return RecordValueFailure(module, ErrorCode::kInvalidArgument,
                              "%s: Null value pointer", kReadName);
  }
  if (table != Table::kHolding && table != Table::kInput) {
    return RecordValueFailure(module, ErrorCode::kInvalidArgument,
                              "%s: Unknown table %d", kReadName,
                              static_cast<int>(table));
  }
  // Zeros, should an object of another library report a read it did not
  // make.
  std::uint16_t registers[kMaxRegisters] = {};
  const auto count = static_cast<unsigned short>(Registers(checked));
  const int read = table == Table::kHolding
                       ? module.ReadHoldRegs(address, registers, count)
                       : module.ReadInputRegs(address, registers, count);
  if (read != 1) return read;
  Decode(checked, registers, value);
  return 1;
}

template <typename T>
int WriteAs(TCPModbusIntf& module, unsigned short address,
            const ValueFormat& format, const T& value) {
  Checked checked;
  if (!Check({&module, kWriteName}, format, KindOfValue<T>::kKind, &checked)) {
    return 0;
  }
  std::uint16_t registers[kMaxRegisters];
  if (Encode(checked, value, registers) != Refusal::kNone) {
    Explain(module, checked, value);
    return 0;
  }
  const Type type = checked.type.type;
  if (type == Type::kU16 || type == Type::kI16) {
    return module.WriteSingleHoldReg(address, registers[0]);
  }
  return module.WriteMultiHoldRegs(
      address, registers, static_cast<unsigned short>(Registers(checked)));
}

}  // namespace

bool ParseValueFormat(const std::string& type, const std::string& order,
                      ValueFormat* format) {
  ValueType parsedType;
  Order parsedOrder;
  if (format == nullptr || !values::ParseType(type, &parsedType) ||
      !values::ParseOrder(order, parsedType.type, &parsedOrder)) {
    return false;
  }
  format->type = static_cast<int>(parsedType.type);
  format->order = static_cast<int>(parsedOrder);
  format->stringRegisters = parsedType.stringRegisters;
  return true;
}

int ValueRegisters(const ValueFormat& format) {
  ValueType type;
  Order order;
  if (!values::TypeOfNumbers(format.type, format.stringRegisters, &type) ||
      !values::OrderOfNumber(format.order, &order)) {
    return 0;
  }
  return values::RegisterCount(type);
}

bool EncodeValue(const ValueFormat& format, std::int64_t value,
                 unsigned short* registers) {
  return EncodeAs(format, value, registers);
}
bool EncodeValue(const ValueFormat& format, std::uint64_t value,
                 unsigned short* registers) {
  return EncodeAs(format, value, registers);
}
bool EncodeValue(const ValueFormat& format, float value,
                 unsigned short* registers) {
  return EncodeAs(format, value, registers);
}
bool EncodeValue(const ValueFormat& format, double value,
                 unsigned short* registers) {
  return EncodeAs(format, value, registers);
}
bool EncodeValue(const ValueFormat& format, const std::string& value,
                 unsigned short* registers) {
  return EncodeAs(format, value, registers);
}

bool DecodeValue(const ValueFormat& format, const unsigned short* registers,
                 std::int64_t* value) {
  return DecodeAs(format, registers, value);
}
bool DecodeValue(const ValueFormat& format, const unsigned short* registers,
                 std::uint64_t* value) {
  return DecodeAs(format, registers, value);
}
bool DecodeValue(const ValueFormat& format, const unsigned short* registers,
                 float* value) {
  return DecodeAs(format, registers, value);
}
bool DecodeValue(const ValueFormat& format, const unsigned short* registers,
                 double* value) {
  return DecodeAs(format, registers, value);
}
bool DecodeValue(const ValueFormat& format, const unsigned short* registers,
                 std::string* value) {
  return DecodeAs(format, registers, value);
}

int ReadValue(TCPModbusIntf& module, Table table, unsigned short address,
              const ValueFormat& format, std::int64_t* value) {
  return ReadAs(module, table, address, format, value);
}
int ReadValue(TCPModbusIntf& module, Table table, unsigned short address,
              const ValueFormat& format, std::uint64_t* value) {
  return ReadAs(module, table, address, format, value);
}
int ReadValue(TCPModbusIntf& module, Table table, unsigned short address,
              const ValueFormat& format, float* value) {
  return ReadAs(module, table, address, format, value);
}
int ReadValue(TCPModbusIntf& module, Table table, unsigned short address,
              const ValueFormat& format, double* value) {
  return ReadAs(module, table, address, format, value);
}
int ReadValue(TCPModbusIntf& module, Table table, unsigned short address,
              const ValueFormat& format, std::string* value) {
  return ReadAs(module, table, address, format, value);
}

int WriteValue(TCPModbusIntf& module, unsigned short address,
               const ValueFormat& format, std::int64_t value) {
  return WriteAs(module, address, format, value);
}
int WriteValue(TCPModbusIntf& module, unsigned short address,
               const ValueFormat& format, std::uint64_t value) {
  return WriteAs(module, address, format, value);
}
int WriteValue(TCPModbusIntf& module, unsigned short address,
               const ValueFormat& format, float value) {
  return WriteAs(module, address, format, value);
}
int WriteValue(TCPModbusIntf& module, unsigned short address,
               const ValueFormat& format, double value) {
  return WriteAs(module, address, format, value);
}
int WriteValue(TCPModbusIntf& module, unsigned short address,
               const ValueFormat& format, const std::string& value) {
  return WriteAs(module, address, format, value);
}

}  // namespace tcpmodbus
