// The Modbus/TCP protocol client: connects the transport's bound socket to
// the server and runs one request/response exchange per register operation.
// Each operation returns a Status and leaves the reason for a failure in
// ErrorText.
#ifndef TCPMODBUS_MODBUS_CMBUSTCP_H_
#define TCPMODBUS_MODBUS_CMBUSTCP_H_

#include <cstdint>
#include <string>

#include "common/Attributes.h"
#include "common/ErrorText.h"
#include "common/Failure.h"
#include "common/Options.h"
#include "modbus/ModbusFrame.h"
#include "modbus/Status.h"
#include "modbus/TransactionIds.h"
#include "trace/TraceOutput.h"
#include "transport/CTcpSocket.h"

namespace tcpmodbus {

struct GatheredAnswer;

class CMBusTCP {
 public:
  static constexpr int ExceptionTextCount = 15;

  // `options` and `trace` belong to the object that owns this client and
  // outlive it.
  CMBusTCP(const Options& options, const TraceOutput& trace);
  CMBusTCP(const CMBusTCP&) = delete;
  CMBusTCP& operator=(const CMBusTCP&) = delete;
  virtual ~CMBusTCP();

  void SetClientError(const char* format, ...) TCPMODBUS_PRINTF_FORMAT(2, 3);
  // Records a failure: its message in ErrorText and what a host branches on
  // in LastFailure.
  void Fail(const Failure& failure, const char* format, ...)
      TCPMODBUS_PRINTF_FORMAT(3, 4);
  Status ConnectToServer();

  Status MbReadHoldingRegs(std::uint16_t startAddr, std::uint16_t regCount,
                           std::uint16_t* regValues);
  Status MbReadInputRegs(std::uint16_t startAddr, std::uint16_t regCount,
                         std::uint16_t* regValues);
  Status MbPresetSingleReg(std::uint16_t regAddr, std::uint16_t regValue);
  Status MbPresetMultipleRegs(std::uint16_t startAddr, std::uint16_t regCount,
                              const std::uint16_t* regValues);

  // The point exchanges (PointExchanges.cpp): coils and discrete inputs,
  // one bit a byte in the caller's arrays, a mask write and a read/write of
  // registers. Quantities out of the protocol's limits are refused before
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
  // The module writes before it reads, in one transaction.
  Status MbReadWriteMultipleRegs(std::uint16_t readAddr,
                                 std::uint16_t readCount,
                                 std::uint16_t* readValues,
                                 std::uint16_t writeAddr,
                                 std::uint16_t writeCount,
                                 const std::uint16_t* writeValues);

  std::uint16_t ModuleId;
  std::uint16_t ServerPort;
  std::string ServerIPAddr;
  // Non-owning; the front owns the transport and sets this once it is open.
  CTcpSocket* TcpSocket;
  char ErrorText[errortext::kSize];
  // The code, system error and exception code of the last failure of this
  // object, set with every failure, also those that leave ErrorText as it
  // is (not connected, an open or bind failure in Initialize).
  Failure LastFailure;
  // Texts of the exception codes 0 to 14; only 1 to 11 are looked up.
  const char* ExceptionTexts[ExceptionTextCount];

 private:
  struct Exchange;
  struct Answer;

  Status ReadRegisters(const Exchange& exchange, std::uint16_t startAddr,
                       std::uint16_t regCount, std::uint16_t* regValues);
  Status ReadBits(const Exchange& exchange, std::uint16_t startAddr,
                  std::uint16_t bitCount, std::uint8_t* bits);
  // Refuses, with its message, an exchange without a transport.
  bool RefusedWithoutTransport(const Exchange& exchange);
  // Refuses, with its message, a point exchange's null array or a quantity
  // outside 1 to `most`.
  bool RefusedValues(const Exchange& exchange, const void* values,
                     std::uint16_t quantity, std::uint16_t most);
  // Builds a request and runs its exchange (Exchange.h).
  template <typename Build>
  Status Request(const Exchange& exchange, Answer answer, Build build);
  // The header fields of the next request: the unit identifier and, with
  // identifiers on, the next transaction identifier.
  modbusframe::RequestHeader NextRequestHeader();
  // Traces, sends and receives `request`, then judges the answer against
  // `answer`, which says where an accepted read's values go.
  Status Transact(const Exchange& exchange,
                  const modbusframe::RequestHeader& header,
                  const std::uint8_t* request, int requestSize,
                  const Answer& answer);
  // Drops what arrived before the request; says when the stream cannot
  // carry it.
  Status DropWaitingInput(const Exchange& exchange);
  // With transaction identifiers on: reads frames until the answer with the
  // request's identifier, dropping earlier requests' answers.
  Status ReceiveIdentified(const Exchange& exchange,
                           const modbusframe::RequestHeader& header,
                           const Answer& answer);
  // Gives up a connection whose stream is out of step: closed with a reset.
  Status AbortStream();
  void ReportNoResponse(const Exchange& exchange);
  void TraceReceived(const Exchange& exchange, const std::uint8_t* response,
                     int received);
  // Writes the message of a failed verdict, or delivers an accepted read's
  // values where `answer` says.
  // `ending` says how the receive ended, which tells an answer that never
  // came (closed, reset, failed) apart by its code.
  Status Judge(const Exchange& exchange, const std::uint8_t* response,
               int received, const IoResult& ending, const Answer& answer);
  // What a judged exchange means for the connection: the one place that
  // decides it is lost, and closes it with a reset when a late answer could
  // still arrive on it.
  Status Conclude(const Status& verdict, const GatheredAnswer& gathered);
  const char* ExceptionText(std::uint8_t code) const;

  const Options& Settings;
  const TraceOutput& Trace;
  // What the current connection has used, from its connect on.
  TransactionIds Ids;
  // Exchanges in a row that ended without any answer (identifiers on).
  int TimeoutsInARow;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_CMBUSTCP_H_
