// Answers as a Modbus/TCP server sends them, for scripts of the fake server:
// transaction and protocol identifiers 0, unit 1, and a header length that
// matches what follows.
#ifndef TCPMODBUS_TESTS_SUPPORT_MODBUSANSWERS_H_
#define TCPMODBUS_TESTS_SUPPORT_MODBUSANSWERS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FakeModbusServer.h"

namespace testsupport {

// The answer to a read of registers (function 3 or 4): byte count, then the
// values high byte first.
inline Bytes ReadAnswer(std::uint8_t functionCode,
                        const std::vector<std::uint16_t>& values) {
  const std::size_t dataBytes = 2 * values.size();
  Bytes answer = {0,
                  0,
                  0,
                  0,
                  static_cast<std::uint8_t>((dataBytes + 3) >> 8),
                  static_cast<std::uint8_t>((dataBytes + 3) & 0xff),
                  1,
                  functionCode,
                  static_cast<std::uint8_t>(dataBytes & 0xff)};
  for (std::uint16_t value : values) {
    answer.push_back(static_cast<std::uint8_t>(value >> 8));
    answer.push_back(static_cast<std::uint8_t>(value & 0xff));
  }
  return answer;
}

// The 12-byte echo that answers a write of one register (function 6: address
// and value) or of several (function 16: address and count).
inline Bytes WriteAnswer(std::uint8_t functionCode, std::uint16_t address,
                         std::uint16_t second) {
  return {0,
          0,
          0,
          0,
          0,
          6,
          1,
          functionCode,
          static_cast<std::uint8_t>(address >> 8),
          static_cast<std::uint8_t>(address & 0xff),
          static_cast<std::uint8_t>(second >> 8),
          static_cast<std::uint8_t>(second & 0xff)};
}

// The 9-byte exception answer: the function code with its high bit set,
// then the exception code.
inline Bytes ExceptionAnswer(std::uint8_t functionCode, std::uint8_t code) {
  return {0,   0, 0, 0, 0, 3, 1, static_cast<std::uint8_t>(functionCode | 0x80),
          code};
}

}  // namespace testsupport

#endif  // TCPMODBUS_TESTS_SUPPORT_MODBUSANSWERS_H_
