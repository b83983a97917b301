// The object behind TCPModbusIntf: one module connection, made of a
// transport and a protocol client, both held by value.
#ifndef TCPMODBUS_FRONT_CTCPMODBUS_H_
#define TCPMODBUS_FRONT_CTCPMODBUS_H_

#include <cstdint>
#include <string>

#include "modbus/CMBusTCP.h"
#include "tcpmodbus/TCPModbusIntf.h"
#include "transport/CTcpSocket.h"

class CTCPModbus : public TCPModbusIntf {
 public:
  static constexpr std::uint16_t ModbusServerPort = 502;

  CTCPModbus();
  CTCPModbus(const CTCPModbus&) = delete;
  CTCPModbus& operator=(const CTCPModbus&) = delete;
  ~CTCPModbus() override;

  int Initialize(unsigned short ModuleId, std::string LocalIpAddr,
                 unsigned short LocalPort, std::string ServerIPAddr) override;
  void Close() override;
  const char* LastErrorString() override;
  int WriteSingleHoldReg(unsigned short regAddr,
                         unsigned short& regValue) override;
  int WriteMultiHoldRegs(unsigned short startAddr, unsigned short* regValues,
                         unsigned short regCount) override;
  int ReadHoldRegs(unsigned short startAddr, unsigned short* regValues,
                   unsigned short regCount) override;
  int ReadInputRegs(unsigned short startAddr, unsigned short* regValues,
                    unsigned short regCount) override;

  std::uint16_t ModuleId;
  CTcpSocket TcpSocket;
  std::string LocalIpAddr;
  std::uint16_t LocalPort;
  std::string ServerIPAddr;
  std::uint16_t ServerPort;
  CMBusTCP ModbusClient;

 private:
  struct OperationTexts;

  bool IsConnected() const;
  // Runs `exchange` when connected and traces its outcome: 1 for success,
  // 0 for failure, as the interface reports it.
  template <typename Exchange>
  int RunOperation(const OperationTexts& texts, const unsigned short* values,
                   unsigned short count, Exchange exchange);
};

#endif  // TCPMODBUS_FRONT_CTCPMODBUS_H_
