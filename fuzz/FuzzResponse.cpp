// Fuzzes the verdict on a response and the decoding of register values and
// bits, and the framing of any frame.
//
// Input: byte 0 picks the function code (3, 4, 6, 16, or any byte; from
// 0xe0 to 0xef one of the point codes 1, 2, 5, 15, 22, 23, judged strictly),
// bytes 1-2 the register or bit count, bytes 3-4 the receive result (-1 to
// 261); the rest are the received bytes. They sit in a heap block of exactly
// the received size, so a read past what arrived is caught, and values are
// decoded only when the verdict accepts the response, as the exchanges do.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "modbus/AnswerFraming.h"
#include "modbus/ModbusFrame.h"

namespace {

namespace modbusframe = tcpmodbus::modbusframe;

void Require(bool condition) {
  if (!condition) std::abort();
}

// The strict verdict of a point request made from `count`: an accepted
// answer has the request's function code, size, byte count and echo, and
// its bits decode from what arrived.
void JudgeStrictly(std::uint8_t selector, std::uint16_t count,
                   const std::vector<std::uint8_t>& response, int received) {
  namespace mf = modbusframe;
  static const std::uint8_t kBits[mf::kMaxWriteBits] = {1, 0, 1};
  static const std::uint16_t kValues[mf::kMaxReadWriteWriteRegisters] = {7};
  std::uint8_t request[mf::kRequestBufferSize];
  const std::uint16_t bits = static_cast<std::uint16_t>(count % 2000 + 1);
  switch (selector % 6) {
    case 0:
      mf::BuildReadBitsRequest(request, 1, count, bits);
      break;
    case 1:
      mf::BuildReadBitsRequest(request, 2, count, bits);
      break;
    case 2:
      mf::BuildForceSingleCoilRequest(request, count, (count & 1) != 0);
      break;
    case 3:
      mf::BuildForceMultipleCoilsRequest(
          request, count, kBits, static_cast<std::uint16_t>(count % 1968 + 1));
      break;
    case 4:
      mf::BuildMaskWriteRequest(request, count, 0xf0f0, count);
      break;
    default:
      mf::BuildReadWriteRegistersRequest(
          request, count, static_cast<std::uint16_t>(count % 125 + 1), 0,
          kValues, 1);
      break;
  }
  const mf::StrictAnswer answer = mf::AnswerTo(request);
  const mf::Judgement judgement =
      mf::JudgeStrict(response.data(), received, answer);
  if (judgement.verdict != mf::Verdict::Accepted) return;
  Require(received == answer.size && response[7] == answer.functionCode);
  if (answer.byteCount >= 0) Require(response[8] == answer.byteCount);
  for (int i = 0; i < 2 * answer.echoFieldCount; ++i) {
    Require(response[8 + i] == answer.echo[i]);
  }
  if (answer.functionCode <= 2) {
    std::vector<std::uint8_t> decoded(bits);
    mf::DecodeBits(response.data(), bits, decoded.data());
    for (std::size_t i = 0; i < decoded.size(); ++i) {
      Require(decoded[i] == ((response[9 + i / 8] >> (i % 8)) & 1));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 5) return 0;
  const std::uint8_t selector = data[0];
  static constexpr std::uint8_t kCodes[] = {3, 4, 6, 16};
  const std::uint8_t functionCode =
      data[0] < 0xf0 ? kCodes[data[0] % 4] : static_cast<std::uint8_t>(data[0]);
  const std::uint16_t regCount =
      static_cast<std::uint16_t>((data[1] << 8) | data[2]);
  // -1 .. 261: every value a receive can give.
  const int received = ((data[3] << 8) | data[4]) % 263 - 1;
  data += 5;
  size -= 5;

  const std::size_t held =
      received > 0 ? static_cast<std::size_t>(received) : 0;
  std::vector<std::uint8_t> response(held);
  for (std::size_t i = 0; i < held && i < size; ++i) response[i] = data[i];

  // Framing by function code never reads past what arrived, and never gives
  // a frame larger than one receive.
  if (received > 0) {
    const int frame = modbusframe::FrameSize(response.data(), received);
    Require(frame >= -1 && frame <= 261);
    Require(frame != 0 ||
            received < modbusframe::FrameStartSize(response.data(), received));
  }

  if (selector >= 0xe0 && selector < 0xf0) {
    JudgeStrictly(selector, regCount, response, received);
    return 0;
  }

  const modbusframe::Judgement judgement = modbusframe::JudgeResponse(
      response.data(), received, functionCode, regCount);
  const bool isRead = functionCode == 3 || functionCode == 4;
  const int expected = isRead ? 2 * regCount + 9 : 12;
  switch (judgement.verdict) {
    case modbusframe::Verdict::Closed:
      Require(received == 0);
      break;
    case modbusframe::Verdict::TooShort:
      Require(received < 9 && received != 0);
      break;
    case modbusframe::Verdict::Exception:
      Require(received >= 9 && (response[7] & 0x80) != 0);
      Require(judgement.exceptionCode == response[8]);
      break;
    case modbusframe::Verdict::WrongSize:
      Require(received >= 9 && (response[7] & 0x80) == 0);
      Require(received != expected && judgement.expectedSize == expected);
      break;
    case modbusframe::Verdict::WrongAnswer:
      Require(false);  // only the strict verdicts compare fields
      break;
    case modbusframe::Verdict::Accepted:
      Require(received == expected && (response[7] & 0x80) == 0);
      break;
  }
  if (judgement.verdict != modbusframe::Verdict::Accepted || !isRead) return 0;

  std::vector<std::uint16_t> values(regCount);
  modbusframe::DecodeRegisters(response.data(), regCount, values.data());
  for (std::size_t i = 0; i < regCount; ++i) {
    const unsigned high = response[9 + 2 * i];
    const unsigned low = response[10 + 2 * i];
    Require(values[i] == high * 256 + low);
  }
  return 0;
}
