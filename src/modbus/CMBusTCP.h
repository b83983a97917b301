// The Modbus/TCP protocol client: connects the transport's bound socket to
// the server and runs one request/response exchange per register operation.
// Its operations return 0 for success and 1 for failure, and leave the reason
// for a failure in ErrorText.
#ifndef TCPMODBUS_MODBUS_CMBUSTCP_H_
#define TCPMODBUS_MODBUS_CMBUSTCP_H_

#include <cstdint>
#include <string>

#include "common/Attributes.h"
#include "common/ErrorText.h"
#include "transport/CTcpSocket.h"

class CMBusTCP {
 public:
  static constexpr int ExceptionTextCount = 15;

  CMBusTCP();
  CMBusTCP(const CMBusTCP&) = delete;
  CMBusTCP& operator=(const CMBusTCP&) = delete;
  virtual ~CMBusTCP();

  void SetClientError(const char* format, ...) TCPMODBUS_PRINTF_FORMAT(2, 3);
  int ConnectToServer();

  int MbReadHoldingRegs(std::uint16_t startAddr, std::uint16_t regCount,
                        std::uint16_t* regValues);
  int MbReadInputRegs(std::uint16_t startAddr, std::uint16_t regCount,
                      std::uint16_t* regValues);
  int MbPresetSingleReg(std::uint16_t regAddr, std::uint16_t regValue);
  int MbPresetMultipleRegs(std::uint16_t startAddr, std::uint16_t regCount,
                           const std::uint16_t* regValues);

  std::uint16_t ModuleId;
  std::uint16_t ServerPort;
  std::string ServerIPAddr;
  // Non-owning; the front owns the transport and sets this once it is open.
  CTcpSocket* TcpSocket;
  char ErrorText[errortext::kSize];
  // Texts of the exception codes 0 to 14; only 1 to 11 are looked up.
  const char* ExceptionTexts[ExceptionTextCount];
  // The unit identifier of every request; 1 unless the host chose another.
  std::uint8_t UnitId;
  // Whether the last exchange failed in a way that lost the connection (a
  // failed send, a close, a reset, a time-out), not on a verdict about an
  // answer that arrived.
  bool ConnectionLost;

 private:
  struct Exchange;

  int ReadRegisters(const Exchange& exchange, std::uint16_t startAddr,
                    std::uint16_t regCount, std::uint16_t* regValues);
  // Traces, sends and receives `request`, then judges the answer. Decodes
  // the values of an accepted read into `readValues` when it is not null.
  int Transact(const Exchange& exchange, const std::uint8_t* request,
               int requestSize, std::uint16_t regCount,
               std::uint16_t* readValues);
  // Writes the message of a failed verdict (1), or decodes an accepted read
  // into `readValues` when it is not null (0).
  int Judge(const Exchange& exchange, const std::uint8_t* response,
            int received, std::uint16_t regCount, std::uint16_t* readValues);
  const char* ExceptionText(std::uint8_t code) const;
};

#endif  // TCPMODBUS_MODBUS_CMBUSTCP_H_
