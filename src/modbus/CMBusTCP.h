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

  Status ReadRegisters(const Exchange& exchange, std::uint16_t startAddr,
                       std::uint16_t regCount, std::uint16_t* regValues);
  // The header fields of the next request: the unit identifier and, with
  // identifiers on, the next transaction identifier.
  modbusframe::RequestHeader NextRequestHeader();
  // Traces, sends and receives `request`, then judges the answer. Decodes
  // the values of an accepted read into `readValues` when it is not null.
  Status Transact(const Exchange& exchange,
                  const modbusframe::RequestHeader& header,
                  const std::uint8_t* request, int requestSize,
                  std::uint16_t regCount, std::uint16_t* readValues);
  // Drops what arrived before the request; says when the stream cannot
  // carry it.
  Status DropWaitingInput(const Exchange& exchange);
  // With transaction identifiers on: reads frames until the answer with the
  // request's identifier, dropping earlier requests' answers.
  Status ReceiveIdentified(const Exchange& exchange,
                           const modbusframe::RequestHeader& header,
                           std::uint16_t regCount, std::uint16_t* readValues);
  // Gives up a connection whose stream is out of step: closed with a reset.
  Status AbortStream();
  void ReportNoResponse(const Exchange& exchange);
  void TraceReceived(const Exchange& exchange, const std::uint8_t* response,
                     int received);
  // Writes the message of a failed verdict, or decodes an accepted read
  // into `readValues` when it is not null.
  // `ending` says how the receive ended, which tells an answer that never
  // came (closed, reset, failed) apart by its code.
  Status Judge(const Exchange& exchange, const std::uint8_t* response,
               int received, const IoResult& ending, std::uint16_t regCount,
               std::uint16_t* readValues);
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
