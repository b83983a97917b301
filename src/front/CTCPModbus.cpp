#include "front/CTCPModbus.h"

#include <utility>

#include "front/Operation.h"
#include "trace/HexDump.h"
#include "trace/PrintTrace.h"

namespace tcpmodbus {

CTCPModbus::CTCPModbus(SocketCalls& calls)
    : Settings(),
      Trace(Settings),
      ModuleId(0),
      TcpSocket(calls),
      LocalIpAddr(),
      LocalPort(0),
      ServerIPAddr(),
      ServerPort(0),
      ModbusClient(Settings, Trace),
      RecoveryDue(false),
      ReconnectCount(0) {
  Trace.GuardErrorRecord(ModbusClient.ErrorText, &ModbusClient.LastFailure);
}

CTCPModbus::~CTCPModbus() { TcpSocket.CloseSocket(); }

int CTCPModbus::Initialize(unsigned short ModuleId, std::string LocalIpAddr,
                           unsigned short LocalPort, std::string ServerIPAddr) {
  if (CalledFromSink("CTCPModbus::Initialize")) return 0;
  this->ModuleId = ModuleId;
  this->LocalIpAddr = std::move(LocalIpAddr);
  this->LocalPort = LocalPort;
  this->ServerIPAddr = std::move(ServerIPAddr);
  ServerPort = Settings.serverPort;
  ReconnectCount = 0;
  const bool connected = Connect() == ConnectOutcome::Connected;
  RecoveryDue = !connected;
  return connected ? 1 : 0;
}

CTCPModbus::ConnectOutcome CTCPModbus::Connect() {
  static constexpr char kName[] = "CTCPModbus::Initialize";
  // The protocol client's copy of the address (up to its first NUL) is made
  // before the socket: running out of memory then leaves no socket that
  // looks connected.
  std::string server = ServerIPAddr.c_str();
  TcpSocket.CloseSocket();
  const IoResult opened = TcpSocket.Open(LocalIpAddr, LocalPort);
  if (!opened.done()) {
    // The code is recorded; the text stays the protocol client's.
    ModbusClient.LastFailure =
        Failure::Of(tcpmodbus::ErrorCode::kOpen, opened.error);
    PrintTrace(
        Trace,
        "%s - Failed to Open TCP socket. LocalIpAddr=%s, LocalPort=%u. Error: %s\n",
        kName, LocalIpAddr.c_str(), LocalPort, TcpSocket.ErrorText);
    return ConnectOutcome::OpenFailed;
  }
  PrintTrace(Trace,
             "%s: Succeed to open TCP socket. LocalIpAddr=%s, LocalPort=%u\n",
             kName, LocalIpAddr.c_str(), LocalPort);

  ModbusClient.ServerIPAddr.swap(server);
  ModbusClient.ServerPort = ServerPort;
  ModbusClient.ModuleId = ModuleId;
  ModbusClient.TcpSocket = &TcpSocket;
  if (!ModbusClient.ConnectToServer().ok()) {
    PrintTrace(
        Trace,
        "%s - Failed to Connect to Modbus Server (ServerIPAddr=%s, ClientPort=%u)\nError: %s\n",
        kName, ServerIPAddr.c_str(), LocalPort, ModbusClient.ErrorText);
    return ConnectOutcome::ConnectFailed;
  }
  PrintTrace(Trace, "%s: Succeed to connect to Modbus/TCP Server\n", kName);
  return ConnectOutcome::Connected;
}

void CTCPModbus::Recover() {
  const ConnectOutcome outcome = Connect();
  if (outcome == ConnectOutcome::Connected) {
    RecoveryDue = false;
    ++ReconnectCount;
  } else if (outcome == ConnectOutcome::OpenFailed) {
    // Initialize leaves this text to its trace line; an operation has only
    // LastErrorString to tell its host why it could not reconnect.
    ModbusClient.Fail(ModbusClient.LastFailure, "%s", TcpSocket.ErrorText);
  }
}

void CTCPModbus::Close() {
  if (CalledFromSink("CTCPModbus::Close")) return;
  TcpSocket.CloseSocket();
  RecoveryDue = false;
}

const char* CTCPModbus::LastErrorString() { return ModbusClient.ErrorText; }

bool CTCPModbus::CalledFromSink(const char* name) {
  if (!Trace.InSink()) return false;
  Trace.SaveGuardedErrorRecord();
  ModbusClient.Fail(Failure::Of(tcpmodbus::ErrorCode::kReentered),
                    "%s: Called from this object's own trace sink; refused",
                    name);
  return true;
}

bool CTCPModbus::IsConnected() const {
  return ModbusClient.TcpSocket != nullptr &&
         ModbusClient.TcpSocket->SocketHandle != 0;
}

int CTCPModbus::NotConnected(const OperationTexts& texts) {
  // The code says why; the text stays that of the last exchange.
  ModbusClient.LastFailure = Failure::Of(tcpmodbus::ErrorCode::kNotConnected);
  PrintTrace(Trace, texts.notConnected, texts.name);
  return 0;
}

bool CTCPModbus::ReadyToRun(const OperationTexts& texts) {
  if (CalledFromSink(texts.name)) return false;
  if (Settings.recovery && RecoveryDue) Recover();
  if (IsConnected()) return true;
  NotConnected(texts);
  return false;
}

bool CTCPModbus::Reconnected(const OperationTexts& texts) {
  // Found gone before anything was sent: renewed now, then the exchange
  // runs on the new connection. Nothing is sent twice.
  RecoveryDue = true;
  Recover();
  if (IsConnected()) return true;
  NotConnected(texts);
  return false;
}

int CTCPModbus::Finish(const OperationTexts& texts, const Status& status,
                       const DumpedValues& values) {
  if (status.lostBeforeSend()) {
    ModbusClient.Fail(
        Failure::Of(tcpmodbus::ErrorCode::kClosed),
        "%s: The connection to DIO Module %d was lost again before the request was sent",
        texts.name, ModuleId);
  }
  if (!status.ok()) {
    if (status.connectionLost()) RecoveryDue = true;
    PrintTrace(Trace, texts.failure, texts.name, ModbusClient.ErrorText);
    return 0;
  }
  TraceText text(Trace);
  text.Printf(texts.success, texts.name);
  text.Printf(texts.dumpHeading, texts.name);
  if (values.bits != nullptr) {
    DumpBits(text, values.bits, values.count);
  } else {
    DumpRegisters(text, values.registers,
                  static_cast<std::uint16_t>(values.count));
  }
  return 1;
}

int CTCPModbus::WriteSingleHoldReg(unsigned short regAddr,
                                   unsigned short& regValue) {
  // "Failed to write Modbus Server" (without "to") is deliberate, and so is
  // the multiple write's "write to": hosts match on both.
  static constexpr OperationTexts kTexts = {
      "CTCPModbus::WriteSingleHoldReg", kWriteNotConnected,
      "%s: Failed to write Modbus Server (Preset Single Register). Error: \"%s\"\n",
      "%s: Succeed to write data to Modbus Server (Preset Single Register) !\n",
      kWrittenHeading};
  return RunOperation(kTexts, {&regValue, nullptr, 1}, [&] {
    return ModbusClient.MbPresetSingleReg(regAddr, regValue);
  });
}

int CTCPModbus::WriteMultiHoldRegs(unsigned short startAddr,
                                   unsigned short* regValues,
                                   unsigned short regCount) {
  static constexpr OperationTexts kTexts = {
      "CTCPModbus::WriteMultiHoldRegs", kWriteNotConnected,
      "%s: Failed to write to Modbus Server (Preset Multiple Registers). Error: \"%s\"\n",
      "%s: Succeed to write data to Modbus Server (Preset Multiple Registers) !\n",
      kWrittenHeading};
  return RunOperation(kTexts, {regValues, nullptr, regCount}, [&] {
    return ModbusClient.MbPresetMultipleRegs(startAddr, regCount, regValues);
  });
}

int CTCPModbus::ReadHoldRegs(unsigned short startAddr,
                             unsigned short* regValues,
                             unsigned short regCount) {
  static constexpr OperationTexts kTexts = {
      "CTCPModbus::ReadHoldRegs", kReadNotConnected,
      "%s: Failed to read Modbus Server (Read Multiple Holding Register). Error: \"%s\"\n",
      "%s: Succeed to read data from Modbus Server (Read Multiple Holding Register) !\n",
      kReadHeading};
  return RunOperation(kTexts, {regValues, nullptr, regCount}, [&] {
    return ModbusClient.MbReadHoldingRegs(startAddr, regCount, regValues);
  });
}

int CTCPModbus::ReadInputRegs(unsigned short startAddr,
                              unsigned short* regValues,
                              unsigned short regCount) {
  static constexpr OperationTexts kTexts = {
      "CTCPModbus::ReadInputRegs", kReadNotConnected,
      "%s: Failed to read Modbus Server (Read Input Register). Error: \"%s\"\n",
      "%s: Succeed to read data from Modbus Server (Read Input Register) !\n",
      kReadHeading};
  return RunOperation(kTexts, {regValues, nullptr, regCount}, [&] {
    return ModbusClient.MbReadInputRegs(startAddr, regCount, regValues);
  });
}

int CTCPModbus::SetConnectTimeout(unsigned int milliseconds) {
  if (CalledFromSink("CTCPModbus::SetConnectTimeout")) return 0;
  Settings.connectTimeoutMs = milliseconds;
  return 1;
}

int CTCPModbus::SetResponseTimeout(unsigned int milliseconds) {
  if (CalledFromSink("CTCPModbus::SetResponseTimeout")) return 0;
  Settings.responseTimeoutMs = milliseconds;
  return 1;
}

int CTCPModbus::SetRecovery(bool enabled) {
  if (CalledFromSink("CTCPModbus::SetRecovery")) return 0;
  Settings.recovery = enabled;
  return 1;
}

int CTCPModbus::SetServerPort(unsigned short port) {
  if (CalledFromSink("CTCPModbus::SetServerPort")) return 0;
  if (port == 0) {
    ModbusClient.LastFailure =
        Failure::Of(tcpmodbus::ErrorCode::kInvalidArgument);
    return 0;
  }
  Settings.serverPort = port;
  return 1;
}

int CTCPModbus::SetUnitId(unsigned char unitId) {
  if (CalledFromSink("CTCPModbus::SetUnitId")) return 0;
  Settings.unitId = unitId;
  return 1;
}

unsigned int CTCPModbus::Reconnects() { return ReconnectCount; }

int CTCPModbus::SetTraceSink(TraceSink sink, void* context) {
  if (CalledFromSink("CTCPModbus::SetTraceSink")) return 0;
  Settings.traceOn = sink != nullptr;
  Settings.traceSink = sink;
  Settings.traceContext = context;
  return 1;
}

int CTCPModbus::LastErrorCode() {
  return static_cast<int>(ModbusClient.LastFailure.code);
}

int CTCPModbus::LastExceptionCode() {
  return ModbusClient.LastFailure.exceptionCode;
}

int CTCPModbus::LastSystemError() {
  return ModbusClient.LastFailure.systemError;
}

int CTCPModbus::SetTransactionIds(bool enabled) {
  if (CalledFromSink("CTCPModbus::SetTransactionIds")) return 0;
  Settings.transactionIds = enabled;
  return 1;
}

}  // namespace tcpmodbus
