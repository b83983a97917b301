// The Modbus/TCP protocol client: connects the transport's bound socket to
// the server and runs one request/response exchange per operation. Each
// operation returns a Status; the reason for a failure is in its failure
// record (LastFailure), and in ErrorText where the host's LastErrorString
// shows it.
//
// The exchanges are in Exchanges.cpp, the reading of answers in
// AnswerReader, the frames and verdicts, pure functions over bytes, in
// ModbusFrame and AnswerFraming.
#ifndef TCPMODBUS_MODBUS_CMBUSTCP_H_
#define TCPMODBUS_MODBUS_CMBUSTCP_H_

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/Attributes.h"
#include "common/ConnectionState.h"
#include "common/ErrorText.h"
#include "common/Failure.h"
#include "common/Options.h"
#include "modbus/AnswerReader.h"
#include "modbus/ModbusFrame.h"
#include "modbus/Operations.h"
#include "modbus/Status.h"
#include "modbus/TransactionIds.h"
#include "trace/TraceOutput.h"
#include "transport/CTcpSocket.h"

namespace tcpmodbus {


class CMBusTCP {
 public:
  static constexpr int ExceptionTextCount = 15;

  // `options`, `trace` and `connection` belong to the object that owns this
  // client and outlive it.
  CMBusTCP(const Options& options, const TraceOutput& trace,
           ConnectionState& connection);
  CMBusTCP(const CMBusTCP&) = delete;
  CMBusTCP& operator=(const CMBusTCP&) = delete;
  virtual ~CMBusTCP();

  // Writes ErrorText alone.
  void SetClientError(const char* format, ...) TCPMODBUS_PRINTF_FORMAT(2, 3);
  // Records a failure in one call: its code and text in LastFailure, and the
  // same text in ErrorText, which LastErrorString shows.
  void Fail(const Failure& failure, const char* format, ...)
      TCPMODBUS_PRINTF_FORMAT(3, 4);
  // The same, with `errorString` for ErrorText.
  void FailAs(const Failure& failure, const char* errorString,
              const char* format, ...) TCPMODBUS_PRINTF_FORMAT(4, 5);
  // Records a failure whose text LastErrorString does not show: ErrorText
  // keeps telling the last failed exchange or connect.
  void Note(const Failure& failure, const char* format, ...)
      TCPMODBUS_PRINTF_FORMAT(3, 4);

  Status ConnectToServer();
  // With name look-up on, before the socket is opened: the server's
  // addresses from the system's look-up of ServerIPAddr. A name without
  // answer fails as a connect does, with the look-up's message.
  Status LookUpServer();

  Status MbReadHoldingRegs(std::uint16_t startAddr, std::uint16_t regCount,
                           std::uint16_t* regValues);
  Status MbReadInputRegs(std::uint16_t startAddr, std::uint16_t regCount,
                         std::uint16_t* regValues);
  Status MbPresetSingleReg(std::uint16_t regAddr, std::uint16_t regValue);
  Status MbPresetMultipleRegs(std::uint16_t startAddr, std::uint16_t regCount,
                              const std::uint16_t* regValues);
  // Coils and discrete inputs, one bit a byte in the caller's arrays, a mask
  // write and a read/write of registers (the module writes before it
  // reads). Quantities out of the protocol's limits are refused before
  // anything is sent; their answers are judged strictly.
  Status MbReadCoilStatus(std::uint16_t startAddr, std::uint16_t bitCount,
                          std::uint8_t* bits);
  Status MbReadInputStatus(std::uint16_t startAddr, std::uint16_t bitCount,
                           std::uint8_t* bits);
  Status MbForceSingleCoil(std::uint16_t addr, bool on);
  Status MbForceMultipleCoils(std::uint16_t startAddr, std::uint16_t bitCount,
                              const std::uint8_t* bits);
  Status MbMaskWriteReg(std::uint16_t addr, std::uint16_t andMask,
                        std::uint16_t orMask);
  Status MbReadWriteMultipleRegs(std::uint16_t readAddr,
                                 std::uint16_t readCount,
                                 std::uint16_t* readValues,
                                 std::uint16_t writeAddr,
                                 std::uint16_t writeCount,
                                 const std::uint16_t* writeValues);

