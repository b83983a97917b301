// The receive of an exchange with transaction identifiers on: the stream is
// read frame by frame, and only the frame with the request's identifier is
// judged as its answer. Answers to earlier requests (late ones, copies) are
// dropped, each traced, and the wait goes on; the stream is given up when
// it cannot be framed or keeps bringing frames that answer nothing.
#include <cstdint>

#include "modbus/AnswerGathering.h"
#include "modbus/CMBusTCP.h"
#include "modbus/Exchange.h"
#include "modbus/ModbusFrame.h"
#include "trace/HexDump.h"
#include "trace/PrintTrace.h"

namespace tcpmodbus {
namespace {

// Frames of earlier requests dropped at most while one answer is awaited.
constexpr int kMaxDroppedFrames = 8;

constexpr char kUnframable[] =
    "%s: Bytes from DIO Module %d do not frame as a Modbus answer; the connection was closed";

constexpr char kDroppedLine[] =
    "%s <==Dropped Response to an earlier request...Size=%d\n";

const char* FieldName(modbusframe::Mismatch mismatch) {
  switch (mismatch) {
    case modbusframe::Mismatch::kProtocolId:
      return "protocol identifier";
    case modbusframe::Mismatch::kUnitId:
      return "unit identifier";
    case modbusframe::Mismatch::kFunctionCode:
    case modbusframe::Mismatch::kNone:
      break;
  }
  return "function code";
}

void TraceDropped(const TraceOutput& trace, const char* name,
                  const std::uint8_t* bytes, int count) {
  TraceText text(trace);
  text.Printf(kDroppedLine, name, count);
  DumpBytes(text, bytes, static_cast<std::uint32_t>(count));
}

}  // namespace

Status CMBusTCP::ReceiveIdentified(const Exchange& exchange,
                                   const modbusframe::RequestHeader& header,
                                   const Answer& answer) {
  const ResponseDeadline deadline(Settings.responseTimeoutMs);
  FrameReader reader(*TcpSocket, deadline);
  std::uint8_t frame[CTcpSocket::MaxResponseBytes];
  for (int dropped = 0;; ++dropped) {
    const FrameReader::Frame next = reader.Next(frame);
    const GatheredAnswer& read = next.read;
    if (read.received == 0 && read.ending.timedOut()) {
      ReportNoResponse(exchange);
      // The answer may still come; it is recognised and dropped then. A
      // second exchange in a row without any answer: the link is gone.
      if (++TimeoutsInARow >= 2) return AbortStream();
      return Status::Failed();
    }
    if (read.received > 0) TimeoutsInARow = 0;

    if (!next.framed) {
      TraceReceived(exchange, frame, read.received);
      Fail(Failure::Of(ErrorCode::kWrongAnswer), kUnframable, exchange.name,
           ModuleId);
      return AbortStream();
    }
    if (!read.ending.done()) {
      // Ended, or cut short by a wait, before a whole frame: judged as it
      // came, never delivered, and the stream is out of step.
      TraceReceived(exchange, frame, read.received);
      Answer judgedOnly = answer;
      judgedOnly.registers = nullptr;
      judgedOnly.bits = nullptr;
      if (Judge(exchange, frame, read.received, read.ending, judgedOnly).ok()) {
        Fail(Failure::Of(ErrorCode::kWrongSize), exchange.wrongSizeMessage,
             exchange.name, read.received, answer.Size(exchange.functionCode));
      }
      return read.ending.ended() ? Status::ConnectionLost() : AbortStream();
    }

    const std::uint16_t id = modbusframe::TransactionId(frame);
    if (id == header.transactionId) {
      TraceReceived(exchange, frame, read.received);
      // Bytes behind the answer in the same receive came after it: they
      // answer no later request. When they cannot begin a frame, the
      // answer's own end is in doubt (a frame shorter than its header and
      // byte count say has taken the start of the next): nothing is
      // delivered, and the stream is given up.
      if (reader.LeftoverSize() > 0) {
        TraceDropped(Trace, exchange.name, reader.Leftover(),
                     reader.LeftoverSize());
        if (modbusframe::FrameSize(reader.Leftover(), reader.LeftoverSize()) <
            0) {
          Fail(Failure::Of(ErrorCode::kWrongAnswer), kUnframable, exchange.name,
               ModuleId);
          return AbortStream();
        }
      }
      const modbusframe::IdentityCheck identity =
          modbusframe::CheckAnswerIdentity(frame, header,
                                           exchange.functionCode);
      if (identity.mismatch != modbusframe::Mismatch::kNone) {
        Fail(Failure::Of(ErrorCode::kWrongAnswer), kNotThisRequests,
             exchange.name, ModuleId, FieldName(identity.mismatch),
             identity.received, identity.expected);
        return Status::Failed();
      }
      return Judge(exchange, frame, read.received, read.ending, answer);
    }
    if (Ids.Earlier(id, header.transactionId)) {
      TraceDropped(Trace, exchange.name, frame, read.received);
      if (dropped < kMaxDroppedFrames) continue;
      Fail(
          Failure::Of(ErrorCode::kWrongAnswer),
          "%s: More than %d frames from DIO Module %d answered no request; the connection was closed",
          exchange.name, kMaxDroppedFrames, ModuleId);
      return AbortStream();
    }
    TraceReceived(exchange, frame, read.received);
    Fail(
        Failure::Of(ErrorCode::kWrongAnswer),
        "%s: Answer from DIO Module %d carries transaction identifier %d, expected %d; a device that does not echo transaction identifiers needs them off",
        exchange.name, ModuleId, id, header.transactionId);
    return Status::Failed();
  }
}

Status CMBusTCP::AbortStream() {
  TcpSocket->AbortSocket();
  return Status::ConnectionLost();
}

}  // namespace tcpmodbus
