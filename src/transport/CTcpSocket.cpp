#include "transport/CTcpSocket.h"

#include <cctype>
#include <cstdarg>
#include <cstring>
#include <utility>

namespace tcpmodbus {
namespace {

bool StartsWithLetter(const char* text) {
  return std::isalpha(static_cast<unsigned char>(text[0])) != 0;
}

// The low eight bits of the number that atoi reads at the start of `part`:
// blanks skipped, an optional sign, then the digits up to the first other
// character; 0 when there are none. The bits are those of the whole decimal
// value however long it is, where atoi itself would overflow.
std::uint8_t LowBitsOfLeadingNumber(const char* part) {
  while (std::isspace(static_cast<unsigned char>(*part))) ++part;
  const bool negative = *part == '-';
  if (*part == '+' || *part == '-') ++part;
  unsigned lowBits = 0;
  while (std::isdigit(static_cast<unsigned char>(*part))) {
    lowBits = (lowBits * 10 + static_cast<unsigned>(*part - '0')) % 256;
    ++part;
  }
  return static_cast<std::uint8_t>(negative ? (256 - lowBits) % 256 : lowBits);
}

// Reads text that does not begin with a letter as a dotted IPv4 address:
// split at runs of dots (so leading, doubled and trailing dots make no
// part), the first four parts read as atoi reads them, the low eight bits of
// each one byte of the address, first part first; parts after the fourth are
// ignored ("127.0.0.49x" and "127..0.0.1" are addresses, "300" gives 44).
// False when the text has fewer than four parts. Nothing past the
// terminating NUL is read.
bool ReadDottedAddress(const char* text, std::uint8_t bytes[4]) {
  const char* cursor = text;
  for (int part = 0; part < 4; ++part) {
    while (*cursor == '.') ++cursor;
    if (*cursor == '\0') return false;
    bytes[part] = LowBitsOfLeadingNumber(cursor);
    while (*cursor != '.' && *cursor != '\0') ++cursor;
  }
  return true;
}

// Text that is read as a dotted address but has fewer than four parts
// ("10.0.0", "*"): binding whatever address an earlier open left would hide
// the mistake, so it is refused.
bool IsMalformedDottedAddress(const char* text) {
  std::uint8_t bytes[4];
  return !StartsWithLetter(text) && !ReadDottedAddress(text, bytes);
}

void StoreHostAddress(const platform::HostAddress& answer,
                      platform::Ipv4SocketAddress* address) {
  address->family = answer.family;
  std::memcpy(address->address, answer.address, sizeof(address->address));
}

}  // namespace

CTcpSocket::CTcpSocket(SocketCalls& calls)
    : SocketHandle(0),
      LocalHost(),
      LocalAddr(),
      ErrorText("No Error"),
      ErrorNumber(0),
      WaitSeconds(0),
      Calls(calls) {}

CTcpSocket::~CTcpSocket() { CloseSocket(); }

int CTcpSocket::OpenSocket(std::string localAddress, std::uint16_t localPort) {
  const IoResult opened = Calls.OpenTcpSocket(&SocketHandle);
  if (!opened.done()) {
    SetSocketError(opened.error, "WSASocket failed. OpenSocket Error(%d)",
                   opened.error);
    return OpenFailed();
  }

  if (!localAddress.empty()) {
    if (localAddress.size() >= LocalHostSize) {
      SetSocketError(
          0,
          "OpenSocket failed. Local address text is too long (%u characters, at most %d): '%s'",
          static_cast<unsigned>(localAddress.size()), LocalHostSize - 1,
          localAddress.c_str());
      return OpenFailed();
    }
    if (IsMalformedDottedAddress(localAddress.c_str())) {
      ReportMalformedAddress(localAddress.c_str());
      return OpenFailed();
    }
    std::memcpy(LocalHost, localAddress.c_str(), localAddress.size() + 1);
    // A name without answer leaves its message and the earlier address; the
    // bind below then decides.
    ResolveAddress(LocalHost, &LocalAddr);
  } else {
    char hostName[256];
    const IoResult named = Calls.GetLocalHostName(hostName, sizeof(hostName));
    if (!named.done()) {
      // "gethostame" is deliberate: hosts match on this text. Do not
      // correct it.
      SetSocketError(named.error, "gethostame() failed (error %d)",
                     named.error);
    } else if (IsMalformedDottedAddress(hostName)) {
      // This machine's name, though it does not begin with a letter: looked
      // up as the name it is.
      LookUpName(hostName, &LocalAddr);
    } else {
      ResolveAddress(hostName, &LocalAddr);
    }
  }

  LocalAddr.port = platform::HostToNetwork16(localPort);
  const IoResult bound = Calls.BindSocket(SocketHandle, LocalAddr);
  if (!bound.done()) {
    SetSocketError(bound.error, "WSASocket failed. bind Error(%d)",
                   bound.error);
    return OpenFailed();
  }
  return 1;
}

int CTcpSocket::OpenFailed() {
  CloseSocket();
  return 0;
}

int CTcpSocket::ResolveAddress(const char* host,
                               platform::Ipv4SocketAddress* address) {
  if (host[0] == '\0') return 1;
  if (StartsWithLetter(host)) return LookUpName(host, address);

  std::uint8_t bytes[4];
  if (!ReadDottedAddress(host, bytes)) {
    ReportMalformedAddress(host);
    return 0;
  }
  platform::HostAddress answer = {};
  if (Calls.LookupHostAddress(bytes, &answer).done()) {
    StoreHostAddress(answer, address);
  } else {
    address->family = platform::kAfInet;
    std::memcpy(address->address, bytes, sizeof(bytes));
  }
  return 1;
}

int CTcpSocket::LookUpName(const char* name,
                           platform::Ipv4SocketAddress* address) {
  platform::HostAddress answer = {};
  const IoResult found = Calls.LookupHostName(name, &answer);
  if (!found.done()) {
    SetSocketError(found.error,
                   "gethostbyname() could not resolve '%s', Error %d", name,
                   found.error);
    return 0;
  }
  StoreHostAddress(answer, address);
  return 1;
}

void CTcpSocket::ReportMalformedAddress(const char* text) {
  SetSocketError(
      0, "'%s' is not a dotted IPv4 address (four numbers separated by dots)",
      text);
}

IoResult CTcpSocket::Connect(const char* serverAddress, std::uint16_t port,
                             unsigned timeoutMs) {
  platform::Ipv4SocketAddress server = {};
  server.family = platform::kAfInet;
  server.port = platform::HostToNetwork16(port);
  // Connecting to whatever a failed conversion left would reach the wrong
  // host; the text is reported as an invalid argument instead.
  const IoResult parsed = Calls.ParseIpv4(serverAddress, server.address);
  if (!parsed.done()) return parsed;
  return Calls.ConnectSocket(SocketHandle, server, timeoutMs, CancelRequest);
}

int CTcpSocket::SendData(const std::uint8_t* bytes, int count) {
  const IoResult sent =
      SendData(bytes, count, [](const IoResult&, const platform::StreamState&) {
        return true;
      });
  if (sent.done()) return sent.count;
  return sent.kind == IoResult::Kind::kNotReady ? 0 : -1;
}

int CTcpSocket::ReceiveData(std::uint8_t* buffer) {
  const IoResult received = ReceiveData(buffer, MaxResponseBytes);
  if (received.done()) return received.count;
  return received.kind == IoResult::Kind::kClosed ||
                 received.kind == IoResult::Kind::kNotReady
             ? 0
             : -1;
}

IoResult CTcpSocket::ReceiveData(std::uint8_t* buffer, int capacity) {
  const IoResult ready = CheckReady(nullptr);
  if (!ready.done()) return ready;
  const IoResult received = Calls.ReceiveBytes(SocketHandle, buffer, capacity);
  if (received.kind == IoResult::Kind::kReset ||
      received.kind == IoResult::Kind::kFailed) {
    SetSocketError(received.error, "WSASocket failed. recv Error(%d)",
                   received.error);
  }
  return received;
}

IoResult CTcpSocket::CheckReady(platform::StreamState* state) {
  const IoResult ready = Calls.WaitWritable(SocketHandle, WaitSeconds, state);
  if (ready.done()) return ready;
  // Not writable within the wait counts as a failure of the check, with
  // whatever number the thread then holds.
  SetSocketError(ready.error, "WSASocket failed. select Error(%d)",
                 ready.error);
  return IoResult::NotReady(ready.error);
}

IoResult CTcpSocket::ReceiveWaiting(std::uint8_t* buffer, int capacity) {
  return Calls.ReceiveWaiting(SocketHandle, buffer, capacity);
}

IoResult CTcpSocket::Send(const std::uint8_t* bytes, int count) {
  const IoResult sent = Calls.SendBytes(SocketHandle, bytes, count);
  if (!sent.done() || sent.count < count) {
    SetSocketError(sent.error, "WSASocket failed. send Error(%d)", sent.error);
  }
  return sent;
}

IoResult CTcpSocket::WaitForInput(int milliseconds) {
  const IoResult ready =
      Calls.WaitReadable(SocketHandle, milliseconds, CancelRequest);
  if (ready.kind == IoResult::Kind::kFailed) {
    SetSocketError(ready.error, "WSASocket failed. select Error(%d)",
                   ready.error);
  }
  return ready;
}

void CTcpSocket::SetSocketError(const char* format, ...) {
  ErrorNumber = 0;
  std::va_list args;
  va_start(args, format);
  errortext::FormatV(ErrorText, format, args);
  va_end(args);
}

void CTcpSocket::SetSocketError(int systemError, const char* format, ...) {
  ErrorNumber = systemError;
  std::va_list args;
  va_start(args, format);
  errortext::FormatV(ErrorText, format, args);
  va_end(args);
}

void CTcpSocket::AbortSocket() {
  if (SocketHandle == 0) return;
  Calls.AbortSocketHandle(SocketHandle);
  SocketHandle = 0;
}

void CTcpSocket::SetNoDelay(bool noDelay) {
  if (SocketHandle != 0) Calls.SetNoDelay(SocketHandle, noDelay);
}

void CTcpSocket::AcknowledgeAtOnce() {
  if (SocketHandle != 0) Calls.AcknowledgeAtOnce(SocketHandle);
}

void CTcpSocket::CloseSocket() {
  if (SocketHandle == 0) return;
  Calls.CloseSocketHandle(SocketHandle);
  SocketHandle = 0;
}

}  // namespace tcpmodbus
