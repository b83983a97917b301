#include "modbus/ModbusFrame.h"

namespace tcpmodbus {
namespace modbusframe {
namespace {

// The names of the echoed fields, for the message of a wrong echo.
const char* const kCoilEcho[] = {"address", "value"};
const char* const kCoilsEcho[] = {"address", "quantity"};
const char* const kMaskEcho[] = {"address", "AND mask", "OR mask"};

bool IsRead(std::uint8_t functionCode) {
  return functionCode == kReadHoldingRegisters ||
         functionCode == kReadInputRegisters;
}

// Closed, too short: the verdicts that come before any byte is looked at.
bool JudgedOnCount(int received, Judgement* judgement) {
  if (received == 0) {
    *judgement = {Verdict::Closed, 0, 0};
  } else if (received < mbap::kMinimumAnswerSize) {
    *judgement = {Verdict::TooShort, 0, 0};
  } else {
    return false;
  }
  return true;
}

}  // namespace

Judgement WrongAnswer(const char* field, int received, int expected) {
  Judgement judgement = {Verdict::WrongAnswer, 0, 0};
  judgement.field = field;
  judgement.receivedValue = received;
  judgement.expectedValue = expected;
  return judgement;
}

void PutUint16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value & 0xff);
}

void PutUint16s(std::uint8_t* at, const std::uint16_t* values, int count) {
  for (int i = 0; i < count; ++i) PutUint16(at + 2 * i, values[i]);
}

std::uint16_t GetUint16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
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

int BuildForceMultipleCoilsRequest(std::uint8_t* frame, std::uint16_t startAddr,
                                   const std::uint8_t* bits,
                                   std::uint16_t bitCount,
                                   const RequestHeader& header) {
  const int packed = PackedSize(bitCount);
  PutRequestHeader(frame, static_cast<std::uint16_t>(packed + 7),
                   kForceMultipleCoils, header);
  PutUint16(frame + 8, startAddr);                     // 8-9
  PutUint16(frame + 10, bitCount);                     // 10-11: quantity
  frame[12] = static_cast<std::uint8_t>(packed);       // 12: byte count
  for (int i = 0; i < packed; ++i) frame[13 + i] = 0;  // 13 on: the bits
  for (int i = 0; i < bitCount; ++i) {
    if (bits[i] != 0)
      frame[13 + i / 8] |= static_cast<std::uint8_t>(1 << (i % 8));
  }
  return 13 + packed;
}

int BuildMaskWriteRequest(std::uint8_t* frame, std::uint16_t addr,
                          std::uint16_t andMask, std::uint16_t orMask,
                          const RequestHeader& header) {
  PutRequestHeader(frame, 8, kMaskWriteRegister, header);
  PutUint16(frame + 8, addr);      // 8-9
  PutUint16(frame + 10, andMask);  // 10-11
  PutUint16(frame + 12, orMask);   // 12-13
  return 14;
}

int BuildReadWriteRegistersRequest(std::uint8_t* frame, std::uint16_t readAddr,
                                   std::uint16_t readCount,
                                   std::uint16_t writeAddr,
                                   const std::uint16_t* writeValues,
                                   std::uint16_t writeCount,
                                   const RequestHeader& header) {
  const int dataBytes = 2 * writeCount;
  PutRequestHeader(frame, static_cast<std::uint16_t>(dataBytes + 11),
                   kReadWriteMultipleRegisters, header);
  PutUint16(frame + 8, readAddr);                           // 8-9
  PutUint16(frame + 10, readCount);                         // 10-11
  PutUint16(frame + 12, writeAddr);                         // 12-13
  PutUint16(frame + 14, writeCount);                        // 14-15
  frame[16] = static_cast<std::uint8_t>(dataBytes & 0xff);  // 16: byte count
  PutUint16s(frame + 17, writeValues, writeCount);          // 17 on: values
  return 17 + dataBytes;
}

