#include "front/CTCPModbus.h"

#include <cstdarg>
#include <utility>

#include "trace/PrintTrace.h"

namespace tcpmodbus {

namespace {

constexpr char kInitialize[] = "CTCPModbus::Initialize";
// The trace line of a failed open, and the failure text without its
// newline.
constexpr char kOpenFailed[] =
    "%s - Failed to Open TCP socket. LocalIpAddr=%s, LocalPort=%u. Error: %s";

}  // namespace

CTCPModbus::CTCPModbus(SocketCalls& calls)
    : Settings(),
      Trace(Settings),
      Link(),
      ModuleId(0),
      TcpSocket(calls),
      LocalIpAddr(),
      LocalPort(0),
      ServerIPAddr(),
      ServerPort(0),
      ModbusClient(Settings, Trace, Link),
      ReconnectCount(0),
      StepDownCount(0),
      SteppedDown(false) {
  TcpSocket.CancelRequest = &CancelRequested;
}

CTCPModbus::~CTCPModbus() { TcpSocket.CloseSocket(); }

int CTCPModbus::Initialize(unsigned short ModuleId, std::string LocalIpAddr,
                           unsigned short LocalPort, std::string ServerIPAddr) {
  if (CalledFromSink(kInitialize)) return 0;
  CancelRequested.store(false);
  this->ModuleId = ModuleId;
  this->LocalIpAddr = std::move(LocalIpAddr);
  this->LocalPort = LocalPort;
  this->ServerIPAddr = std::move(ServerIPAddr);
  ServerPort = Settings.serverPort;
  ReconnectCount = 0;
  StepDownCount = 0;
  SteppedDown = false;
  const bool connected = Connect(false);
  Link.recoveryDue = !connected;
  if (!connected) Link.notConnectedBecause = "the last Initialize() failed";
  return connected ? 1 : 0;
}

bool CTCPModbus::Connect(bool shown) {
  // The protocol client's copy of the address (up to its first NUL) is made
  // before the socket: running out of memory then leaves no socket that
  // looks connected.
  std::string server = ServerIPAddr.c_str();
  TcpSocket.CloseSocket();
  // With name look-up on, the socket takes the family of the server's
  // address, so the look-up comes first; a name without answer fails as a
  // connect does.
  if (Settings.nameLookup) {
    SetUpClient(server);
    if (!ModbusClient.LookUpServer().ok()) return ConnectFailed();
  }
  const bool opened = Settings.nameLookup
                          ? TcpSocket.OpenForServer(LocalIpAddr, LocalPort)
                          : TcpSocket.OpenSocket(LocalIpAddr, LocalPort);
  if (!opened) {
    // The text goes to the trace line, and to LastErrorString only when an
    // operation reconnects: it has no other way to tell its host.
    const Failure failure = Failure::Of(tcpmodbus::ErrorCode::kOpen, TcpSocket.ErrorNumber);
    if (shown) {
      ModbusClient.FailAs(failure, TcpSocket.ErrorText, kOpenFailed,
                          kInitialize, LocalIpAddr.c_str(), LocalPort,
                          TcpSocket.ErrorText);
    } else {
      ModbusClient.Note(failure, kOpenFailed, kInitialize, LocalIpAddr.c_str(),
                        LocalPort, TcpSocket.ErrorText);
    }
    PrintTrace(Trace, "%s\n", ModbusClient.LastFailure.text);
    return false;
  }
  PrintTrace(Trace,
             "%s: Succeed to open TCP socket. LocalIpAddr=%s, LocalPort=%u\n",
             kInitialize, LocalIpAddr.c_str(), LocalPort);

  if (!Settings.nameLookup) SetUpClient(server);
  if (!ModbusClient.ConnectToServer().ok()) return ConnectFailed();
  PrintTrace(Trace, "%s: Succeed to connect to Modbus/TCP Server\n",
             kInitialize);
  return true;
}

void CTCPModbus::SetUpClient(std::string& server) {
  ModbusClient.ServerIPAddr.swap(server);
  ModbusClient.ServerPort = ServerPort;
  ModbusClient.ModuleId = ModuleId;
  ModbusClient.TcpSocket = &TcpSocket;
}

bool CTCPModbus::ConnectFailed() {
  PrintTrace(
      Trace,
      "%s - Failed to Connect to Modbus Server (ServerIPAddr=%s, ClientPort=%u)\nError: %s\n",
      kInitialize, ServerIPAddr.c_str(), LocalPort, ModbusClient.ErrorText);
  return false;
}

bool CTCPModbus::Reconnect() {
  if (!Connect(true)) return false;
  ++ReconnectCount;
  return true;
}

void CTCPModbus::Close() {
  if (CalledFromSink("CTCPModbus::Close")) return;
  TcpSocket.CloseSocket();
  Link.recoveryDue = false;
  Link.notConnectedBecause = "Close() was called";
}

bool CTCPModbus::CalledFromSink(const char* name) {
  if (!Trace.InSink()) return false;
  Refuse(Failure::Of(tcpmodbus::ErrorCode::kReentered),
         "%s: Called from this object's own trace sink; refused", name);
  return true;
}

const FailureRecord& CTCPModbus::Visible() const {
  return Trace.InSink() && SinkRefusalCall == Trace.SinkCalls()
             ? SinkRefusal
             : ModbusClient.LastFailure;
}

void CTCPModbus::Refuse(const Failure& failure, const char* format, ...) {
  // Inside the sink the record is the sink's, seen until it returns.
  FailureRecord& record =
      Trace.InSink() ? SinkRefusal : ModbusClient.LastFailure;
  if (&record == &SinkRefusal) SinkRefusalCall = Trace.SinkCalls();
  std::va_list args;
  va_start(args, format);
  errortext::FormatV(record.text, format, args);
  va_end(args);
  record.failure = failure;
}

bool CTCPModbus::IsConnected() const {
  return ModbusClient.TcpSocket != nullptr &&
         ModbusClient.TcpSocket->SocketHandle != 0;
}

const char* CTCPModbus::LastErrorString() {
  return &Visible() == &SinkRefusal ? SinkRefusal.text : ModbusClient.ErrorText;
}

const char* CTCPModbus::LastFailureText() { return Visible().text; }

int CTCPModbus::LastErrorCode() {
  return static_cast<int>(Visible().failure.code);
}

int CTCPModbus::LastExceptionCode() { return Visible().failure.exceptionCode; }

int CTCPModbus::LastSystemError() { return Visible().failure.systemError; }

unsigned int CTCPModbus::Reconnects() { return ReconnectCount; }

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
  static constexpr char kName[] = "CTCPModbus::SetServerPort";
  if (CalledFromSink(kName)) return 0;
  if (port == 0) {
    Refuse(Failure::Of(tcpmodbus::ErrorCode::kInvalidArgument),
           "%s: Port 0 refused; the module's port is 1 to 65535", kName);
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

int CTCPModbus::SetTransactionIds(bool enabled) {
  if (CalledFromSink("CTCPModbus::SetTransactionIds")) return 0;
  Settings.transactionIds = enabled;
  return 1;
}

int CTCPModbus::SetNameLookup(bool enabled) {
  if (CalledFromSink("CTCPModbus::SetNameLookup")) return 0;
  Settings.nameLookup = enabled;
  return 1;
}

int CTCPModbus::SetTraceSink(TraceSink sink, void* context) {
  if (CalledFromSink("CTCPModbus::SetTraceSink")) return 0;
  Settings.traceOn = sink != nullptr;
  Settings.traceSink = sink;
  Settings.traceContext = context;
  return 1;
}

int CTCPModbus::Cancel() {
  CancelRequested.store(true);
  return 1;
}

}  // namespace tcpmodbus
