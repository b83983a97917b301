// Several reads in flight on one connection (transaction identifiers on):
// the window of requests leaves in one send, each answer is matched to its
// request by identifier whatever its position, and each request waits
// within its own deadline from its own send. Only while several are in
// flight, Nagle's algorithm is off and answers are acknowledged at once
// (docs/performance.md has the figures of both).
#include <chrono>
#include <cstdint>

#include "modbus/CMBusTCP.h"
#include "modbus/ExchangeTexts.h"
#include "modbus/ModbusFrame.h"
#include "trace/HexDump.h"
#include "trace/PrintTrace.h"

namespace tcpmodbus {

namespace mf = modbusframe;
using Clock = ResponseDeadline::Clock;

namespace {

constexpr int kMaxDepth = TCPMODBUS_MAX_IN_FLIGHT;

// A refill is one small send per answer: with Nagle's algorithm on, each
// would wait until the module has acknowledged the one before. It is off
// for the batch and on again after it, so that one request at a time sends
// as it always has.
class NoDelayWhileInFlight {
 public:
  explicit NoDelayWhileInFlight(CTcpSocket& socket) : socket_(socket) {
    socket_.SetNoDelay(true);
  }
  ~NoDelayWhileInFlight() { socket_.SetNoDelay(false); }
  NoDelayWhileInFlight(const NoDelayWhileInFlight&) = delete;
  NoDelayWhileInFlight& operator=(const NoDelayWhileInFlight&) = delete;

 private:
  CTcpSocket& socket_;
};

}  // namespace

// A request of the batch on the wire: which read it is, in what order it
// was sent, and how long it waits.
struct CMBusTCP::InFlight {
  int read = -1;  // -1: a free place
  int order = 0;
  mf::RequestHeader header;
  Answer answer;
  mf::StrictAnswer strict;
  bool bounded = false;  // by the response time-out, until `end`
  Clock::time_point end;
  // An answer to another request came after this one was sent: this one
  // waits at most until `graceEnd` from the latest such answer, then counts
  // as left unanswered (a device that drops what arrives while it is busy).
  bool graced = false;
  Clock::time_point graceEnd;

