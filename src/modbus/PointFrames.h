// The frames of the point exchanges: coils and discrete inputs (function
// codes 1, 2, 5 and 15), mask write of a register (22) and read/write of
// registers in one transaction (23), as pure functions over caller-owned
// buffers, like ModbusFrame.h's.
//
// Bits travel packed, least significant bit first, eight to a byte; the
// caller's arrays hold one bit a byte (0 or 1 when read, any non-zero byte
// for on when written).
//
// Their verdicts are strict: besides the size and the exception flag, the
// answer's function code, byte count and echo (address, quantity or value,
// masks) must be the request's.
#ifndef TCPMODBUS_MODBUS_POINTFRAMES_H_
#define TCPMODBUS_MODBUS_POINTFRAMES_H_

#include <cstdint>

#include "modbus/ModbusFrame.h"

namespace tcpmodbus {
namespace modbusframe {

constexpr std::uint8_t kReadCoilStatus = 1;
constexpr std::uint8_t kReadInputStatus = 2;
constexpr std::uint8_t kForceSingleCoil = 5;
constexpr std::uint8_t kForceMultipleCoils = 15;
constexpr std::uint8_t kMaskWriteRegister = 22;
constexpr std::uint8_t kReadWriteMultipleRegisters = 23;

// What one request may carry, as the protocol limits it.
constexpr std::uint16_t kMaxReadBits = 2000;
constexpr std::uint16_t kMaxWriteBits = 1968;
constexpr std::uint16_t kMaxReadWriteReadRegisters = 125;
constexpr std::uint16_t kMaxReadWriteWriteRegisters = 121;

// Whether answers to `functionCode` get the strict verdict: the point codes.
constexpr bool JudgedStrictly(std::uint8_t functionCode) {
  return functionCode == kReadCoilStatus || functionCode == kReadInputStatus ||
         functionCode == kForceSingleCoil ||
         functionCode == kForceMultipleCoils ||
         functionCode == kMaskWriteRegister ||
         functionCode == kReadWriteMultipleRegisters;
}

// Bytes that `bitCount` bits take packed.
constexpr int PackedSize(std::uint16_t bitCount) { return (bitCount + 7) / 8; }

// Function code 1 or 2 (as BuildReadRequest): 12 bytes.
int BuildReadBitsRequest(std::uint8_t* frame, std::uint8_t functionCode,
                         std::uint16_t startAddr, std::uint16_t bitCount,
                         const RequestHeader& header = {});
// Function code 5: 0xFF00 for on, 0x0000 for off. 12 bytes.
int BuildForceSingleCoilRequest(std::uint8_t* frame, std::uint16_t addr,
                                bool on, const RequestHeader& header = {});
// Function code 15: 13 + PackedSize(bitCount) bytes (bitCount at most
// kMaxWriteBits, so it fits a request buffer).
int BuildForceMultipleCoilsRequest(std::uint8_t* frame, std::uint16_t startAddr,
                                   const std::uint8_t* bits,
                                   std::uint16_t bitCount,
                                   const RequestHeader& header = {});
// Function code 22: 14 bytes.
int BuildMaskWriteRequest(std::uint8_t* frame, std::uint16_t addr,
                          std::uint16_t andMask, std::uint16_t orMask,
                          const RequestHeader& header = {});
// Function code 23: 17 + 2 * writeCount bytes (writeCount at most
// kMaxReadWriteWriteRegisters). The module writes before it reads.
int BuildReadWriteRegistersRequest(std::uint8_t* frame, std::uint16_t readAddr,
                                   std::uint16_t readCount,
                                   std::uint16_t writeAddr,
                                   const std::uint16_t* writeValues,
                                   std::uint16_t writeCount,
                                   const RequestHeader& header = {});

// What the answer to a point request must be: its function code and size,
// and either the byte count in byte 8 (reads: 1, 2, 23) or the request's
// bytes it echoes from byte 8 on, 2-byte fields named for the message
// (writes: 5, 15, 22).
struct StrictAnswer {
  std::uint8_t functionCode;
  int size;
  int byteCount;  // -1: an echo answer
  const std::uint8_t* echo = nullptr;
  const char* const* echoFields = nullptr;
  int echoFieldCount = 0;
};
// The answer a request built above must get.
StrictAnswer AnswerTo(const std::uint8_t* request);

// Judges `received` bytes, in this order: closed, too short, exception,
// function code, size, byte count, echo.
Judgement JudgeStrict(const std::uint8_t* response, int received,
                      const StrictAnswer& answer);

// The bits of an accepted read answer, from byte 9 on, one a byte (0 or
// 1); padding bits past `bitCount` are not looked at.
void DecodeBits(const std::uint8_t* response, std::uint16_t bitCount,
                std::uint8_t* bits);

}  // namespace modbusframe
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_POINTFRAMES_H_
