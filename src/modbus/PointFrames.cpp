#include "modbus/PointFrames.h"

#include "common/MbapFrame.h"

namespace tcpmodbus {
namespace modbusframe {
namespace {

std::uint16_t GetUint16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}

// The names of the echoed fields, for the message of a wrong echo.
const char* const kCoilEcho[] = {"address", "value"};
const char* const kCoilsEcho[] = {"address", "quantity"};
const char* const kMaskEcho[] = {"address", "AND mask", "OR mask"};

Judgement WrongAnswer(const char* field, int received, int expected) {
  Judgement judgement = {Verdict::WrongAnswer, 0, 0};
  judgement.field = field;
  judgement.receivedValue = received;
  judgement.expectedValue = expected;
  return judgement;
}

}  // namespace

int BuildReadBitsRequest(std::uint8_t* frame, std::uint8_t functionCode,
                         std::uint16_t startAddr, std::uint16_t bitCount,
                         const RequestHeader& header) {
  return BuildTwoFieldRequest(frame, functionCode, startAddr, bitCount, header);
}

int BuildForceSingleCoilRequest(std::uint8_t* frame, std::uint16_t addr,
                                bool on, const RequestHeader& header) {
  return BuildTwoFieldRequest(frame, kForceSingleCoil, addr,
                              on ? 0xff00 : 0x0000, header);
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
  if (received == 0) return {Verdict::Closed, 0, 0};
  if (received < mbap::kMinimumAnswerSize) return {Verdict::TooShort, 0, 0};
  if (mbap::IsException(response)) {
    return {Verdict::Exception, response[mbap::kExceptionCode], 0};
  }
  const std::uint8_t code = response[mbap::kFunctionCode];
  if (code != answer.functionCode) {
    return WrongAnswer("function code", code, answer.functionCode);
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

void DecodeBits(const std::uint8_t* response, std::uint16_t bitCount,
                std::uint8_t* bits) {
  const std::uint8_t* packed = response + mbap::kReadValues;
  for (int i = 0; i < bitCount; ++i) {
    bits[i] = static_cast<std::uint8_t>((packed[i / 8] >> (i % 8)) & 1);
  }
}

}  // namespace modbusframe
}  // namespace tcpmodbus
