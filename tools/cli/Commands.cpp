#include "Commands.h"

#include <string>

namespace cli {
namespace {

// The protocol's quantities in one request: 125 registers fill the largest
// answer (9 + 2 * 125 bytes of 261), 124 the largest write of registers (13
// + 2 * 124); bits are packed eight to a byte. A read/write carries both its
// write and its read in limits of its own.
constexpr unsigned long kMaxRegistersRead = 125;
constexpr unsigned long kMaxRegistersWritten = 124;
constexpr unsigned long kMaxBitsRead = 2000;
constexpr unsigned long kMaxBitsWritten = 1968;
constexpr unsigned long kMaxReadWriteWritten = 121;
constexpr unsigned long kAddresses = 65536;

using Operands = std::vector<std::string>;

unsigned short Number16(const char* what, const std::string& text) {
  return static_cast<unsigned short>(ParseNumber(what, text, 0, 65535));
}

// Throws `message` when `count` entries from `address` on go past the last
// address.
void CheckEnd(unsigned long address, unsigned long count, const char* message) {
  if (address + count > kAddresses) throw UsageError(message);
}

// ops[first] on, each parsed as a number from 0 to `max`: 1 to `limit` of
// them, else `tooMany` (the count and the limit are appended).
std::vector<unsigned long> Values(const Operands& ops, std::size_t first,
                                  const char* what, unsigned long max,
                                  unsigned long limit, const char* tooMany,
                                  const char* whatFor) {
  const std::size_t count = ops.size() - first;
  if (count > limit) {
    throw UsageError(tooMany + std::to_string(count) + " (at most " +
                     std::to_string(limit) + whatFor + ")");
  }
  std::vector<unsigned long> values;
  for (std::size_t i = first; i < ops.size(); ++i) {
    values.push_back(ParseNumber(what, ops[i], 0, max));
  }
  return values;
}

// ADDR COUNT of a read: the address, and `count` entries in `into`.
template <typename T>
unsigned short ReadSpan(const Operands& ops, unsigned long maxCount,
                        const char* pastEnd, std::vector<T>& into) {
  const unsigned long address = ParseNumber("ADDR", ops[0], 0, 65535);
  const unsigned long count = ParseNumber("COUNT", ops[1], 1, maxCount);
  CheckEnd(address, count, pastEnd);
  into.assign(count, 0);
  return static_cast<unsigned short>(address);
}

}  // namespace

Request CheckOperands(const Arguments& args) {
  Request request{};
  const Operands& ops = args.operands;
  const std::string& command = args.command;
  auto expect = [&](std::size_t count, const char* shape) {
    if (ops.size() != count) throw UsageError(command + " takes " + shape);
  };
  auto expectAtLeast = [&](std::size_t count, const char* shape) {
    if (ops.size() < count) throw UsageError(command + " takes " + shape);
  };
  using Kind = Request::Kind;
  if (command == "read-holding" || command == "read-input") {
    request.kind =
        command == "read-holding" ? Kind::ReadHolding : Kind::ReadInput;
    expect(2, "ADDR COUNT");
    request.address =
        ReadSpan(ops, kMaxRegistersRead,
                 "ADDR + COUNT goes past register 65535", request.registers);
  } else if (command == "read-coils" || command == "read-discrete-inputs") {
    request.kind =
        command == "read-coils" ? Kind::ReadCoils : Kind::ReadDiscreteInputs;
    expect(2, "ADDR COUNT");
    request.address =
        ReadSpan(ops, kMaxBitsRead, "ADDR + COUNT goes past address 65535",
                 request.bits);
  } else if (command == "write") {
    request.kind = Kind::Write;
    expect(2, "ADDR VALUE");
    request.address = Number16("ADDR", ops[0]);
    request.registers.push_back(Number16("VALUE", ops[1]));
  } else if (command == "write-coil") {
    request.kind = Kind::WriteCoil;
    expect(2, "ADDR 0|1");
    request.address = Number16("ADDR", ops[0]);
    request.bits.push_back(
        static_cast<unsigned char>(ParseNumber("BIT", ops[1], 0, 1)));
  } else if (command == "write-multiple") {
    request.kind = Kind::WriteMultiple;
    expectAtLeast(2, "ADDR VALUE...");
    request.address = Number16("ADDR", ops[0]);
    for (unsigned long value :
         Values(ops, 1, "VALUE", 65535, kMaxRegistersWritten,
                "too many values: ", " in one write")) {
      request.registers.push_back(static_cast<unsigned short>(value));
    }
    CheckEnd(request.address, request.registers.size(),
             "ADDR + number of values goes past register 65535");
  } else if (command == "write-coils") {
    request.kind = Kind::WriteCoils;
    expectAtLeast(2, "ADDR BIT...");
    request.address = Number16("ADDR", ops[0]);
    for (unsigned long bit : Values(ops, 1, "BIT", 1, kMaxBitsWritten,
                                    "too many bits: ", " in one write")) {
      request.bits.push_back(static_cast<unsigned char>(bit));
    }
    CheckEnd(request.address, request.bits.size(),
             "ADDR + number of bits goes past address 65535");
  } else if (command == "mask-write") {
    request.kind = Kind::MaskWrite;
    expect(3, "ADDR AND OR");
    request.address = Number16("ADDR", ops[0]);
    request.andMask = Number16("AND", ops[1]);
    request.orMask = Number16("OR", ops[2]);
  } else if (command == "read-write") {
    request.kind = Kind::ReadWrite;
    expectAtLeast(4, "READ-ADDR READ-COUNT WRITE-ADDR VALUE...");
    const unsigned long address = ParseNumber("READ-ADDR", ops[0], 0, 65535);
    const unsigned long count =
        ParseNumber("READ-COUNT", ops[1], 1, kMaxRegistersRead);
    CheckEnd(address, count, "READ-ADDR + READ-COUNT goes past register 65535");
    request.address = static_cast<unsigned short>(address);
    request.registers.assign(count, 0);
    request.writeAddress = Number16("WRITE-ADDR", ops[2]);
    for (unsigned long value :
         Values(ops, 3, "VALUE", 65535, kMaxReadWriteWritten,
                "too many values: ", " in one read-write")) {
      request.written.push_back(static_cast<unsigned short>(value));
    }
    CheckEnd(request.writeAddress, request.written.size(),
             "WRITE-ADDR + number of values goes past register 65535");
  } else {
    throw UsageError("unknown command '" + command + "'");
  }
  return request;
}

}  // namespace cli
