#include "Commands.h"

#include <string>

namespace cli {
namespace {

// The most entries one call takes: its count is an unsigned short. The
// protocol's limits are the library's, which refuses or sends what is past
// them, as it does for any host; the module judges addresses.
constexpr unsigned long kMaxEntries = 65535;

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

// ops[first] on, each parsed as a number from 0 to `max`.
std::vector<unsigned long> Values(const Operands& ops, std::size_t first,
                                  const char* what, unsigned long max) {
  if (ops.size() - first > kMaxEntries) {
    throw UsageError("too many values: " + std::to_string(ops.size() - first) +
                     " (at most " + std::to_string(kMaxEntries) + ")");
  }
  std::vector<unsigned long> values;
  for (std::size_t i = first; i < ops.size(); ++i) {
    values.push_back(ParseNumber(what, ops[i], 0, max));
  }
  return values;
}

// ADDR COUNT of a read: the address, and `count` values of `width` entries
// each in `into`.
template <typename T>
unsigned short ReadSpan(const Arguments& args, unsigned long width,
                        std::vector<T>& into) {
  const unsigned short address = Address(args, "ADDR", args.operands[0]);
  const unsigned long count =
      ParseNumber("COUNT", args.operands[1], 0, kMaxEntries / width);
  into.assign(count * width, 0);
  return address;
}

// write-multiple's values of --type from ops[1] on, as registers.
std::vector<unsigned short> TypedValues(const Display& display,
                                        const Operands& ops) {
  std::vector<unsigned short> registers;
  for (std::size_t i = 1; i < ops.size(); ++i) {
    AppendValue(display, ops[i], &registers);
  }
  if (registers.size() > kMaxEntries) {
    throw UsageError("too many registers: " + std::to_string(registers.size()) +
                     " (at most " + std::to_string(kMaxEntries) + ")");
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
    request.address = ReadSpan(args, width, request.registers);
  } else if (command == "read-coils" || command == "read-discrete-inputs") {
    untyped();
    request.kind =
        command == "read-coils" ? Kind::ReadCoils : Kind::ReadDiscreteInputs;
    expect(2, "ADDR COUNT");
    request.address = ReadSpan(args, 1, request.bits);
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
      for (unsigned long value : Values(ops, 1, "VALUE", 65535)) {
        request.registers.push_back(static_cast<unsigned short>(value));
      }
    }
  } else if (command == "write-coils") {
    untyped();
    request.kind = Kind::WriteCoils;
    expectAtLeast(2, "ADDR BIT...");
    request.address = Address(args, "ADDR", ops[0]);
    for (unsigned long bit : Values(ops, 1, "BIT", 1)) {
      request.bits.push_back(static_cast<unsigned char>(bit));
    }
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
    request.address = Address(args, "READ-ADDR", ops[0]);
    request.registers.assign(ParseNumber("READ-COUNT", ops[1], 0, kMaxEntries),
                             0);
    request.writeAddress = Address(args, "WRITE-ADDR", ops[2]);
    for (unsigned long value : Values(ops, 3, "VALUE", 65535)) {
      request.written.push_back(static_cast<unsigned short>(value));
    }
  } else {
    throw UsageError("unknown command '" + command + "'");
  }
  return request;
}

}  // namespace cli
