#include "Commands.h"

#include <cstdio>
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

// An address as the user numbers them: from 0, or from 1 with --one-based;
// the register (coil, input) it names.
unsigned short Address(const Arguments& args, const char* what,
                       const std::string& text) {
  const unsigned long base = args.oneBased ? 1 : 0;
  return static_cast<unsigned short>(
      ParseNumber(what, text, base, 65535 + base) - base);
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

// ADDR COUNT of a read: the address, and `count` values of `width` entries
// each (at most `maxCount` entries) in `into`.
template <typename T>
unsigned short ReadSpan(const Arguments& args, unsigned long maxCount,
                        unsigned long width, const char* pastEnd,
                        std::vector<T>& into) {
  const unsigned long address = Address(args, "ADDR", args.operands[0]);
  const unsigned long count =
      ParseNumber("COUNT", args.operands[1], 1, maxCount / width);
  CheckEnd(address, count * width, pastEnd);
  into.assign(count * width, 0);
  return static_cast<unsigned short>(address);
}

// write-multiple's values of --type from ops[1] on, as registers: at most as
// many as fill one write.
std::vector<unsigned short> TypedValues(const Display& display,
                                        const Operands& ops) {
  const unsigned long limit =
      kMaxRegistersWritten / static_cast<unsigned long>(display.registers);
  if (ops.size() - 1 > limit) {
    char text[80];
    std::snprintf(text, sizeof text,
                  "too many values: %lu (at most %lu in one write)",
                  static_cast<unsigned long>(ops.size() - 1), limit);
    throw UsageError(text);
  }
  std::vector<unsigned short> registers;
  for (std::size_t i = 1; i < ops.size(); ++i) {
    AppendValue(display, ops[i], &registers);
  }
  return registers;
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
  request.addressBase = args.oneBased ? 1 : 0;
  Display& display = request.display;
  if (!args.valueType.empty()) {
    display = ParseDisplay(args.valueType, args.valueOrder);
  }
  const auto width = static_cast<unsigned long>(display.registers);
  // The commands of registers take --type; the others refuse it.
  auto untyped = [&] {
    if (display.typed) {
      throw UsageError(
          "--type goes with read-holding, read-input, write and write-multiple");
    }
  };
  if (command == "read-holding" || command == "read-input") {
    request.kind =
        command == "read-holding" ? Kind::ReadHolding : Kind::ReadInput;
    expect(2, "ADDR COUNT");
    request.address =
        ReadSpan(args, kMaxRegistersRead, width,
                 "ADDR + COUNT goes past register 65535", request.registers);
  } else if (command == "read-coils" || command == "read-discrete-inputs") {
    untyped();
    request.kind =
        command == "read-coils" ? Kind::ReadCoils : Kind::ReadDiscreteInputs;
    expect(2, "ADDR COUNT");
    request.address =
        ReadSpan(args, kMaxBitsRead, 1, "ADDR + COUNT goes past address 65535",
                 request.bits);
  } else if (command == "write") {
    request.kind = Kind::Write;
    expect(2, "ADDR VALUE");
    request.address = Address(args, "ADDR", ops[0]);
    if (!display.typed) {
      request.registers.push_back(Number16("VALUE", ops[1]));
    } else {
      AppendValue(display, ops[1], &request.registers);
      // A value of several registers is written whole, in one request.
      if (display.registers > 1 ||
          display.format.type == TCPMODBUS_TYPE_STRING) {
        request.kind = Kind::WriteMultiple;
      }
      CheckEnd(request.address, request.registers.size(),
               "ADDR + the value's registers go past register 65535");
    }
  } else if (command == "write-coil") {
    untyped();
    request.kind = Kind::WriteCoil;
    expect(2, "ADDR 0|1");
    request.address = Address(args, "ADDR", ops[0]);
    request.bits.push_back(
        static_cast<unsigned char>(ParseNumber("BIT", ops[1], 0, 1)));
  } else if (command == "write-multiple") {
    request.kind = Kind::WriteMultiple;
    expectAtLeast(2, "ADDR VALUE...");
    request.address = Address(args, "ADDR", ops[0]);
    if (display.typed) {
      request.registers = TypedValues(display, ops);
    } else {
      for (unsigned long value :
           Values(ops, 1, "VALUE", 65535, kMaxRegistersWritten,
                  "too many values: ", " in one write")) {
        request.registers.push_back(static_cast<unsigned short>(value));
      }
    }
    CheckEnd(request.address, request.registers.size(),
             "ADDR + number of values goes past register 65535");
  } else if (command == "write-coils") {
    untyped();
    request.kind = Kind::WriteCoils;
    expectAtLeast(2, "ADDR BIT...");
    request.address = Address(args, "ADDR", ops[0]);
    for (unsigned long bit : Values(ops, 1, "BIT", 1, kMaxBitsWritten,
                                    "too many bits: ", " in one write")) {
      request.bits.push_back(static_cast<unsigned char>(bit));
    }
    CheckEnd(request.address, request.bits.size(),
             "ADDR + number of bits goes past address 65535");
  } else if (command == "mask-write") {
    untyped();
    request.kind = Kind::MaskWrite;
    expect(3, "ADDR AND OR");
    request.address = Address(args, "ADDR", ops[0]);
    request.andMask = Number16("AND", ops[1]);
    request.orMask = Number16("OR", ops[2]);
  } else if (command == "read-write") {
    untyped();
    request.kind = Kind::ReadWrite;
    expectAtLeast(4, "READ-ADDR READ-COUNT WRITE-ADDR VALUE...");
    const unsigned long address = Address(args, "READ-ADDR", ops[0]);
    const unsigned long count =
        ParseNumber("READ-COUNT", ops[1], 1, kMaxRegistersRead);
    CheckEnd(address, count, "READ-ADDR + READ-COUNT goes past register 65535");
    request.address = static_cast<unsigned short>(address);
    request.registers.assign(count, 0);
    request.writeAddress = Address(args, "WRITE-ADDR", ops[2]);
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
