// The operations of the interface: each runs its exchange of the protocol
// client when the object is connected, renewing the connection first where
// the options and its state ask for it, and traces its outcome with the
// lines of its entry in the table of operations.
#include "front/CTCPModbus.h"
#include "modbus/DeviceIdentification.h"
#include "modbus/ModbusFrame.h"
#include "trace/HexDump.h"
#include "trace/PrintTrace.h"

namespace tcpmodbus {

namespace mf = modbusframe;

CTCPModbus::SeveralOperations::SeveralOperations(CTCPModbus* object)
    : object_(object) {
  if (object_ != nullptr && object_->OperationsWithin++ == 0) {
    object_->CancelRequested.store(false);
  }
}

CTCPModbus::SeveralOperations::~SeveralOperations() {
  if (object_ != nullptr) --object_->OperationsWithin;
}

bool CTCPModbus::ReadyToRun(const Operation& operation) {
  if (CalledFromSink(operation.name)) return false;
  if (OperationsWithin == 0) {
    CancelRequested.store(false);
  } else if (CancelRequested.load()) {
    // Cancelled after an earlier operation of the same call had its
    // answer: this request is not sent, and the connection is kept.
    ModbusClient.Fail(
        Failure::Of(tcpmodbus::ErrorCode::kCancelled),
        "%s: Cancelled before the request to DIO Module %d was sent",
        operation.name, ModuleId);
    PrintTrace(Trace, operation.failureLine, operation.name,
               ModbusClient.ErrorText);
    return false;
  }
  Link.renewWhenLost = Settings.recovery;
  bool reconnectFailed = false;
  // A late answer could be taken for a request's own once identifiers are
  // off: that connection is not used again.
  if (!Settings.transactionIds && Link.LateAnswerPossible() && IsConnected()) {
    reconnectFailed = !Reconnect();
  } else if (Settings.recovery && Link.recoveryDue) {
    reconnectFailed = !Reconnect();
  }
  if (IsConnected()) return true;
  PrintTrace(Trace, operation.notConnectedLine, operation.name);
  // A failed reconnect keeps its own record: it tells why.
  if (!reconnectFailed) {
    Refuse(Failure::Of(tcpmodbus::ErrorCode::kNotConnected),
           "%s: Not connected to DIO Module %d: %s", operation.name, ModuleId,
           Link.notConnectedBecause);
  }
  return false;
}

template <typename Exchange>
int CTCPModbus::RunOperation(const Operation& operation,
                             const DumpedValues& values, Exchange exchange) {
  if (!ReadyToRun(operation)) return 0;
  Status status = exchange();
  if (status.lostBeforeSend()) {
    // Found gone before anything was sent: renewed now, then the exchange
    // runs on the new connection. Nothing is sent twice.
    if (!Reconnect()) {
      PrintTrace(Trace, operation.notConnectedLine, operation.name);
      Link.recoveryDue = true;
      return 0;
    }
    status = exchange();
  }
  return Finish(operation, status, values);
}

int CTCPModbus::Finish(const Operation& operation, const Status& status,
                       const DumpedValues& values) {
  if (status.lostBeforeSend()) {
    ModbusClient.Fail(
        Failure::Of(tcpmodbus::ErrorCode::kClosed),
        "%s: The connection to DIO Module %d was lost again before the request was sent",
        operation.name, ModuleId);
  }
  if (status.connectionLost()) {
    Link.recoveryDue = true;
    Link.notConnectedBecause = "the connection was lost";
  }
  return TraceOutcome(operation, status, values);
}

int CTCPModbus::TraceOutcome(const Operation& operation, const Status& status,
                             const DumpedValues& values) {
  if (!status.ok()) {
    PrintTrace(Trace, operation.failureLine, operation.name,
               ModbusClient.ErrorText);
    return 0;
  }
  TraceText text(Trace);
  text.Printf(operation.successLine, operation.name);
  text.Printf(operation.dumpHeading, operation.name);
  if (values.bytes != nullptr) {
    DumpBytes(text, values.bytes,
              static_cast<std::uint32_t>(*values.byteCount));
  } else if (values.bits != nullptr) {
    DumpBits(text, values.bits, values.count);
  } else {
    DumpRegisters(text, values.registers,
                  static_cast<std::uint16_t>(values.count));
  }
  return 1;
}

int CTCPModbus::WriteSingleHoldReg(unsigned short regAddr,
                                   unsigned short& regValue) {
  return RunOperation(
      OperationOf(mf::kPresetSingleRegister), {&regValue, nullptr, 1},
      [&] { return ModbusClient.MbPresetSingleReg(regAddr, regValue); });
}

int CTCPModbus::WriteMultiHoldRegs(unsigned short startAddr,
                                   unsigned short* regValues,
                                   unsigned short regCount) {
  return RunOperation(OperationOf(mf::kPresetMultipleRegisters),
                      {regValues, nullptr, regCount}, [&] {
                        return ModbusClient.MbPresetMultipleRegs(
                            startAddr, regCount, regValues);
                      });
}

int CTCPModbus::ReadHoldRegs(unsigned short startAddr,
                             unsigned short* regValues,
                             unsigned short regCount) {
  return RunOperation(
      OperationOf(mf::kReadHoldingRegisters), {regValues, nullptr, regCount},
      [&] {
        return ModbusClient.MbReadHoldingRegs(startAddr, regCount, regValues);
      });
}

int CTCPModbus::ReadInputRegs(unsigned short startAddr,
                              unsigned short* regValues,
                              unsigned short regCount) {
  return RunOperation(
      OperationOf(mf::kReadInputRegisters), {regValues, nullptr, regCount},
      [&] {
        return ModbusClient.MbReadInputRegs(startAddr, regCount, regValues);
      });
}

int CTCPModbus::ReadCoils(unsigned short startAddr, unsigned char* bits,
                          unsigned short count) {
  return RunOperation(OperationOf(mf::kReadCoilStatus), {nullptr, bits, count},
                      [&] {
                        return ModbusClient.MbReadCoilStatus(startAddr, count,
                                                             bits);
                      });
}

int CTCPModbus::ReadDiscreteInputs(unsigned short startAddr,
                                   unsigned char* bits, unsigned short count) {
  return RunOperation(
      OperationOf(mf::kReadInputStatus), {nullptr, bits, count},
      [&] { return ModbusClient.MbReadInputStatus(startAddr, count, bits); });
}

int CTCPModbus::WriteSingleCoil(unsigned short addr, bool on) {
  const unsigned char bit = on ? 1 : 0;
  return RunOperation(OperationOf(mf::kForceSingleCoil), {nullptr, &bit, 1},
                      [&] { return ModbusClient.MbForceSingleCoil(addr, on); });
}

int CTCPModbus::WriteMultiCoils(unsigned short startAddr,
                                const unsigned char* bits,
                                unsigned short count) {
  return RunOperation(
      OperationOf(mf::kForceMultipleCoils), {nullptr, bits, count},
      [&] { return ModbusClient.MbForceMultipleCoils(startAddr, count, bits); });
}

int CTCPModbus::MaskWriteHoldReg(unsigned short addr, unsigned short andMask,
                                 unsigned short orMask) {
  const unsigned short masks[2] = {andMask, orMask};
  return RunOperation(OperationOf(mf::kMaskWriteRegister), {masks, nullptr, 2},
                      [&] {
                        return ModbusClient.MbMaskWriteReg(addr, andMask,
                                                           orMask);
                      });
}

int CTCPModbus::ReadWriteMultiHoldRegs(unsigned short readAddr,
                                       unsigned short* readValues,
                                       unsigned short readCount,
                                       unsigned short writeAddr,
                                       const unsigned short* writeValues,
                                       unsigned short writeCount) {
  return RunOperation(OperationOf(mf::kReadWriteMultipleRegisters),
                      {readValues, nullptr, readCount}, [&] {
                        return ModbusClient.MbReadWriteMultipleRegs(
                            readAddr, readCount, readValues, writeAddr,
                            writeCount, writeValues);
                      });
}

int CTCPModbus::ReadDeviceIdentification(int code, unsigned char objectId,
                                         unsigned char* records,
                                         std::size_t size, std::size_t* length,
                                         int* conformity) {
  std::size_t written = 0;
  const int done =
      RunOperation(OperationOf(mf::kEncapsulatedInterface),
                   {nullptr, nullptr, 0, records, &written}, [&] {
                     return ModbusClient.MbReadDeviceIdentification(
                         code, objectId, records, size, &written, conformity);
                   });
  if (done == 1 && length != nullptr) *length = written;
  return done;
}

int CTCPModbus::RawRequest(unsigned char functionCode,
                           const unsigned char* data, std::size_t length,
                           unsigned char* answer, std::size_t size,
                           std::size_t* answerLength) {
  std::size_t answered = 0;
  const int done =
      RunOperation(OperationOf(kRawRequestRow),
                   {nullptr, nullptr, 0, answer, &answered}, [&] {
                     return ModbusClient.MbRawRequest(
                         functionCode, data, length, answer, size, &answered);
                   });
  if (done == 1 && answerLength != nullptr) *answerLength = answered;
  return done;
}

}  // namespace tcpmodbus
