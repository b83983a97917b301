// The object behind TCPModbusIntf: one module connection, made of a
// transport and a protocol client, both held by value, and the connection
// options, which it alone writes and hands down to them.
#ifndef TCPMODBUS_FRONT_CTCPMODBUS_H_
#define TCPMODBUS_FRONT_CTCPMODBUS_H_

#include <cstdint>
#include <string>

#include "common/Options.h"
#include "modbus/CMBusTCP.h"
#include "tcpmodbus/DeviceMap.h"
#include "tcpmodbus/TCPModbusIntf.h"
#include "trace/TraceOutput.h"
#include "transport/CTcpSocket.h"
#include "transport/SocketCalls.h"

namespace tcpmodbus {

class CTCPModbus : public TCPModbusIntf {
 public:
  // `calls` are the socket operations of its transport: the system's,
  // unless a test gives a stand-in.
  explicit CTCPModbus(SocketCalls& calls = SystemSocketCalls());
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
  int SetConnectTimeout(unsigned int milliseconds) override;
  int SetResponseTimeout(unsigned int milliseconds) override;
  int SetRecovery(bool enabled) override;
  int SetServerPort(unsigned short port) override;
  int SetUnitId(unsigned char unitId) override;
  unsigned int Reconnects() override;
  int SetTransactionIds(bool enabled) override;
  int SetTraceSink(TraceSink sink, void* context) override;
  int LastErrorCode() override;
  int LastExceptionCode() override;
  int LastSystemError() override;
  int ReadCoils(unsigned short startAddr, unsigned char* bits,
                unsigned short count) override;
  int ReadDiscreteInputs(unsigned short startAddr, unsigned char* bits,
                         unsigned short count) override;
  int WriteSingleCoil(unsigned short addr, bool on) override;
  int WriteMultiCoils(unsigned short startAddr, const unsigned char* bits,
                      unsigned short count) override;
  int MaskWriteHoldReg(unsigned short addr, unsigned short andMask,
                       unsigned short orMask) override;
  int ReadWriteMultiHoldRegs(unsigned short readAddr,
                             unsigned short* readValues,
                             unsigned short readCount, unsigned short writeAddr,
                             const unsigned short* writeValues,
                             unsigned short writeCount) override;

  // What the host chose. Declared first, since the protocol client keeps a
  // const reference to it; Initialize takes the server port from here.
  Options Settings;
  // Where the trace goes, as Settings say; the protocol client traces
  // through it too.
  TraceOutput Trace;
  std::uint16_t ModuleId;
  CTcpSocket TcpSocket;
  std::string LocalIpAddr;
  std::uint16_t LocalPort;
  std::string ServerIPAddr;
  std::uint16_t ServerPort;
  CMBusTCP ModbusClient;
  // The connection of the last Initialize was lost through a failure, and
  // not given up by Close: with recovery on, the next operation reconnects.
  bool RecoveryDue;
  unsigned int ReconnectCount;
  // What reads of device maps learned from this module's refusals, for the
  // plans of later reads; kept until cleared, across Initialize and Close.
  Learned MapLearned;

 private:
  struct OperationTexts;
  struct DumpedValues;
  enum class ConnectOutcome { Connected, OpenFailed, ConnectFailed };

  // Initialize's steps after it stored its arguments: close, open and bind,
  // connect, each with its trace line.
  ConnectOutcome Connect();
  // Whether this is a call from the object's own trace sink, while one of
  // its operations runs: then it is refused, with its message, so that it
  // never changes the object under that operation.
  bool CalledFromSink(const char* name);
  // Traces an operation's not-connected line and records its code: 0.
  int NotConnected(const OperationTexts& texts);
  void Recover();
  bool IsConnected() const;
  // Runs `exchange` when connected and traces its outcome: 1 for success,
  // 0 for failure, as the interface reports it (Operation.h).
  template <typename Exchange>
  int RunOperation(const OperationTexts& texts, const DumpedValues& values,
                   Exchange exchange);
  // RunOperation's steps: the guards (false: refused, traced, recorded),
  // the reconnect after a connection found gone before the send, and the
  // trace of the outcome with the values of a success.
  bool ReadyToRun(const OperationTexts& texts);
  bool Reconnected(const OperationTexts& texts);
  int Finish(const OperationTexts& texts, const Status& status,
             const DumpedValues& values);
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_FRONT_CTCPMODBUS_H_
