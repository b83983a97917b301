// What tells the protocol client's exchanges apart, for the files that
// carry them out.
#ifndef TCPMODBUS_MODBUS_EXCHANGE_H_
#define TCPMODBUS_MODBUS_EXCHANGE_H_

#include <cstdint>

#include "modbus/CMBusTCP.h"
#include "modbus/PointFrames.h"

namespace tcpmodbus {

// The reads and the writes word the size mismatch differently on purpose:
// hosts match on either text.
constexpr char kReadWrongSize[] =
    "%s: Incorrect response size: %d. Expected: %d";
constexpr char kWriteWrongSize[] =
    "%s: Incorrect response size is %d expected %d";

// A field of an answer that is not the request's: the name, the answer's
// value and the request's.
constexpr char kNotThisRequests[] =
    "%s: Answer from DIO Module %d is not this request's: %s %d, expected %d";

// Their function code, the name that opens their messages, and their trace
// and size-mismatch wording.
struct CMBusTCP::Exchange {
  std::uint8_t functionCode;
  const char* name;
  const char* sendingLine;
  const char* receivedLine;
  const char* wrongSizeMessage;
};

// What one exchange expects back, and where an accepted answer's values go.
struct CMBusTCP::Answer {
  // Registers or bits asked for by a read, registers written by code 16.
  std::uint16_t count = 0;
  std::uint16_t* registers = nullptr;  // a read of registers fills these
  std::uint8_t* bits = nullptr;        // a read of bits fills these
  // The strict verdict of the point exchanges; null: the size and the
  // exception flag alone are judged (codes 3, 4, 6, 16).
  const modbusframe::StrictAnswer* strict = nullptr;

  // An answer that fills `values` with `count` registers, or `bits`.
  static Answer Registers(std::uint16_t count, std::uint16_t* values) {
    Answer answer;
    answer.count = count;
    answer.registers = values;
    return answer;
  }
  static Answer Bits(std::uint16_t count, std::uint8_t* bits) {
    Answer answer;
    answer.count = count;
    answer.bits = bits;
    return answer;
  }

  // The size the whole answer has.
  int Size(std::uint8_t functionCode) const {
    return strict != nullptr
               ? strict->size
               : modbusframe::ExpectedResponseSize(functionCode, count);
  }
};

// Builds the request with the next header (`build(frame, header)` gives its
// size), then traces, sends and judges it; the point exchanges' answers
// strictly, against the request.
template <typename Build>
Status CMBusTCP::Request(const Exchange& exchange, Answer answer, Build build) {
  const modbusframe::RequestHeader header = NextRequestHeader();
  std::uint8_t request[modbusframe::kRequestBufferSize];
  const int size = build(request, header);
  modbusframe::StrictAnswer strict;
  if (modbusframe::JudgedStrictly(exchange.functionCode)) {
    strict = modbusframe::AnswerTo(request);
    answer.strict = &strict;
  }
  return Transact(exchange, header, request, size, answer);
}

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_EXCHANGE_H_