  // Read Device Identification (function code 43, MEI type 14) of read
  // device id code `code` (1 to 4) from `objectId` on, following "more
  // follows" for up to TCPMODBUS_MAX_IDENT_ANSWERS answers, each an
  // exchange: the objects' records (id, length, bytes) into `records` of
  // `size` bytes, their count of bytes into `*length` and the conformity
  // level into `*conformity` (either may be null) on success.
  Status MbReadDeviceIdentification(int code, std::uint8_t objectId,
                                    std::uint8_t* records, std::size_t size,
                                    std::size_t* length, int* conformity);
  // A request of `functionCode` (1 to 127) and `length` data bytes; the
  // answer's PDU into `answer` of `size` bytes and its size into
  // `*answerLength` (may be null) on success.
  Status MbRawRequest(std::uint8_t functionCode, const std::uint8_t* data,
                      std::size_t length, std::uint8_t* answer,
                      std::size_t size, std::size_t* answerLength);

  // A read of a pipelined batch: function code 1, 2, 3 or 4, and where its
  // values go (registers for 3 and 4, bits one a byte for 1 and 2).
  struct PipelinedRead {
    std::uint8_t functionCode;
    std::uint16_t address;
    std::uint16_t count;
    std::uint16_t* registers;
    std::uint8_t* bits;
  };
  // Told at once how each read of a pipelined batch ended: ok, or failed
  // with its failure in the record.
  class PipelineSink {
   public:
    virtual void Judged(int read, const Status& status) = 0;
    // Read `read` was not sent: the connection was lost before.
    virtual void NotSent(int read) = 0;

   protected:
    ~PipelineSink() = default;
  };
  // Why a pipelined batch gave up having several requests in flight.
  enum class StepDown {
    kNone,
    kUnanswered,  // a request stayed unanswered while later ones were not
    kClosed,      // the module closed or reset the connection
  };
  // Runs `count` reads with transaction identifiers on, sending up to
  // `depth` requests before the first answer and one more as each answer
  // comes; answers are matched by identifier, each request waits within
  // its own deadline from its own send. Reads not judged when it returns,
  // with `*stepDown` telling why, are the caller's to send again one at a
  // time; a write is never part of a batch.
  Status ReadPipelined(const PipelinedRead* reads, int count, int depth,
                       PipelineSink& sink, StepDown* stepDown);

  std::uint16_t ModuleId;
  std::uint16_t ServerPort;
  std::string ServerIPAddr;
  // Non-owning; the front owns the transport and sets this once it is open.
  CTcpSocket* TcpSocket;
  char ErrorText[errortext::kSize];
  // The last failure of this object, with a text that always tells it.
  FailureRecord LastFailure;
  // Texts of the exception codes 0 to 14; only 1 to 11 are looked up.
  const char* ExceptionTexts[ExceptionTextCount];

 private:
  // What one exchange expects back, and where an accepted answer's values
  // go.
  struct Answer {
    // Registers or bits asked for by a read, registers written by code 16.
    std::uint16_t count = 0;
    std::uint16_t* registers = nullptr;  // a read of registers fills these
    std::uint8_t* bits = nullptr;        // a read of bits fills these
    // The strict verdict of the point operations; null: the size and the
    // exception flag alone are judged.
    const modbusframe::StrictAnswer* strict = nullptr;
    // An answer that its MBAP length alone sizes, judged by its header and
    // function code; an accepted one's PDU is copied here.
    struct Pdu {
      std::uint8_t* bytes;  // modbusframe::kMaxPduSize of them
      int length;
      std::uint8_t unitId;
    };
    Pdu* pdu = nullptr;
    // The size the whole answer has.
    int Size(std::uint8_t functionCode) const;
  };
  // How the reading of an answer ended, for the one decision on the
  // connection (Conclude).
  enum class StreamEnd {
    kInStep,     // an answer judged, nothing left in doubt
    kUnanswered, // nothing came within the response time-out
    kCutShort,   // a wait expired in the middle of an answer
    kEnded,      // closed, reset, failed or not ready: nothing more comes
    kOutOfStep,  // bytes that cannot be placed: the stream is given up
    kAnswerDue,  // another frame came; this request's answer may still come
  };

