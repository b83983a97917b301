#include "modbus/RawFrame.h"

#include <cstring>

namespace tcpmodbus {
namespace modbusframe {

int BuildRawRequest(std::uint8_t* frame, std::uint8_t functionCode,
                    const std::uint8_t* data, int length,
                    const RequestHeader& header) {
  PutRequestHeader(frame, static_cast<std::uint16_t>(2 + length), functionCode,
                   header);
  if (length > 0) {
    std::memcpy(frame + kSmallestPduFrame, data,
                static_cast<std::size_t>(length));
  }
  return kSmallestPduFrame + length;
}

Judgement JudgePduAnswer(const std::uint8_t* response, int received,
                         std::uint8_t functionCode, std::uint8_t unitId) {
  Judgement judgement = {Verdict::Accepted, 0, 0};
  if (received == 0) return {Verdict::Closed, 0, 0};
  if (received < kSmallestPduFrame) return {Verdict::TooShort, 0, 0};
  const int protocolId = GetUint16(response + mbap::kProtocolId);
  const std::uint8_t code = response[mbap::kFunctionCode];
  if (protocolId != 0) {
    judgement = {Verdict::WrongAnswer, 0, 0, "protocol identifier", protocolId};
  } else if (response[mbap::kUnitId] != unitId) {
    judgement = {Verdict::WrongAnswer,    0,     0, "unit identifier",
                 response[mbap::kUnitId], unitId};
  } else if ((code & ~mbap::kExceptionFlag & 0xff) != functionCode) {
    judgement = {Verdict::WrongAnswer, 0,    0,
                 "function code",      code, functionCode};
  } else if (mbap::IsException(response)) {
    if (received < mbap::kMinimumAnswerSize) return {Verdict::TooShort, 0, 0};
    return {Verdict::Exception, response[mbap::kExceptionCode], 0};
  } else if (received > mbap::kHeaderSize + kMaxPduSize) {
    judgement = {
        Verdict::WrongAnswer,
        0,
        0,
        nullptr,
        received,
        mbap::kHeaderSize + kMaxPduSize,
        "%s: Answer from DIO Module %d is %d bytes, more than the %d of a frame"};
  } else if (6 + GetUint16(response + mbap::kLength) != received) {
    return {Verdict::WrongSize, 0, 6 + GetUint16(response + mbap::kLength)};
  }
  return judgement;
}

}  // namespace modbusframe
}  // namespace tcpmodbus
