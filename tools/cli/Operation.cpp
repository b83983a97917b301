#include "Operation.h"

namespace cli {

namespace {

// A vector's array, never null: a count of 0 goes to the library as it is,
// which sends it (reads) or refuses it with its own text.
template <typename T>
T* ArrayOf(std::vector<T>& values) {
  static T none;
  return values.empty() ? &none : values.data();
}

}  // namespace

int Perform(TCPModbusIntf& module, Request& request) {
  using Kind = Request::Kind;
  const unsigned short address = request.address;
  unsigned short* registers = ArrayOf(request.registers);
  const auto registerCount =
      static_cast<unsigned short>(request.registers.size());
  unsigned char* bits = ArrayOf(request.bits);
  const auto bitCount = static_cast<unsigned short>(request.bits.size());
  switch (request.kind) {
    case Kind::ReadHolding:
      return module.ReadHoldRegs(address, registers, registerCount);
    case Kind::ReadInput:
      return module.ReadInputRegs(address, registers, registerCount);
    case Kind::Write:
      return module.WriteSingleHoldReg(address, registers[0]);
    case Kind::WriteMultiple:
      return module.WriteMultiHoldRegs(address, registers, registerCount);
    case Kind::ReadCoils:
      return module.ReadCoils(address, bits, bitCount);
    case Kind::ReadDiscreteInputs:
      return module.ReadDiscreteInputs(address, bits, bitCount);
    case Kind::WriteCoil:
      return module.WriteSingleCoil(address, bits[0] != 0);
    case Kind::WriteCoils:
      return module.WriteMultiCoils(address, bits, bitCount);
    case Kind::MaskWrite:
      return module.MaskWriteHoldReg(address, request.andMask, request.orMask);
    case Kind::ReadWrite:
      return module.ReadWriteMultiHoldRegs(
          address, registers, registerCount, request.writeAddress,
          ArrayOf(request.written),
          static_cast<unsigned short>(request.written.size()));
  }
  return 0;
}

void PrintResults(std::FILE* stream, const Request& request) {
  const unsigned first = request.address + request.addressBase;
  if (request.display.typed) {
    PrintValues(stream, request.display, first, request.registers);
    return;
  }
  for (std::size_t i = 0; i < request.registers.size(); ++i) {
    const unsigned value = request.registers[i];
    std::fprintf(stream, "%u %u 0x%04x\n", first + static_cast<unsigned>(i),
                 value, value);
  }
  for (std::size_t i = 0; i < request.bits.size(); ++i) {
    std::fprintf(stream, "%u %u\n", first + static_cast<unsigned>(i),
                 static_cast<unsigned>(request.bits[i]));
  }
}

}  // namespace cli
