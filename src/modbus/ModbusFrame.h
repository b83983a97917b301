// Modbus/TCP request frames and the verdict on a response, as pure
// functions over caller-owned buffers: no sockets, no output.
//
// Every request starts with the 7-byte MBAP header: the transaction
// identifier (0 unless the host turned identifiers on), protocol identifier
// 0, the length of what follows, the unit identifier (1 unless the host chose
// another). All 16-bit fields are big-endian.
#ifndef TCPMODBUS_MODBUS_MODBUSFRAME_H_
#define TCPMODBUS_MODBUS_MODBUSFRAME_H_

#include <cstdint>

#include "common/MbapFrame.h"

namespace tcpmodbus {
namespace modbusframe {

constexpr int kRequestBufferSize = mbap::kMaxFrameSize;
constexpr int kFixedRequestSize = 12;  // function codes 3, 4 and 6
constexpr int kWriteResponseSize = 12;
// 13 + 2 * 124 = 261, the request buffer.
constexpr std::uint16_t kMaxPresetRegisters = 124;

// The unit identifier every request carries unless the host chose another.
constexpr std::uint8_t kDefaultUnitId = 1;

constexpr std::uint8_t kReadHoldingRegisters = 3;
constexpr std::uint8_t kReadInputRegisters = 4;
constexpr std::uint8_t kPresetSingleRegister = 6;
constexpr std::uint8_t kPresetMultipleRegisters = 16;

// The two header fields a request takes from its object.
struct RequestHeader {
  std::uint16_t transactionId = 0;
  std::uint8_t unitId = kDefaultUnitId;
};

// Writes `value` big-endian at `at`; `count` values one after the other.
void PutUint16(std::uint8_t* at, std::uint16_t value);
void PutUint16s(std::uint8_t* at, const std::uint16_t* values, int count);
// Writes bytes 0-7 of a request: the MBAP header, whose length field counts
// `length` bytes after byte 5, and the function code.
void PutRequestHeader(std::uint8_t* frame, std::uint16_t length,
                      std::uint8_t functionCode, const RequestHeader& header);

// A request of an address and one more 16-bit field (a quantity or a
// value), with any function code. Writes 12 bytes; returns 12.
int BuildTwoFieldRequest(std::uint8_t* frame, std::uint8_t functionCode,
                         std::uint16_t first, std::uint16_t second,
                         const RequestHeader& header = {});
// Function code 3 or 4. Writes 12 bytes; returns 12.
int BuildReadRequest(std::uint8_t* frame, std::uint8_t functionCode,
                     std::uint16_t startAddr, std::uint16_t regCount,
                     const RequestHeader& header = {});
// Function code 6. Writes 12 bytes; returns 12.
int BuildPresetSingleRequest(std::uint8_t* frame, std::uint16_t regAddr,
                             std::uint16_t regValue,
                             const RequestHeader& header = {});
// Function code 16. Writes 13 + 2 * regCount bytes into a frame of
// kRequestBufferSize and returns that size; regCount must not exceed
// kMaxPresetRegisters.
int BuildPresetMultipleRequest(std::uint8_t* frame, std::uint16_t startAddr,
                               std::uint16_t regCount,
                               const std::uint16_t* regValues,
                               const RequestHeader& header = {});

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
};

// Size a response to `functionCode` must have: 2 * regCount + 9 for reads,
// 12 for writes.
int ExpectedResponseSize(std::uint8_t functionCode, std::uint16_t regCount);

// Judges `received` bytes (the receive's result, which may be 0 or -1).
// Only the size and the exception flag of byte 7 count; the header, echoed
// fields and byte count are not compared with the request.
Judgement JudgeResponse(const std::uint8_t* response, int received,
                        std::uint8_t functionCode, std::uint16_t regCount);

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
  return static_cast<std::uint16_t>((frame[mbap::kTransactionId] << 8) |
                                    frame[mbap::kTransactionId + 1]);
}

// The register values of an accepted read response, from byte 9 on.
void DecodeRegisters(const std::uint8_t* response, std::uint16_t regCount,
                     std::uint16_t* regValues);

}  // namespace modbusframe
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_MODBUSFRAME_H_
