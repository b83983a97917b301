// Modbus/TCP request frames and the verdicts on their answers, as pure
// functions over caller-owned buffers: no sockets, no output.
//
// Every request starts with the 7-byte MBAP header: the transaction
// identifier (0 unless the host turned identifiers on), protocol identifier
// 0, the length of what follows, the unit identifier (1 unless the host chose
// another), then the function code. All 16-bit fields are big-endian. Bits
// travel packed, least significant bit first, eight to a byte; the caller's
// arrays hold one bit a byte (0 or 1 when read, any non-zero byte for on
// when written).
#ifndef TCPMODBUS_MODBUS_MODBUSFRAME_H_
#define TCPMODBUS_MODBUS_MODBUSFRAME_H_

#include <cstdint>

#include "common/MbapFrame.h"
#include "tcpmodbus/tcpmodbus.h"

namespace tcpmodbus {
namespace modbusframe {

constexpr int kRequestBufferSize = mbap::kMaxFrameSize;
constexpr int kFixedRequestSize = 12;  // function codes 1 to 6
constexpr int kWriteResponseSize = 12;
// 13 + 2 * 124 = 261, the request buffer.
constexpr std::uint16_t kMaxPresetRegisters = TCPMODBUS_MAX_PRESET_REGISTERS;
constexpr std::uint16_t kMaxReadBits = TCPMODBUS_MAX_READ_BITS;
constexpr std::uint16_t kMaxWriteBits = TCPMODBUS_MAX_WRITE_BITS;
constexpr std::uint16_t kMaxReadWriteReadRegisters =
    TCPMODBUS_MAX_READ_REGISTERS;
constexpr std::uint16_t kMaxReadWriteWriteRegisters =
    TCPMODBUS_MAX_READ_WRITE_REGISTERS;

constexpr std::uint8_t kReadCoilStatus = 1;
constexpr std::uint8_t kReadInputStatus = 2;
constexpr std::uint8_t kReadHoldingRegisters = 3;
constexpr std::uint8_t kReadInputRegisters = 4;
constexpr std::uint8_t kForceSingleCoil = 5;
constexpr std::uint8_t kPresetSingleRegister = 6;
constexpr std::uint8_t kForceMultipleCoils = 15;
constexpr std::uint8_t kPresetMultipleRegisters = 16;
constexpr std::uint8_t kMaskWriteRegister = 22;
constexpr std::uint8_t kReadWriteMultipleRegisters = 23;

// The two header fields a request takes from its object.
struct RequestHeader {
  std::uint16_t transactionId = 0;
  std::uint8_t unitId = TCPMODBUS_DEFAULT_UNIT_ID;
};

// Writes `value` big-endian at `at`; `count` values one after the other.
void PutUint16(std::uint8_t* at, std::uint16_t value);
void PutUint16s(std::uint8_t* at, const std::uint16_t* values, int count);
std::uint16_t GetUint16(const std::uint8_t* at);
// Writes bytes 0-7 of a request: the MBAP header, whose length field counts
// `length` bytes after byte 5, and the function code.
void PutRequestHeader(std::uint8_t* frame, std::uint16_t length,
                      std::uint8_t functionCode, const RequestHeader& header);

// A request of an address and one more 16-bit field (a quantity or a
// value), with any function code: codes 1 to 6. Writes 12 bytes; returns 12.
int BuildTwoFieldRequest(std::uint8_t* frame, std::uint8_t functionCode,
                         std::uint16_t first, std::uint16_t second,
                         const RequestHeader& header = {});
// Function code 3 or 4 (registers), 1 or 2 (bits).
inline int BuildReadRequest(std::uint8_t* frame, std::uint8_t functionCode,
                            std::uint16_t startAddr, std::uint16_t count,
                            const RequestHeader& header = {}) {
  return BuildTwoFieldRequest(frame, functionCode, startAddr, count, header);
}
inline int BuildReadBitsRequest(std::uint8_t* frame, std::uint8_t functionCode,
                                std::uint16_t startAddr, std::uint16_t count,
                                const RequestHeader& header = {}) {
  return BuildTwoFieldRequest(frame, functionCode, startAddr, count, header);
}
// Function code 6.
inline int BuildPresetSingleRequest(std::uint8_t* frame, std::uint16_t regAddr,
                                    std::uint16_t regValue,
                                    const RequestHeader& header = {}) {
  return BuildTwoFieldRequest(frame, kPresetSingleRegister, regAddr, regValue,
                              header);
}
// Function code 5: 0xFF00 for on, 0x0000 for off.
inline int BuildForceSingleCoilRequest(std::uint8_t* frame,
                                       std::uint16_t addr, bool on,
                                       const RequestHeader& header = {}) {
  return BuildTwoFieldRequest(frame, kForceSingleCoil, addr,
                              on ? 0xff00 : 0x0000, header);
}
// Function code 16: 13 + 2 * regCount bytes into a frame of
// kRequestBufferSize (regCount at most kMaxPresetRegisters).
int BuildPresetMultipleRequest(std::uint8_t* frame, std::uint16_t startAddr,
                               std::uint16_t regCount,
                               const std::uint16_t* regValues,
                               const RequestHeader& header = {});
// Function code 15: 13 + PackedSize(bitCount) bytes (bitCount at most
// kMaxWriteBits).
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

// Bytes that `bitCount` bits take packed.
constexpr int PackedSize(std::uint16_t bitCount) { return (bitCount + 7) / 8; }

enum class Verdict {
  Closed,
  TooShort,
  Exception,
  WrongSize,
  WrongAnswer,  // a field differs from the request (the strict verdicts)
  Accepted
};

struct Judgement {
  Verdict verdict;
  std::uint8_t exceptionCode;  // with Verdict::Exception
  int expectedSize;            // with Verdict::WrongSize
  // With Verdict::WrongAnswer: the field that differs, its value, and the
  // request's.
  const char* field = nullptr;
  int receivedValue = 0;
  int expectedValue = 0;
  // With Verdict::WrongAnswer, a message of its own instead of the field's:
  // a format of the exchange's name, the module number, then the received
  // and expected values as two ints.
  const char* message = nullptr;
};

// The WrongAnswer verdict on `field`: the answer's value and the request's.
Judgement WrongAnswer(const char* field, int received, int expected);

// Size a response to `functionCode` must have: 2 * regCount + 9 for reads,
// 12 for writes.
int ExpectedResponseSize(std::uint8_t functionCode, std::uint16_t regCount);

// The verdict of the register operations on `received` bytes (the
// receive's result, which may be 0 or -1): only the size and the exception
// flag of byte 7 count; the header, echoed fields and byte count are not
// compared with the request.
Judgement JudgeResponse(const std::uint8_t* response, int received,
                        std::uint8_t functionCode, std::uint16_t regCount);

// What the answer to a point request must be (codes 1, 2, 5, 15, 22, 23):
// its function code and size, and either the byte count in byte 8 (reads)
// or the request's bytes it echoes from byte 8 on, 2-byte fields named for
// the message (writes).
struct StrictAnswer {
  std::uint8_t functionCode;
  int size;
  int byteCount;  // -1: an echo answer
  const std::uint8_t* echo = nullptr;
  const char* const* echoFields = nullptr;
  int echoFieldCount = 0;
};
// The answer a point request built above must get.
StrictAnswer AnswerTo(const std::uint8_t* request);

// The strict verdict, in this order: closed, too short, function code (an
// exception counts only as the answer of its own function code), exception,
// size, byte count, echo.
Judgement JudgeStrict(const std::uint8_t* response, int received,
                      const StrictAnswer& answer);

// Where a whole frame differs from the answer to a request with `header`
// and `functionCode` (transaction identifiers on): its protocol identifier
// (not 0), its unit identifier, or its function code (neither the request's
// nor its exception form), in that order; kNone when it is the answer. The
// transaction identifier is the caller's to match.
enum class Mismatch { kNone, kProtocolId, kUnitId, kFunctionCode };
struct IdentityCheck {
  Mismatch mismatch;
  int received;  // the frame's value of the field that differs
  int expected;
};
IdentityCheck CheckAnswerIdentity(const std::uint8_t* frame,
                                  const RequestHeader& header,
                                  std::uint8_t functionCode);

// The transaction identifier of a frame of 2 bytes or more.
inline std::uint16_t TransactionId(const std::uint8_t* frame) {
  return GetUint16(frame + mbap::kTransactionId);
}

// The register values of an accepted read response, from byte 9 on.
void DecodeRegisters(const std::uint8_t* response, std::uint16_t regCount,
                     std::uint16_t* regValues);
// The bits of an accepted read answer, from byte 9 on, one a byte (0 or
// 1); padding bits past `bitCount` are not looked at.
void DecodeBits(const std::uint8_t* response, std::uint16_t bitCount,
                std::uint8_t* bits);

}  // namespace modbusframe
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_MODBUSFRAME_H_
