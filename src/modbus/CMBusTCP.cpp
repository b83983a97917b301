#include "modbus/CMBusTCP.h"

#include <cstdarg>
#include <cstddef>

#include "modbus/AnswerGathering.h"
#include "modbus/Exchange.h"
#include "modbus/ModbusFrame.h"
#include "trace/HexDump.h"
#include "trace/PrintTrace.h"

namespace tcpmodbus {

namespace {

// The failure an ending that is not an answer means: the module closed or
// reset the connection, nothing came in time, or the system refused with
// its number (`otherwise` says in which step).
Failure FailureOf(const IoResult& ending, ErrorCode otherwise) {
  switch (ending.kind) {
    case IoResult::Kind::kClosed:
      return Failure::Of(ErrorCode::kClosed);
    case IoResult::Kind::kReset:
      return Failure::Of(ErrorCode::kClosed, ending.error);
    case IoResult::Kind::kTimedOut:
      return Failure::Of(ErrorCode::kTimeout);
    case IoResult::Kind::kDone:
    case IoResult::Kind::kFailed:
      break;
  }
  return Failure::Of(otherwise, ending.error);
}

// Bytes at most dropped before a request: what the largest answer holds (a
// late copy of one). More means the stream holds bytes of unknown extent.
constexpr int kMaxDiscardedBytes = mbap::kMaxFrameSize;

}  // namespace

CMBusTCP::CMBusTCP(const Options& options, const TraceOutput& trace)
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
      Ids(),
      TimeoutsInARow(0) {}

CMBusTCP::~CMBusTCP() = default;

void CMBusTCP::SetClientError(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  errortext::FormatV(ErrorText, format, args);
  va_end(args);
}

void CMBusTCP::Fail(const Failure& failure, const char* format, ...) {
  LastFailure = failure;
  std::va_list args;
  va_start(args, format);
  errortext::FormatV(ErrorText, format, args);
  va_end(args);
}

Status CMBusTCP::ConnectToServer() {
  static constexpr char kName[] = "CMBusTCP::ConnectToServer";
  if (TcpSocket == nullptr) {
    Fail(Failure::Of(ErrorCode::kNotConnected), "%s: Null socket (%d)", kName,
         ModuleId);
    return Status::Failed();
  }

  const IoResult connected = TcpSocket->Connect(
      ServerIPAddr.c_str(), ServerPort, Settings.connectTimeoutMs);
  if (connected.done()) {
    Ids = TransactionIds();
    TimeoutsInARow = 0;
    return Status::Ok();
  }
  TcpSocket->SetSocketError("WSASocket failed. connect Error(%d)",
                            connected.error);
  TcpSocket->CloseSocket();
  Fail(Failure::Of(ErrorCode::kConnect, connected.error), "%s",
       TcpSocket->ErrorText);
  return Status::Failed();
}

bool CMBusTCP::RefusedWithoutTransport(const Exchange& exchange) {
  if (TcpSocket != nullptr) return false;
  Fail(Failure::Of(ErrorCode::kNotConnected), "%s: Null socket (%d)",
       exchange.name, ModuleId);
  return true;
}

Status CMBusTCP::MbReadHoldingRegs(std::uint16_t startAddr,
                                   std::uint16_t regCount,
                                   std::uint16_t* regValues) {
  static constexpr Exchange kExchange = {
      modbusframe::kReadHoldingRegisters, "CMBusTCP::MbReadHoldingRegs",
      "%s ==>Sending MbReadHoldingRegs Request...Size=%d\n",
      "%s <==Received MbReadHoldingRegs Response...Size=%d\n", kReadWrongSize};
  return ReadRegisters(kExchange, startAddr, regCount, regValues);
}

Status CMBusTCP::MbReadInputRegs(std::uint16_t startAddr,
                                 std::uint16_t regCount,
                                 std::uint16_t* regValues) {
  static constexpr Exchange kExchange = {
      modbusframe::kReadInputRegisters, "CMBusTCP::MbReadInputRegs",
      "%s ==>Sending MbReadInputRegs Request...Size=%d\n",
      "%s <==Received MbReadInputRegs Response...Size=%d\n", kReadWrongSize};
  return ReadRegisters(kExchange, startAddr, regCount, regValues);
}

Status CMBusTCP::ReadRegisters(const Exchange& exchange,
                               std::uint16_t startAddr, std::uint16_t regCount,
                               std::uint16_t* regValues) {
  if (regValues == nullptr) {
    Fail(Failure::Of(ErrorCode::kInvalidArgument),
         "%s: Null register pointer on DIO Module %d", exchange.name, ModuleId);
    return Status::Failed();
  }
  if (RefusedWithoutTransport(exchange)) return Status::Failed();
  return Request(exchange, Answer::Registers(regCount, regValues),
                 [&](std::uint8_t* frame, const modbusframe::RequestHeader& h) {
                   return modbusframe::BuildReadRequest(
                       frame, exchange.functionCode, startAddr, regCount, h);
                 });
}

Status CMBusTCP::MbPresetSingleReg(std::uint16_t regAddr,
                                   std::uint16_t regValue) {
  static constexpr Exchange kExchange = {
      modbusframe::kPresetSingleRegister, "CMBusTCP::MbPresetSingleReg",
      "%s ==>Sending MbPresetSingleReg Request...Size=%d\n",
      "%s <==Received MbPresetSingleReg Response...Size=%d\n", kWriteWrongSize};
  if (RefusedWithoutTransport(kExchange)) return Status::Failed();
  return Request(kExchange, Answer(),
                 [&](std::uint8_t* frame, const modbusframe::RequestHeader& h) {
                   return modbusframe::BuildPresetSingleRequest(frame, regAddr,
                                                                regValue, h);
                 });
}

Status CMBusTCP::MbPresetMultipleRegs(std::uint16_t startAddr,
                                      std::uint16_t regCount,
                                      const std::uint16_t* regValues) {
  static constexpr Exchange kExchange = {
      modbusframe::kPresetMultipleRegisters, "CMBusTCP::MbPresetMultipleRegs",
      "%s ==>Sending MbPresetMultipleRegs Request...Size=%d\n",
      "%s <==Received MbPresetMultipleRegs Response...Size=%d\n",
      kWriteWrongSize};
  if (regValues == nullptr) {
    Fail(Failure::Of(ErrorCode::kInvalidArgument),
         "%s: Null register value pointer on DIO Module %d", kExchange.name,
         ModuleId);
    return Status::Failed();
  }
  if (RefusedWithoutTransport(kExchange)) return Status::Failed();
  if (regCount > modbusframe::kMaxPresetRegisters) {
    Fail(
        Failure::Of(ErrorCode::kInvalidArgument),
        "%s: Too many registers for one request on DIO Module %d: %d (at most %d)",
        kExchange.name, ModuleId, regCount, modbusframe::kMaxPresetRegisters);
    return Status::Failed();
  }
  return Request(kExchange, Answer(),
                 [&](std::uint8_t* frame, const modbusframe::RequestHeader& h) {
                   return modbusframe::BuildPresetMultipleRequest(
                       frame, startAddr, regCount, regValues, h);
                 });
}

modbusframe::RequestHeader CMBusTCP::NextRequestHeader() {
  modbusframe::RequestHeader header;
  header.unitId = Settings.unitId;
  if (Settings.transactionIds) header.transactionId = Ids.Next();
  return header;
}

Status CMBusTCP::Transact(const Exchange& exchange,
                          const modbusframe::RequestHeader& header,
                          const std::uint8_t* request, int requestSize,
                          const Answer& answer) {
  // The readiness check also tells whether input is waiting: the common
  // case costs no call of its own. It runs before the request is traced, so
  // that a connection found gone can be renewed before anything is shown.
  bool inputWaiting = false;
  IoResult sent = TcpSocket->CheckReady(&inputWaiting);
  if (sent.done() && inputWaiting) {
    const Status drained = DropWaitingInput(exchange);
    if (!drained.ok()) return drained;
  }

  {
    // Handed over before the request is sent.
    TraceText text(Trace);
    text.Printf(exchange.sendingLine, exchange.name, requestSize);
    DumpBytes(text, request, static_cast<std::uint32_t>(requestSize));
  }
  if (sent.done()) sent = TcpSocket->Send(request, requestSize);
  if (!sent.done() || sent.count != requestSize) {
    Fail(FailureOf(sent, ErrorCode::kSend),
         "%s: Failed to send request to DIO Module %d. Error: %s",
         exchange.name, ModuleId, TcpSocket->ErrorText);
    return Status::ConnectionLost();
  }

  if (Settings.transactionIds) {
    return ReceiveIdentified(exchange, header, answer);
  }
  std::uint8_t response[CTcpSocket::MaxResponseBytes];
  const GatheredAnswer gathered =
      GatherAnswer(*TcpSocket, response,
                   {answer.Size(exchange.functionCode), exchange.functionCode},
                   Settings.responseTimeoutMs);
  if (gathered.received == 0 && gathered.ending.timedOut()) {
    ReportNoResponse(exchange);
    return Conclude(Status::Failed(), gathered);
  }
  TraceReceived(exchange, response, gathered.received);
  return Conclude(
      Judge(exchange, response, gathered.received, gathered.ending, answer),
      gathered);
}

Status CMBusTCP::DropWaitingInput(const Exchange& exchange) {
  // What waits arrived before this request, so it answers none.
  const IoResult dropped = TcpSocket->DiscardWaiting(kMaxDiscardedBytes + 1);
  if (dropped.done() && dropped.count <= kMaxDiscardedBytes) {
    return Status::Ok();
  }
  if (dropped.done()) {
    // More than any answer holds: a stream of unknown extent, into which no
    // request is sent.
    TcpSocket->AbortSocket();
    if (Settings.recovery) return Status::LostBeforeSend();
    Fail(
        Failure::Of(ErrorCode::kWrongAnswer),
        "%s: More than %d bytes from DIO Module %d were waiting unread before the request; the connection was closed",
        exchange.name, kMaxDiscardedBytes, ModuleId);
    return Status::ConnectionLost();
  }
  // The module closed or reset the connection while it was idle. Recovery
  // renews it before the request; without it, the request is sent and the
  // exchange reports what it meets.
  return Settings.recovery ? Status::LostBeforeSend() : Status::Ok();
}

void CMBusTCP::ReportNoResponse(const Exchange& exchange) {
  Fail(Failure::Of(ErrorCode::kTimeout),
       "%s: No response from DIO Module %d within %u ms", exchange.name,
       ModuleId, Settings.responseTimeoutMs);
}

void CMBusTCP::TraceReceived(const Exchange& exchange,
                             const std::uint8_t* response, int received) {
  if (received <= 0) return;
  TraceText text(Trace);
  text.Printf(exchange.receivedLine, exchange.name, received);
  DumpBytes(text, response, static_cast<std::uint32_t>(received));
}

Status CMBusTCP::Conclude(const Status& verdict,
                          const GatheredAnswer& gathered) {
  // Closed, reset, failed, or not ready: nothing more comes on it.
  if (gathered.ending.ended()) return Status::ConnectionLost();
  // The answer, or its rest, may still come after the next request: with a
  // response time-out the connection is given up, so that it never can.
  const bool unanswered = gathered.received == 0 && gathered.ending.timedOut();
  const bool cutShort = !verdict.ok() && gathered.ending.timedOut() &&
                        Settings.responseTimeoutMs != 0;
  if (unanswered || cutShort) return AbortStream();
  return verdict;
}

Status CMBusTCP::Judge(const Exchange& exchange, const std::uint8_t* response,
                       int received, const IoResult& ending,
                       const Answer& answer) {
  const modbusframe::Judgement judgement =
      answer.strict != nullptr
          ? modbusframe::JudgeStrict(response, received, *answer.strict)
          : modbusframe::JudgeResponse(response, received,
                                       exchange.functionCode, answer.count);
  switch (judgement.verdict) {
    case modbusframe::Verdict::Closed:
      Fail(FailureOf(ending, ErrorCode::kReceive),
           "%s: Unexpected close of connection on DIO Module %d", exchange.name,
           ModuleId);
      return Status::Failed();
    case modbusframe::Verdict::TooShort:
      // -1: the first receive failed, and how tells the code.
      Fail(received < 0 ? FailureOf(ending, ErrorCode::kReceive)
                        : Failure::Of(ErrorCode::kTooShort),
           "%s: Response was too short on DIO Module %d. readSize=%d",
           exchange.name, ModuleId, received);
      return Status::Failed();
    case modbusframe::Verdict::Exception:
      Fail(Failure::ModbusException(judgement.exceptionCode),
           "%s: MODBUS exception response on DIO Module %d - Code=%d, \"%s\"",
           exchange.name, ModuleId, judgement.exceptionCode,
           ExceptionText(judgement.exceptionCode));
      return Status::Failed();
    case modbusframe::Verdict::WrongSize:
      Fail(Failure::Of(ErrorCode::kWrongSize), exchange.wrongSizeMessage,
           exchange.name, received, judgement.expectedSize);
      return Status::Failed();
    case modbusframe::Verdict::WrongAnswer:
      Fail(Failure::Of(ErrorCode::kWrongAnswer), kNotThisRequests,
           exchange.name, ModuleId, judgement.field, judgement.receivedValue,
           judgement.expectedValue);
      return Status::Failed();
    case modbusframe::Verdict::Accepted:
      break;
  }
  if (answer.registers != nullptr) {
    modbusframe::DecodeRegisters(response, answer.count, answer.registers);
  }
  if (answer.bits != nullptr) {
    modbusframe::DecodeBits(response, answer.count, answer.bits);
  }
  return Status::Ok();
}

const char* CMBusTCP::ExceptionText(std::uint8_t code) const {
  if (code >= 1 && code <= 11) return ExceptionTexts[code];
  if (code == 255) return "Extended Exception Response";
  // "Unknow" is deliberate: hosts match on this text. Do not correct it.
  return "Unknow exception";
}

}  // namespace tcpmodbus
