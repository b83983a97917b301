#include "modbus/CMBusTCP.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "modbus/ExchangeTexts.h"
#include "modbus/RawFrame.h"
#include "trace/HexDump.h"
#include "trace/PrintTrace.h"

namespace tcpmodbus {

namespace {

// The name in the messages of the connect, its look-up included.
constexpr char kConnectName[] = "CMBusTCP::ConnectToServer";

// Frames of other requests dropped at most while one answer is awaited.
constexpr int kMaxDroppedFrames = 8;

}  // namespace

CMBusTCP::CMBusTCP(const Options& options, const TraceOutput& trace,
                   ConnectionState& connection)
    : ModuleId(0),
      ServerPort(0),
      ServerIPAddr(),
      TcpSocket(nullptr),
      ErrorText(),
      LastFailure(),
      // Spellings such as "requetsed" and code 7's trailing blank are
      // deliberate: hosts match on these texts. Do not correct them.
      ExceptionTexts{
          "",
          "Unallowable or invalid function code received in the query",
          "Unallowable or invalid data address received in the query for the slave",
          "Unallowable or invalid value contained in the query data field for the slave",
          "The server failed during execution due to unrecoverable error",
          "Acknowledge for a long time of request processing",
          "Slave/Server Device Busy",
          "The slave cannot perform the requetsed function ",
          "Memory Parity Error",
          "",
          "Gateway Problem. Gateway path(s) not available",
          "Gateway Problem. The target device failed to respond",
          "",
          "",
          "",
      },
      Settings(options),
      Trace(trace),
      Connection(connection),
      Ids(),
      Reader() {}

CMBusTCP::~CMBusTCP() = default;

void CMBusTCP::SetClientError(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  errortext::FormatV(ErrorText, format, args);
  va_end(args);
}

void CMBusTCP::VRecord(const Failure& failure, const char* errorString,
                       const char* format, std::va_list args) {
  LastFailure.failure = failure;
  errortext::FormatV(LastFailure.text, format, args);
  if (errorString != nullptr) SetClientError("%s", errorString);
}

void CMBusTCP::Fail(const Failure& failure, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  VRecord(failure, nullptr, format, args);
  va_end(args);
  SetClientError("%s", LastFailure.text);
}

void CMBusTCP::FailAs(const Failure& failure, const char* errorString,
                      const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  VRecord(failure, errorString, format, args);
  va_end(args);
}

void CMBusTCP::Note(const Failure& failure, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  VRecord(failure, nullptr, format, args);
  va_end(args);
}

Status CMBusTCP::LookUpServer() {
  // Without a transport, refused as ConnectToServer refuses.
  if (TcpSocket == nullptr) return ConnectToServer();
  if (TcpSocket->LookUpServer(ServerIPAddr.c_str(), ServerPort)) {
    return Status::Ok();
  }
  FailAs(Failure::Of(ErrorCode::kConnect, TcpSocket->ErrorNumber),
         TcpSocket->ErrorText, "%s: Cannot find DIO Module %d at '%s': %s",
         kConnectName, ModuleId, ServerIPAddr.c_str(), TcpSocket->ErrorText);
  return Status::Failed();
}

Status CMBusTCP::ConnectToServer() {
  if (TcpSocket == nullptr) {
    Fail(Failure::Of(ErrorCode::kNotConnected), "%s: Null socket (%d)",
         kConnectName, ModuleId);
    return Status::Failed();
  }

  const IoResult connected =
      Settings.nameLookup
          ? TcpSocket->ConnectToAnyAddress(Settings.connectTimeoutMs)
          : TcpSocket->Connect(ServerIPAddr.c_str(), ServerPort,
                               Settings.connectTimeoutMs);
  if (connected.done()) {
    Connection.Connected();
    Reader.Clear();
    return Status::Ok();
  }
  if (connected.cancelled()) {
    TcpSocket->CloseSocket();
    Fail(Failure::Of(ErrorCode::kCancelled),
         "%s: Cancelled while connecting to DIO Module %d", kConnectName,
         ModuleId);
    return Status::Failed();
  }
  TcpSocket->SetSocketError(connected.error,
                            "WSASocket failed. connect Error(%d)",
                            connected.error);
  TcpSocket->CloseSocket();
  // LastErrorString is the transport's text; the failure text says where,
  // or, without name look-up, that the server text is not dotted IPv4.
  const Failure failure = Failure::Of(ErrorCode::kConnect, connected.error);
  if (!Settings.nameLookup && !TcpSocket->IsDottedIpv4(ServerIPAddr.c_str())) {
    FailAs(
        failure, TcpSocket->ErrorText,
        "%s: The address '%s' of DIO Module %d is not dotted IPv4 text; a host name or an IPv6 address needs name look-up on (SetNameLookup(true))",
        kConnectName, ServerIPAddr.c_str(), ModuleId);
  } else {
    FailAs(failure, TcpSocket->ErrorText,
           "%s: Failed to connect to DIO Module %d at %s port %u: %s",
           kConnectName, ModuleId, ServerIPAddr.c_str(), ServerPort,
           TcpSocket->ErrorText);
  }
  return Status::Failed();
}

int CMBusTCP::Answer::Size(std::uint8_t functionCode) const {
  if (pdu != nullptr) return modbusframe::kSizedByLength;
  return strict != nullptr
             ? strict->size
             : modbusframe::ExpectedResponseSize(functionCode, count);
}

Status CMBusTCP::Transact(const Operation& operation,
                          const modbusframe::RequestHeader& header,
                          const std::uint8_t* request, int size,
                          const Answer& answer) {
  Reader.Expect(Settings.transactionIds,
                {answer.Size(operation.functionCode), operation.functionCode});
  // The readiness check before the send also tells whether bytes wait or the
  // connection has failed, in the same call; a connection found gone can
  // then be renewed before anything is traced.
  Status before = Status::Ok();
  const IoResult sent = TcpSocket->SendData(
      request, size,
      [&](const IoResult& ready, const platform::StreamState& state) {
        if (ready.done() && (state.inputWaiting || state.failed ||
                             Reader.HeldSize() > 0)) {
          before = BeforeRequest(operation, state);
          if (!before.ok()) return false;
        }
        TraceText text(Trace);
        text.Printf(operation.sendingLine, operation.exchangeName, size);
        DumpBytes(text, request, static_cast<std::uint32_t>(size));
        return true;
      });
  if (!before.ok()) return before;
  if (!sent.done() || sent.count != size) {
    return SendFailed(operation.exchangeName, sent);
  }
  return ReceiveAnswer(operation, header, answer);
}

Status CMBusTCP::SendFailed(const char* exchangeName, const IoResult& sent) {
  Fail(FailureOf(sent, ErrorCode::kSend), kSendFailed, exchangeName, ModuleId,
       TcpSocket->ErrorText);
  return Conclude(Status::ConnectionLost(),
                  sent.done() ? StreamEnd::kOutOfStep : StreamEnd::kEnded, 0);
}

Status CMBusTCP::BeforeRequest(const Operation& operation,
                               const platform::StreamState& state) {
  // A connection that failed or ended while idle is renewed when the front
  // asks for it; otherwise the request goes out and the exchange reports
  // what it meets.
  const Status lost =
      Connection.renewWhenLost ? Status::LostBeforeSend() : Status::Ok();
  if (state.failed) return lost;
  const char* outOfStep = nullptr;
  std::uint8_t frame[mbap::kMaxFrameSize];
  for (int dropped = 0; outOfStep == nullptr; ++dropped) {
    // What waits arrived before this request, so it answers none.
    ReadFrame read = {0, IoResult::Done(), true};
    const IoResult took = Reader.TakeWaiting(*TcpSocket, frame, &read);
    if (took.timedOut()) return Status::Ok();  // nothing more waits
    if (!took.done() || read.ending.ended()) return lost;
    if (read.ending.cancelled()) {
      // Nothing was sent, but the frame cut off puts the stream in doubt.
      Fail(Failure::Of(ErrorCode::kCancelled),
           "%s: Cancelled before the request to DIO Module %d was sent; the connection was closed",
           operation.exchangeName, ModuleId);
      return Conclude(Status::Failed(), StreamEnd::kOutOfStep, 0);
    }
    if (!Settings.transactionIds) {
      if (took.count <= mbap::kMaxFrameSize) return Status::Ok();
      outOfStep =
          "%s: More than 261 bytes from DIO Module %d were waiting unread before the request; the connection was closed";
    } else if (!read.framed) {
      outOfStep = kUnframable;
    } else if (!read.ending.done()) {
      outOfStep =
          "%s: A frame from DIO Module %d that came before the request stayed incomplete; the connection was closed";
    } else if (dropped == kMaxDroppedFrames) {
      outOfStep = kTooManyDropped;
    } else {
      Connection.TakeLate(modbusframe::TransactionId(frame));
      TraceFrame(kDroppedLine, operation, frame, read.received);
    }
  }
  // No request is sent into a stream of unknown extent.
  if (!Connection.renewWhenLost) {
    Fail(Failure::Of(ErrorCode::kWrongAnswer), outOfStep,
         operation.exchangeName, ModuleId);
  }
  return Conclude(lost.ok() ? Status::Failed() : lost, StreamEnd::kOutOfStep,
                  0);
}

Status CMBusTCP::ReceiveAnswer(const Operation& operation,
                               const modbusframe::RequestHeader& header,
                               const Answer& answer) {
  ResponseDeadline deadline(Settings.responseTimeoutMs);
  std::uint8_t frame[mbap::kMaxFrameSize];
  const std::uint16_t id = header.transactionId;
  std::uint16_t lastDropped = 0;
  for (int dropped = 0;; ++dropped) {
    const ReadFrame read = Reader.Next(*TcpSocket, frame, deadline);
    if (read.ending.cancelled()) {
      // The answer, or its rest, may still come.
      Fail(Failure::Of(ErrorCode::kCancelled), kCancelledWaiting,
           operation.exchangeName, ModuleId);
      return Conclude(Status::Failed(), StreamEnd::kOutOfStep, id);
    }
    if (read.received == 0 && read.ending.timedOut()) {
      if (dropped > 0 && !deadline.IsResponseTimeout()) {
        // Frames came, but none with this request's identifier.
        Fail(Failure::Of(ErrorCode::kWrongAnswer), kOtherIdentifier,
             operation.exchangeName, ModuleId, lastDropped, id);
        return Conclude(Status::Failed(), StreamEnd::kAnswerDue, id);
      }
      ReportNoResponse(operation);
      return Conclude(Status::Failed(), StreamEnd::kUnanswered, id);
    }
    if (!Settings.transactionIds) {
      TraceFrame(operation.receivedLine, operation, frame, read.received);
      const StreamEnd end = read.ending.ended()       ? StreamEnd::kEnded
                            : read.ending.timedOut() ? StreamEnd::kCutShort
                                                      : StreamEnd::kInStep;
      return Conclude(Judge(operation, frame, read, answer), end, id);
    }
    if (!read.framed) {
      TraceFrame(operation.receivedLine, operation, frame, read.received);
      Fail(Failure::Of(ErrorCode::kWrongAnswer), kUnframable,
           operation.exchangeName, ModuleId);
      return Conclude(Status::Failed(), StreamEnd::kOutOfStep, id);
    }
    if (!read.ending.done()) {
      // Ended, or cut short by a wait, before a whole frame: judged as it
      // came, never delivered, and the stream is out of step.
      TraceFrame(operation.receivedLine, operation, frame, read.received);
      Answer judgedOnly = answer;
      judgedOnly.registers = nullptr;
      judgedOnly.bits = nullptr;
      if (Judge(operation, frame, read, judgedOnly).ok()) {
        Fail(Failure::Of(ErrorCode::kWrongSize), operation.wrongSizeMessage,
             operation.exchangeName, read.received,
             answer.pdu != nullptr
                 ? modbusframe::FrameSize(frame, read.received)
                 : answer.Size(operation.functionCode));
      }
      return Conclude(Status::Failed(),
                      read.ending.ended() ? StreamEnd::kEnded
                                          : StreamEnd::kOutOfStep,
                      id);
    }
    const std::uint16_t frameId = modbusframe::TransactionId(frame);
    if (frameId == id) {
      return JudgeIdentified(operation, header, read, frame, answer);
    }
    // A late answer to a request that got none, or a copy of an answer
    // taken before: dropped, and the wait goes on, bounded.
    if (!Connection.TakeLate(frameId) &&
        !Ids.IsCopy(frameId, frame, read.received)) {
      TraceFrame(operation.receivedLine, operation, frame, read.received);
      Fail(Failure::Of(ErrorCode::kWrongAnswer), kOtherIdentifier,
           operation.exchangeName, ModuleId, frameId, id);
      return Conclude(Status::Failed(), StreamEnd::kAnswerDue, id);
    }
    TraceFrame(kDroppedLine, operation, frame, read.received);
    if (dropped >= kMaxDroppedFrames) {
      Fail(Failure::Of(ErrorCode::kWrongAnswer), kTooManyDropped,
           operation.exchangeName, ModuleId);
      return Conclude(Status::Failed(), StreamEnd::kOutOfStep, id);
    }
    lastDropped = frameId;
    deadline.BoundAfterDrop();
  }
}

Status CMBusTCP::JudgeIdentified(const Operation& operation,
                                 const modbusframe::RequestHeader& header,
                                 const ReadFrame& read,
                                 const std::uint8_t* frame,
                                 const Answer& answer) {
  TraceFrame(operation.receivedLine, operation, frame, read.received);
  Connection.timeoutsInARow = 0;
  // Bytes behind the answer in the same receive came after it: they answer
  // no later request. When they cannot begin a frame, the answer's own end
  // is in doubt (a frame shorter than its header and byte count say has
  // taken the start of the next): nothing is delivered, and the stream is
  // given up. A frame's beginning stays held, to be dropped whole.
  int whole;
  while (Reader.HeldSize() > 0 &&
         (whole = modbusframe::FrameSize(Reader.Held(), Reader.HeldSize())) !=
             0 &&
         whole <= Reader.HeldSize()) {
    if (whole < 0) {
      TraceFrame(kDroppedLine, operation, Reader.Held(), Reader.HeldSize());
      Fail(Failure::Of(ErrorCode::kWrongAnswer), kUnframable,
           operation.exchangeName, ModuleId);
      return Conclude(Status::Failed(), StreamEnd::kOutOfStep, 0);
    }
    std::uint8_t behind[mbap::kMaxFrameSize];
    const ReadFrame next =
        Reader.Next(*TcpSocket, behind, ResponseDeadline(0));
    Connection.TakeLate(modbusframe::TransactionId(behind));
    TraceFrame(kDroppedLine, operation, behind, next.received);
  }
  const modbusframe::IdentityCheck identity = modbusframe::CheckAnswerIdentity(
      frame, header, operation.functionCode);
  if (identity.mismatch != modbusframe::Mismatch::kNone) {
    Fail(Failure::Of(ErrorCode::kWrongAnswer), kNotThisRequests,
         operation.exchangeName, ModuleId, FieldName(identity.mismatch),
         identity.received, identity.expected);
    return Conclude(Status::Failed(), StreamEnd::kInStep, 0);
  }
  const Status verdict = Judge(operation, frame, read, answer);
  if (verdict.ok()) Ids.Answered(header.transactionId, frame, read.received);
  return Conclude(verdict, StreamEnd::kInStep, 0);
}

Status CMBusTCP::Conclude(const Status& verdict, StreamEnd end,
                          std::uint16_t transactionId) {
  switch (end) {
    case StreamEnd::kInStep:
      return verdict;
    case StreamEnd::kEnded:
      // Closed, reset, failed, or not ready: nothing more comes on it.
      return Status::ConnectionLost();
    case StreamEnd::kAnswerDue:
      Connection.AwaitLate(transactionId);
      return verdict;
    case StreamEnd::kUnanswered:
      // With identifiers, the answer is recognised and dropped if it comes
      // later; a second exchange in a row without any answer: the link is
      // gone. Without them, it could only be taken for a later request's.
      if (Settings.transactionIds && ++Connection.timeoutsInARow < 2) {
        Connection.AwaitLate(transactionId);
        return verdict;
      }
      break;
    case StreamEnd::kCutShort:
      // The rest may still come after the next request: with a response
      // time-out the connection is given up, so that it never can.
      if (verdict.ok() || Settings.responseTimeoutMs == 0) return verdict;
      break;
    case StreamEnd::kOutOfStep:
      break;
  }
  TcpSocket->AbortSocket();
  Reader.Clear();
  return verdict.lostBeforeSend() ? verdict : Status::ConnectionLost();
}

Status CMBusTCP::Judge(const Operation& operation,
                       const std::uint8_t* response, const ReadFrame& read,
                       const Answer& answer) {
  const int received = read.received;
  const modbusframe::Judgement judgement =
      answer.strict != nullptr
          ? modbusframe::JudgeStrict(response, received, *answer.strict)
      : answer.pdu != nullptr
          ? modbusframe::JudgePduAnswer(
                response, received, operation.functionCode, answer.pdu->unitId)
          : modbusframe::JudgeResponse(response, received,
                                       operation.functionCode, answer.count);
  const char* name = operation.exchangeName;
  switch (judgement.verdict) {
    case modbusframe::Verdict::Closed:
      Fail(FailureOf(read.ending, ErrorCode::kReceive),
           "%s: Unexpected close of connection on DIO Module %d", name,
           ModuleId);
      return Status::Failed();
    case modbusframe::Verdict::TooShort:
      // -1: the first receive failed, and how tells the code.
      Fail(received < 0 ? FailureOf(read.ending, ErrorCode::kReceive)
                        : Failure::Of(ErrorCode::kTooShort),
           "%s: Response was too short on DIO Module %d. readSize=%d", name,
           ModuleId, received);
      return Status::Failed();
    case modbusframe::Verdict::Exception:
      Fail(Failure::ModbusException(judgement.exceptionCode),
           "%s: MODBUS exception response on DIO Module %d - Code=%d, \"%s\"",
           name, ModuleId, judgement.exceptionCode,
           ExceptionText(judgement.exceptionCode));
      return Status::Failed();
    case modbusframe::Verdict::WrongSize:
      Fail(Failure::Of(ErrorCode::kWrongSize), operation.wrongSizeMessage,
           name, received, judgement.expectedSize);
      return Status::Failed();
    case modbusframe::Verdict::WrongAnswer:
      FailWrongAnswer(name, judgement);
      return Status::Failed();
    case modbusframe::Verdict::Accepted:
      break;
  }
  if (answer.pdu != nullptr) {
    answer.pdu->length = received - mbap::kHeaderSize;
    std::memcpy(answer.pdu->bytes, response + mbap::kHeaderSize,
                static_cast<std::size_t>(answer.pdu->length));
  }
  if (answer.registers != nullptr) {
    modbusframe::DecodeRegisters(response, answer.count, answer.registers);
  }
  if (answer.bits != nullptr) {
    modbusframe::DecodeBits(response, answer.count, answer.bits);
  }
  return Status::Ok();
}

void CMBusTCP::FailWrongAnswer(const char* name,
                               const modbusframe::Judgement& judgement) {
  if (judgement.message != nullptr) {
    Fail(Failure::Of(ErrorCode::kWrongAnswer), judgement.message, name,
         ModuleId, judgement.receivedValue, judgement.expectedValue);
  } else {
    Fail(Failure::Of(ErrorCode::kWrongAnswer), kNotThisRequests, name, ModuleId,
         judgement.field, judgement.receivedValue, judgement.expectedValue);
  }
}

void CMBusTCP::ReportNoResponse(const Operation& operation) {
  Fail(Failure::Of(ErrorCode::kTimeout),
       "%s: No response from DIO Module %d within %u ms",
       operation.exchangeName, ModuleId, Settings.responseTimeoutMs);
}

void CMBusTCP::TraceFrame(const char* line, const Operation& operation,
                          const std::uint8_t* bytes, int count) {
  if (count <= 0) return;
  TraceText text(Trace);
  text.Printf(line, operation.exchangeName, count);
  DumpBytes(text, bytes, static_cast<std::uint32_t>(count));
}

const char* CMBusTCP::ExceptionText(std::uint8_t code) const {
  if (code >= 1 && code <= 11) return ExceptionTexts[code];
  if (code == 255) return "Extended Exception Response";
  // "Unknow" is deliberate: hosts match on this text. Do not correct it.
  return "Unknow exception";
}

}  // namespace tcpmodbus
