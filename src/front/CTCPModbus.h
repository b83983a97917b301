// The object behind TCPModbusIntf: one module connection, made of a
// transport and a protocol client, both held by value, the connection
// options, which it alone writes and hands down to them, and the state of
// the connection, from which it alone decides when to renew it.
#ifndef TCPMODBUS_FRONT_CTCPMODBUS_H_
#define TCPMODBUS_FRONT_CTCPMODBUS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/Attributes.h"
#include "common/ConnectionState.h"
#include "common/Failure.h"
#include "common/Options.h"
#include "modbus/CMBusTCP.h"
#include "modbus/Operations.h"
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
  const char* LastFailureText() override;
  int SetMaxInFlight(unsigned int depth) override;
  int ReadBatch(tcpmodbus_read* reads, unsigned int count) override;
  unsigned int StepDowns() override;
  int SetNameLookup(bool enabled) override;
  int Cancel() override;

  int ReadDeviceIdentification(int code, unsigned char objectId,
                               unsigned char* records, std::size_t size,
                               std::size_t* length, int* conformity) override;
  int RawRequest(unsigned char functionCode, const unsigned char* data,
                 std::size_t length, unsigned char* answer, std::size_t size,
                 std::size_t* answerLength) override;

  // Records a failure of a call refused before anything was sent (a value
  // out of range, not connected): its code and text; LastErrorString is left
  // as it was. Inside the object's own trace sink the record is the sink's,
  // seen until it returns, so the operation in progress keeps its own.
  void Refuse(const Failure& failure, const char* format, ...)
      TCPMODBUS_PRINTF_FORMAT(3, 4);

  // What the host chose. Declared first, since the protocol client keeps a
  // const reference to it; Initialize takes the server port from here.
  Options Settings;
  // Where the trace goes, as Settings say; the protocol client traces
  // through it too.
  TraceOutput Trace;
  // What this object knows of its connection; the protocol client reports
  // into it.
  ConnectionState Link;
  std::uint16_t ModuleId;
  CTcpSocket TcpSocket;
  std::string LocalIpAddr;
  std::uint16_t LocalPort;
  std::string ServerIPAddr;
  std::uint16_t ServerPort;
  CMBusTCP ModbusClient;
  unsigned int ReconnectCount;
  // What reads of device maps learned from this module's refusals, for the
  // plans of later reads; kept until cleared, across Initialize and Close.
  Learned MapLearned;
  // Batches since the last Initialize that gave up several requests in
  // flight, and whether one did: then every later batch runs one at a time.
  unsigned int StepDownCount;
  bool SteppedDown;

  // Around a call made of several operations (a batch, a map read or
  // write): the outermost clears a cancel as it begins, and the operations
  // inside leave it set, so that a cancel between two of them ends the call
  // before its next request. On no object (null) it does nothing.
  class SeveralOperations {
   public:
    explicit SeveralOperations(CTCPModbus* object);
    ~SeveralOperations();
    SeveralOperations(const SeveralOperations&) = delete;
    SeveralOperations& operator=(const SeveralOperations&) = delete;

   private:
    CTCPModbus* object_;
  };

 private:
  // The values a successful operation dumps: registers, bits one a byte,
  // or bytes as they came, as many as `*byteCount` says once it is done.
  struct DumpedValues {
    const unsigned short* registers;
    const unsigned char* bits;
    unsigned count;
    const unsigned char* bytes = nullptr;
    const std::size_t* byteCount = nullptr;
  };

  // Initialize's steps after it stored its arguments: close, (with name
  // look-up, the server's look-up,) open and bind, connect, each with its
  // trace line; true when connected. A failure to open is recorded, and
  // shown in LastErrorString when `shown`.
  bool Connect(bool shown);
  // Hands the protocol client what it connects to; `server` is taken.
  void SetUpClient(std::string& server);
  // The trace line of a failed connect; false.
  bool ConnectFailed();
  // Connects again as the last Initialize did, and counts it.
  bool Reconnect();
  // Whether this is a call from the object's own trace sink, while one of
  // its operations runs: then it is refused, with its message, so that it
  // never changes the object under that operation.
  bool CalledFromSink(const char* name);
  bool IsConnected() const;
  // The failure the host sees: a call refused inside the sink while it
  // runs, else the object's last.
  const FailureRecord& Visible() const;
  // Runs `exchange` when connected, after any renewal the connection needs,
  // and traces its outcome: 1 for success, 0 for failure.
  template <typename Exchange>
  int RunOperation(const Operation& operation, const DumpedValues& values,
                   Exchange exchange);
  // RunOperation's steps: the guards and renewals (false: refused, traced,
  // recorded), and the trace of the outcome with the values of a success.
  bool ReadyToRun(const Operation& operation);
  int Finish(const Operation& operation, const Status& status,
             const DumpedValues& values);
  // Finish's trace of an outcome: the failure line, or the success line,
  // the heading and the values.
  int TraceOutcome(const Operation& operation, const Status& status,
                   const DumpedValues& values);
  // A batch with several requests in flight (Batch.cpp).
  int ReadPipelined(tcpmodbus_read* reads, unsigned int count);

  // Set by Cancel from any thread; the transport's waits look at it, and
  // each call clears it as it begins.
  platform::CancelFlag CancelRequested{false};
  // How many SeveralOperations are open.
  int OperationsWithin = 0;
  FailureRecord SinkRefusal;
  unsigned long SinkRefusalCall = 0;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_FRONT_CTCPMODBUS_H_