  struct InFlight;
  // A pipelined batch's steps: fill its window in one send, and judge a
  // frame that answers one of its requests.
  Status SendWindow(const PipelinedRead* reads, int count, int depth,
                    InFlight* slots, int* next, int* sentOrder);
  Status JudgeInFlight(InFlight& slot, const PipelinedRead& read,
                       const ReadFrame& frameRead, const std::uint8_t* frame);

  void VRecord(const Failure& failure, const char* errorString,
               const char* format, std::va_list args);
  // The guards of an exchange, each with its message: a null array, a
  // quantity outside 1 to the operation's limit, no transport.
  bool Refused(const Operation& operation, const void* values,
               const char* nullMessage);
  bool RefusedQuantity(const Operation& operation, std::uint16_t quantity,
                       std::uint16_t most);
  Status ReadRegisters(const Operation& operation, std::uint16_t startAddr,
                       std::uint16_t regCount, std::uint16_t* regValues);
  Status ReadBits(const Operation& operation, std::uint16_t startAddr,
                  std::uint16_t bitCount, std::uint8_t* bits);
  // Builds the request with the next header (`build(frame, header)` gives
  // its size), then runs its exchange.
  template <typename Build>
  Status Request(const Operation& operation, Answer answer, Build build);
  // Sends `request` and reads and judges its answer.
  Status Transact(const Operation& operation,
                  const modbusframe::RequestHeader& header,
                  const std::uint8_t* request, int size, const Answer& answer);
  // What the readiness check before a send found: bytes waiting or held
  // (dropped, or the stream given up) or the connection lost.
  Status BeforeRequest(const Operation& operation,
                       const platform::StreamState& state);
  // A send that failed or went out in part, recorded. Part of a request on
  // the wire would be framed by the module with the next one's bytes, so
  // that stream is given up.
  Status SendFailed(const char* exchangeName, const IoResult& sent);
  // Reads until the answer to the request with `header`, and judges it.
  Status ReceiveAnswer(const Operation& operation,
                       const modbusframe::RequestHeader& header,
                       const Answer& answer);
  // With identifiers on: the frame with the request's identifier, judged.
  Status JudgeIdentified(const Operation& operation,
                         const modbusframe::RequestHeader& header,
                         const ReadFrame& read, const std::uint8_t* frame,
                         const Answer& answer);
  // Writes the message of a failed verdict, or delivers an accepted read's
  // values where `answer` says. `read.ending` tells an answer that never
  // came (closed, reset, failed) apart by its code.
  Status Judge(const Operation& operation, const std::uint8_t* response,
               const ReadFrame& read, const Answer& answer);
  // What an exchange means for the connection: the one place that decides
  // it is lost, and that closes it (with a reset) when bytes could still
  // arrive that no later exchange must take for its own.
  Status Conclude(const Status& verdict, StreamEnd end,
                  std::uint16_t transactionId);
  void ReportNoResponse(const Operation& operation);
  // The failure of a WrongAnswer judgement: its own message, or the field
  // that is not the request's.
  void FailWrongAnswer(const char* name,
                       const modbusframe::Judgement& judgement);
  // One exchange of a request whose answer `pdu` receives.
  template <typename Build>
  Status RequestPdu(const Operation& operation, Answer::Pdu& pdu, Build build);
  void TraceFrame(const char* line, const Operation& operation,
                  const std::uint8_t* bytes, int count);
  const char* ExceptionText(std::uint8_t code) const;

  const Options& Settings;
  const TraceOutput& Trace;
  ConnectionState& Connection;
  TransactionIds Ids;
  AnswerReader Reader;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_CMBUSTCP_H_