  // When its wait ends, and whether it has an end.
  bool Bounded() const { return bounded || graced; }
  Clock::time_point WaitEnd() const {
    if (!graced) return end;
    return bounded && end < graceEnd ? end : graceEnd;
  }
};

Status CMBusTCP::SendWindow(const PipelinedRead* reads, int count, int depth,
                            InFlight* slots, int* next, int* sentOrder) {
  std::uint8_t window[kMaxDepth * mf::kFixedRequestSize];
  InFlight* added[kMaxDepth];
  int adding = 0;
  int inFlight = 0;
  for (int i = 0; i < depth; ++i) inFlight += slots[i].read >= 0 ? 1 : 0;
  const bool first = inFlight == 0 && *next == 0;
  for (int i = 0; i < depth && *next < count; ++i) {
    InFlight& slot = slots[i];
    if (slot.read >= 0) continue;
    const PipelinedRead& read = reads[*next];
    slot = InFlight();
    slot.read = (*next)++;
    slot.header.unitId = Settings.unitId;
    slot.header.transactionId = Ids.Next();
    slot.answer.count = read.count;
    slot.answer.registers = read.registers;
    slot.answer.bits = read.bits;
    std::uint8_t* request = window + adding * mf::kFixedRequestSize;
    mf::BuildReadRequest(request, read.functionCode, read.address, read.count,
                         slot.header);
    if (OperationOf(read.functionCode).strict) {
      slot.strict = mf::AnswerTo(request);
      slot.answer.strict = &slot.strict;
    }
    added[adding++] = &slot;
  }
  if (adding == 0) return Status::Ok();
  const Operation& leading = OperationOf(reads[added[0]->read].functionCode);
  Status before = Status::Ok();
  const int size = adding * mf::kFixedRequestSize;
  const IoResult sent = TcpSocket->SendData(
      window, size,
      [&](const IoResult& ready, const platform::StreamState& state) {
        // Before the first request what waits answers none; later, it is
        // the answers of the requests in flight.
        if (ready.done() && first &&
            (state.inputWaiting || state.failed || Reader.HeldSize() > 0)) {
          before = BeforeRequest(leading, state);
          if (!before.ok()) return false;
        }
        for (int i = 0; i < adding; ++i) {
          const Operation& operation =
              OperationOf(reads[added[i]->read].functionCode);
          TraceText text(Trace);
          text.Printf(operation.sendingLine, operation.exchangeName,
                      mf::kFixedRequestSize);
          DumpBytes(text, window + i * mf::kFixedRequestSize,
                    mf::kFixedRequestSize);
        }
        return true;
      });
  if (!before.ok() || !sent.done() || sent.count != size) {
    for (int i = 0; i < adding; ++i) {
      // Not sent: the read goes back to be sent again.
      --*next;
      added[i]->read = -1;
    }
    if (!before.ok()) return before;
    return SendFailed(leading.exchangeName, sent);
  }
  const Clock::time_point now = Clock::now();
  for (int i = 0; i < adding; ++i) {
    added[i]->order = (*sentOrder)++;
    added[i]->bounded = Settings.responseTimeoutMs != 0;
    added[i]->end = now + std::chrono::milliseconds(Settings.responseTimeoutMs);
  }
  return Status::Ok();
}

Status CMBusTCP::JudgeInFlight(InFlight& slot, const PipelinedRead& read,
                               const ReadFrame& frameRead,
                               const std::uint8_t* frame) {
  const Operation& operation = OperationOf(read.functionCode);
  TraceFrame(operation.receivedLine, operation, frame, frameRead.received);
  Connection.timeoutsInARow = 0;
  const mf::IdentityCheck identity =
      mf::CheckAnswerIdentity(frame, slot.header, operation.functionCode);
  if (identity.mismatch != mf::Mismatch::kNone) {
    Fail(Failure::Of(ErrorCode::kWrongAnswer), kNotThisRequests,
         operation.exchangeName, ModuleId, FieldName(identity.mismatch),
         identity.received, identity.expected);
    return Status::Failed();
  }
  const Status verdict = Judge(operation, frame, frameRead, slot.answer);
  if (verdict.ok()) {
    Ids.Answered(slot.header.transactionId, frame, frameRead.received);
  }
  return verdict;
}

Status CMBusTCP::ReadPipelined(const PipelinedRead* reads, int count,
                               int depth, PipelineSink& sink,
                               StepDown* stepDown) {
  *stepDown = StepDown::kNone;
  if (depth > kMaxDepth) depth = kMaxDepth;
  if (TcpSocket == nullptr || count <= 0) return Status::Ok();
  const NoDelayWhileInFlight noDelay(*TcpSocket);
  Reader.Expect(true, {0, 0});
  InFlight slots[kMaxDepth];
  int next = 0;
  int sentOrder = 0;
  int dropped = 0;
  std::uint8_t frame[mbap::kMaxFrameSize];
  // Every read still in flight or not yet sent fails as the record says.
  auto failRest = [&](const Status& status) {
    for (int i = 0; i < depth; ++i) {
      if (slots[i].read < 0) continue;
      Connection.AwaitLate(slots[i].header.transactionId);
      sink.Judged(slots[i].read, Status::Failed());
      slots[i].read = -1;
    }
    for (; next < count; ++next) {
      if (status.connectionLost()) {
        sink.NotSent(next);
      } else {
        sink.Judged(next, Status::Failed());
      }
    }
    return status;
  };
  // Gives up several in flight: what is not judged is sent again by the
  // caller one at a time; answers still due are dropped when they come.
  auto stepDownFor = [&](StepDown why, const Status& status) {
    *stepDown = why;
    for (int i = 0; i < depth; ++i) {
      if (slots[i].read >= 0) Connection.AwaitLate(slots[i].header.transactionId);
    }
    return status;
  };
  for (;;) {
    // The window is filled once the answers that have come are judged, so
    // that several leave in one send.
    const int held = Reader.HeldSize();
    const int whole = held > 0 ? mf::FrameSize(Reader.Held(), held) : 0;
    const bool waits = !(whole > 0 && whole <= held);
    if (waits) {
      const Status sent =
          SendWindow(reads, count, depth, slots, &next, &sentOrder);
      if (sent.lostBeforeSend()) return sent;
      if (!sent.ok()) {
        return sentOrder > 0 ? stepDownFor(StepDown::kClosed, sent)
                             : failRest(sent);
      }
    }
    InFlight* earliest = nullptr;
    bool waitBounded = false;
    Clock::time_point waitEnd;
    for (int i = 0; i < depth; ++i) {
      InFlight& slot = slots[i];
      if (slot.read < 0) continue;
      if (earliest == nullptr || slot.order < earliest->order) earliest = &slot;
      if (!slot.Bounded()) continue;
      if (!waitBounded || slot.WaitEnd() < waitEnd) waitEnd = slot.WaitEnd();
      waitBounded = true;
    }
    if (earliest == nullptr) return Status::Ok();  // every read judged
    const ResponseDeadline deadline =
        waitBounded ? ResponseDeadline(waitEnd, true) : ResponseDeadline(0);
    // A module whose system holds its later answers until the first is
    // acknowledged (Nagle's algorithm on its side) would otherwise wait for
    // this side's delayed acknowledgement once the batch has nothing more
    // to send; before that, each refill carries the acknowledgement.
    if (waits && next == count) TcpSocket->AcknowledgeAtOnce();
    const ReadFrame read = Reader.Next(*TcpSocket, frame, deadline);
    const Operation& leading = OperationOf(reads[earliest->read].functionCode);
    if (read.ending.cancelled()) {
      Fail(Failure::Of(ErrorCode::kCancelled), kCancelledWaiting,
           leading.exchangeName, ModuleId);
      return failRest(Conclude(Status::Failed(), StreamEnd::kOutOfStep, 0));
    }
    if (read.received == 0 && read.ending.timedOut()) {
      const Clock::time_point now = Clock::now();
      for (int i = 0; i < depth; ++i) {
        InFlight& slot = slots[i];
        if (slot.read < 0 || !slot.graced || slot.WaitEnd() > now) continue;
        Note(Failure::Of(ErrorCode::kTimeout),
             "%s: DIO Module %d left a request unanswered while it answered others; one request in flight from now on",
             OperationOf(reads[slot.read].functionCode).exchangeName,
             ModuleId);
        return stepDownFor(StepDown::kUnanswered, Status::Failed());
      }
      for (int i = 0; i < depth; ++i) {
        InFlight& slot = slots[i];
        if (slot.read < 0 || !slot.bounded || slot.end > now) continue;
        ReportNoResponse(OperationOf(reads[slot.read].functionCode));
        const Status concluded = Conclude(Status::Failed(),
                                          StreamEnd::kUnanswered,
                                          slot.header.transactionId);
        sink.Judged(slot.read, Status::Failed());
        slot.read = -1;
        if (concluded.connectionLost()) return failRest(concluded);
      }
      continue;
    }
    if (!read.framed || !read.ending.done()) {
      TraceFrame(leading.receivedLine, leading, frame, read.received);
      if (read.framed && read.ending.ended()) {
        Note(Failure::Of(ErrorCode::kClosed, read.ending.error),
             "%s: DIO Module %d ended the connection with requests in flight; one request in flight from now on",
             leading.exchangeName, ModuleId);
        return stepDownFor(StepDown::kClosed, Status::ConnectionLost());
      }
      Fail(Failure::Of(ErrorCode::kWrongAnswer), kUnframable,
           leading.exchangeName, ModuleId);
      return failRest(Conclude(Status::Failed(), StreamEnd::kOutOfStep, 0));
    }
    const std::uint16_t id = mf::TransactionId(frame);
    InFlight* answered = nullptr;
    for (int i = 0; i < depth; ++i) {
      if (slots[i].read >= 0 && slots[i].header.transactionId == id) {
        answered = &slots[i];
      }
    }
    if (answered != nullptr) {
      // Bytes behind the answer that cannot begin a frame put its own end
      // in doubt (one shorter than its byte count says has taken the start
      // of the next answer): nothing of it is delivered, as with one
      // request in flight.
      const int behind = Reader.HeldSize();
      if (behind > 0 && mf::FrameSize(Reader.Held(), behind) < 0) {
        const Operation& operation =
            OperationOf(reads[answered->read].functionCode);
        TraceFrame(operation.receivedLine, operation, frame, read.received);
        TraceFrame(kDroppedLine, operation, Reader.Held(), behind);
        Fail(Failure::Of(ErrorCode::kWrongAnswer), kUnframable,
             operation.exchangeName, ModuleId);
        return failRest(Conclude(Status::Failed(), StreamEnd::kOutOfStep, 0));
      }
      const Status verdict =
          JudgeInFlight(*answered, reads[answered->read], read, frame);
      sink.Judged(answered->read, verdict);
      answered->read = -1;
      // The others in flight wait a bounded time from now: a device that
      // answers while they go unanswered may have dropped them.
      const Clock::time_point grace =
          Clock::now() + std::chrono::milliseconds(kContinuationWaitMs);
      for (int i = 0; i < depth; ++i) {
        if (slots[i].read < 0) continue;
        slots[i].graced = true;
        slots[i].graceEnd = grace;
      }
      continue;
    }
    if ((Connection.TakeLate(id) || Ids.IsCopy(id, frame, read.received)) &&
        ++dropped <= 8 + depth) {
      TraceFrame(kDroppedLine, leading, frame, read.received);
      continue;
    }
    TraceFrame(leading.receivedLine, leading, frame, read.received);
    Fail(Failure::Of(ErrorCode::kWrongAnswer), kOtherIdentifier,
         leading.exchangeName, ModuleId, id, earliest->header.transactionId);
    return failRest(Status::Failed());
  }
}

}  // namespace tcpmodbus