int ExpectedResponseSize(std::uint8_t functionCode, std::uint16_t regCount) {
  return IsRead(functionCode) ? 2 * regCount + 9 : kWriteResponseSize;
}

Judgement JudgeResponse(const std::uint8_t* response, int received,
                        std::uint8_t functionCode, std::uint16_t regCount) {
  Judgement judgement;
  if (JudgedOnCount(received, &judgement)) return judgement;
  // Byte 7, the function code: only its exception flag counts. Byte 8 then
  // holds the exception code.
  if (mbap::IsException(response)) {
    return {Verdict::Exception, response[mbap::kExceptionCode], 0};
  }
  const int expected = ExpectedResponseSize(functionCode, regCount);
  if (received != expected) return {Verdict::WrongSize, 0, expected};
  return {Verdict::Accepted, 0, 0};
}

StrictAnswer AnswerTo(const std::uint8_t* request) {
  const std::uint8_t code = request[mbap::kFunctionCode];
  const std::uint16_t quantity = GetUint16(request + 10);
  StrictAnswer answer = {code, 12, -1};
  switch (code) {
    case kReadCoilStatus:
    case kReadInputStatus:
      answer.byteCount = PackedSize(quantity);
      break;
    case kReadWriteMultipleRegisters:
      answer.byteCount = 2 * quantity;
      break;
    case kForceSingleCoil:
      answer.echoFields = kCoilEcho;
      answer.echoFieldCount = 2;
      break;
    case kMaskWriteRegister:
      answer.size = 14;
      answer.echoFields = kMaskEcho;
      answer.echoFieldCount = 3;
      break;
    default:  // kForceMultipleCoils
      answer.echoFields = kCoilsEcho;
      answer.echoFieldCount = 2;
      break;
  }
  if (answer.byteCount >= 0) {
    answer.size = mbap::kReadValues + answer.byteCount;
  } else {
    answer.echo = request + 8;
  }
  return answer;
}

Judgement JudgeStrict(const std::uint8_t* response, int received,
                      const StrictAnswer& answer) {
  Judgement judgement;
  if (JudgedOnCount(received, &judgement)) return judgement;
  // An exception answers only a request of its own function code.
  const std::uint8_t code = response[mbap::kFunctionCode];
  if ((code & ~mbap::kExceptionFlag & 0xff) != answer.functionCode) {
    return WrongAnswer("function code", code, answer.functionCode);
  }
  if (mbap::IsException(response)) {
    return {Verdict::Exception, response[mbap::kExceptionCode], 0};
  }
  if (received != answer.size) return {Verdict::WrongSize, 0, answer.size};
  if (answer.byteCount >= 0 && response[mbap::kByteCount] != answer.byteCount) {
    return WrongAnswer("byte count", response[mbap::kByteCount],
                       answer.byteCount);
  }
  for (int field = 0; field < answer.echoFieldCount; ++field) {
    const std::uint16_t got = GetUint16(response + 8 + 2 * field);
    const std::uint16_t sent = GetUint16(answer.echo + 2 * field);
    if (got != sent) return WrongAnswer(answer.echoFields[field], got, sent);
  }
  return {Verdict::Accepted, 0, 0};
}

IdentityCheck CheckAnswerIdentity(const std::uint8_t* frame,
                                  const RequestHeader& header,
                                  std::uint8_t functionCode) {
  const int protocolId = GetUint16(frame + mbap::kProtocolId);
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
  for (int i = 0; i < regCount; ++i) {
    regValues[i] = GetUint16(response + mbap::kReadValues + 2 * i);
  }
}

void DecodeBits(const std::uint8_t* response, std::uint16_t bitCount,
                std::uint8_t* bits) {
  const std::uint8_t* packed = response + mbap::kReadValues;
  for (int i = 0; i < bitCount; ++i) {
    bits[i] = static_cast<std::uint8_t>((packed[i / 8] >> (i % 8)) & 1);
  }
}

}  // namespace modbusframe
}  // namespace tcpmodbus
