#include "modbus/ModbusFrame.h"

namespace tcpmodbus {
namespace modbusframe {
void PutUint16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value & 0xff);
}

void PutUint16s(std::uint8_t* at, const std::uint16_t* values, int count) {
  for (int i = 0; i < count; ++i) PutUint16(at + 2 * i, values[i]);
}

void PutRequestHeader(std::uint8_t* frame, std::uint16_t length,
                      std::uint8_t functionCode, const RequestHeader& header) {
  PutUint16(frame + mbap::kTransactionId, header.transactionId);  // 0-1
  PutUint16(frame + mbap::kProtocolId, 0);                        // 2-3
  PutUint16(frame + mbap::kLength, length);   // 4-5: bytes that follow
  frame[mbap::kUnitId] = header.unitId;       // 6
  frame[mbap::kFunctionCode] = functionCode;  // 7
}

int BuildTwoFieldRequest(std::uint8_t* frame, std::uint8_t functionCode,
                         std::uint16_t first, std::uint16_t second,
                         const RequestHeader& header) {
  PutRequestHeader(frame, 6, functionCode, header);
  PutUint16(frame + 8, first);    // 8-9: address
  PutUint16(frame + 10, second);  // 10-11: quantity or value
  return kFixedRequestSize;
}

namespace {

bool IsRead(std::uint8_t functionCode) {
  return functionCode == kReadHoldingRegisters ||
         functionCode == kReadInputRegisters;
}

}  // namespace

int BuildReadRequest(std::uint8_t* frame, std::uint8_t functionCode,
                     std::uint16_t startAddr, std::uint16_t regCount,
                     const RequestHeader& header) {
  return BuildTwoFieldRequest(frame, functionCode, startAddr, regCount, header);
}

int BuildPresetSingleRequest(std::uint8_t* frame, std::uint16_t regAddr,
                             std::uint16_t regValue,
                             const RequestHeader& header) {
  return BuildTwoFieldRequest(frame, kPresetSingleRegister, regAddr, regValue,
                              header);
}

int BuildPresetMultipleRequest(std::uint8_t* frame, std::uint16_t startAddr,
                               std::uint16_t regCount,
                               const std::uint16_t* regValues,
                               const RequestHeader& header) {
  const int dataBytes = 2 * regCount;
  PutRequestHeader(frame, static_cast<std::uint16_t>(dataBytes + 7),
                   kPresetMultipleRegisters, header);
  PutUint16(frame + 8, startAddr);                          // 8-9
  PutUint16(frame + 10, regCount);                          // 10-11
  frame[12] = static_cast<std::uint8_t>(dataBytes & 0xff);  // 12: byte count
  PutUint16s(frame + 13, regValues, regCount);              // 13 on: values
  return 13 + dataBytes;
}

int ExpectedResponseSize(std::uint8_t functionCode, std::uint16_t regCount) {
  return IsRead(functionCode) ? 2 * regCount + 9 : kWriteResponseSize;
}

Judgement JudgeResponse(const std::uint8_t* response, int received,
                        std::uint8_t functionCode, std::uint16_t regCount) {
  if (received == 0) return {Verdict::Closed, 0, 0};
  if (received < mbap::kMinimumAnswerSize) return {Verdict::TooShort, 0, 0};
  // Byte 7, the function code: only its exception flag counts. Byte 8 then
  // holds the exception code.
  if (mbap::IsException(response)) {
    return {Verdict::Exception, response[mbap::kExceptionCode], 0};
  }
  const int expected = ExpectedResponseSize(functionCode, regCount);
  if (received != expected) return {Verdict::WrongSize, 0, expected};
  return {Verdict::Accepted, 0, 0};
}

IdentityCheck CheckAnswerIdentity(const std::uint8_t* frame,
                                  const RequestHeader& header,
                                  std::uint8_t functionCode) {
  const int protocolId =
      (frame[mbap::kProtocolId] << 8) | frame[mbap::kProtocolId + 1];
  if (protocolId != 0) return {Mismatch::kProtocolId, protocolId, 0};
  if (frame[mbap::kUnitId] != header.unitId) {
    return {Mismatch::kUnitId, frame[mbap::kUnitId], header.unitId};
  }
  const std::uint8_t code = frame[mbap::kFunctionCode];
  if ((code & ~mbap::kExceptionFlag & 0xff) != functionCode) {
    return {Mismatch::kFunctionCode, code, functionCode};
  }
  return {Mismatch::kNone, 0, 0};
}

void DecodeRegisters(const std::uint8_t* response, std::uint16_t regCount,
                     std::uint16_t* regValues) {
  // From byte 9 on, two bytes a value, high byte first; the byte count in
  // byte 8 is not consulted (the size check has counted the bytes).
  const std::uint8_t* values = response + mbap::kReadValues;
  for (int i = 0; i < regCount; ++i) {
    regValues[i] =
        static_cast<std::uint16_t>((values[2 * i] << 8) | values[2 * i + 1]);
  }
}

}  // namespace modbusframe
}  // namespace tcpmodbus
