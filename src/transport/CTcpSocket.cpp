#include "transport/CTcpSocket.h"

#include <cctype>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstring>

namespace {

// Reads the first four parts of dotted IPv4 text into address bytes. A part
// above 255 contributes its low eight bits (300 gives 44); parts after the
// fourth are ignored. False unless each of the four parts is a non-empty run
// of digits; nothing past the terminating NUL is read.
bool ParseFourDottedNumbers(const char* text, std::uint8_t bytes[4]) {
  const char* cursor = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (*cursor != '.') return false;
      ++cursor;
    }
    if (!std::isdigit(static_cast<unsigned char>(*cursor))) return false;
    unsigned lowBits = 0;
    while (std::isdigit(static_cast<unsigned char>(*cursor))) {
      lowBits = (lowBits * 10 + static_cast<unsigned>(*cursor - '0')) % 256;
      ++cursor;
    }
    bytes[part] = static_cast<std::uint8_t>(lowBits);
  }
  return *cursor == '\0' || *cursor == '.';
}

bool OnlyDigitsAndDots(const char* text) {
  for (; *text != '\0'; ++text) {
    if (*text != '.' && !std::isdigit(static_cast<unsigned char>(*text))) {
      return false;
    }
  }
  return true;
}

// Text that can only have been meant as a dotted address, but is not four
// dotted numbers ("10.0.0", "1..2.3").
bool IsMalformedDottedAddress(const char* text) {
  std::uint8_t bytes[4];
  return OnlyDigitsAndDots(text) && !ParseFourDottedNumbers(text, bytes);
}

// The end of the wait for one answer, when the host set a response time-out.
class ResponseDeadline {
 public:
  explicit ResponseDeadline(unsigned timeoutMs)
      : bounded_(timeoutMs != 0),
        end_(bounded_ ? Clock::now() + std::chrono::milliseconds(timeoutMs)
                      : Clock::time_point()) {}
  bool Bounded() const { return bounded_; }
  // Milliseconds left, 0 once passed (at most INT_MAX).
  int LeftMs() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          end_ - Clock::now())
                          .count();
    if (left <= 0) return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool bounded_;
  Clock::time_point end_;
};

void StoreHostAddress(const platform::HostAddress& answer,
                      platform::Ipv4SocketAddress* address) {
  address->family = answer.family;
  std::memcpy(address->address, answer.address, sizeof(address->address));
}

}  // namespace

CTcpSocket::CTcpSocket()
    : SocketHandle(0),
      LocalHost(),
      LocalAddr(),
      ErrorText("No Error"),
      WaitSeconds(0),
      ConnectTimeoutMs(0),
      ResponseTimeoutMs(0),
      WaitExpired(false),
      StreamEnded(false) {}

CTcpSocket::~CTcpSocket() { CloseSocket(); }

int CTcpSocket::OpenSocket(std::string localAddress, std::uint16_t localPort) {
  SocketHandle = platform::OpenTcpSocket();
  if (SocketHandle == platform::kInvalidSocket) {
    SetSocketError("WSASocket failed. OpenSocket Error(%d)",
                   platform::LastSocketError());
    CloseSocket();
    return 0;
  }

  if (!localAddress.empty()) {
    if (localAddress.size() >= LocalHostSize) {
      SetSocketError(
          "OpenSocket failed. Local address text is too long (%u characters, at most %d): '%s'",
          static_cast<unsigned>(localAddress.size()), LocalHostSize - 1,
          localAddress.c_str());
      CloseSocket();
      return 0;
    }
    // Binding whatever address an earlier open left would hide the mistake.
    if (IsMalformedDottedAddress(localAddress.c_str())) {
      ReportMalformedAddress(localAddress.c_str());
      CloseSocket();
      return 0;
    }
    std::memcpy(LocalHost, localAddress.c_str(), localAddress.size() + 1);
    // A name without answer leaves its message and the earlier address; the
    // bind below then decides.
    ResolveAddress(LocalHost, &LocalAddr);
  } else {
    char hostName[256];
    if (platform::GetLocalHostName(hostName, sizeof(hostName)) ==
        platform::kSocketError) {
      // "gethostame" is deliberate: hosts match on this text. Do not
      // correct it.
      SetSocketError("gethostame() failed (error %d)",
                     platform::LastSocketError());
    } else {
      ResolveAddress(hostName, &LocalAddr);
    }
  }

  LocalAddr.port = platform::HostToNetwork16(localPort);
  if (platform::BindSocket(SocketHandle, LocalAddr) == platform::kSocketError) {
    SetSocketError("WSASocket failed. bind Error(%d)",
                   platform::LastSocketError());
    CloseSocket();
    return 0;
  }
  return 1;
}

int CTcpSocket::ResolveAddress(const char* host,
                               platform::Ipv4SocketAddress* address) {
  if (host[0] == '\0') return 1;

  std::uint8_t bytes[4];
  const bool hostName = std::isalpha(static_cast<unsigned char>(host[0])) != 0;
  if (!hostName && ParseFourDottedNumbers(host, bytes)) {
    platform::HostAddress answer = {};
    if (platform::LookupHostAddress(bytes, &answer)) {
      StoreHostAddress(answer, address);
    } else {
      address->family = platform::kAfInet;
      std::memcpy(address->address, bytes, sizeof(bytes));
    }
    return 1;
  }
  if (!hostName && IsMalformedDottedAddress(host)) {
    ReportMalformedAddress(host);
    return 0;
  }

  // A name: it begins with a letter, or with a digit or sign and holds other
  // characters too (host names may begin with a digit).
  platform::HostAddress answer = {};
  const int error = platform::LookupHostName(host, &answer);
  if (error != 0) {
    SetSocketError("gethostbyname() could not resolve '%s', Error %d", host,
                   error);
    return 0;
  }
  StoreHostAddress(answer, address);
  return 1;
}

void CTcpSocket::ReportMalformedAddress(const char* text) {
  SetSocketError(
      "'%s' is not a dotted IPv4 address (four numbers separated by dots)",
      text);
}

bool CTcpSocket::Connect(const char* serverAddress, std::uint16_t port,
                         int* error) {
  platform::Ipv4SocketAddress server = {};
  server.family = platform::kAfInet;
  server.port = platform::HostToNetwork16(port);
  // Connecting to whatever a failed conversion left would reach the wrong
  // host; the text is reported as an invalid argument instead.
  if (platform::ParseIpv4(serverAddress, server.address) != 1) {
    *error = platform::InvalidArgumentError();
    return false;
  }
  if (platform::ConnectSocket(SocketHandle, server, ConnectTimeoutMs) == 0) {
    return true;
  }
  *error = platform::LastSocketError();
  return false;
}

bool CTcpSocket::IsReady(bool* inputWaiting) {
  if (platform::WaitWritable(SocketHandle, WaitSeconds, inputWaiting) > 0) {
    return true;
  }
  RecordSelectError();
  return false;
}

int CTcpSocket::SendData(const std::uint8_t* bytes, int count) {
  // The readiness check also tells whether input is waiting: the common
  // case costs no call of its own.
  bool inputWaiting = false;
  if (!IsReady(&inputWaiting)) return 0;
  if (inputWaiting) platform::DiscardWaitingInput(SocketHandle);
  const int sent = platform::SendBytes(SocketHandle, bytes, count);
  if (sent >= count) return sent;
  SetSocketError("WSASocket failed. send Error(%d)",
                 platform::LastSocketError());
  return sent;
}

// TCP delivers a byte stream, not messages: an answer may arrive in pieces.
// The first receive is judged as it came whenever it holds a whole answer,
// whatever its header says (devices miscount the length field); only an
// answer that is still short is completed, and never past the size the
// request's answer has, so bytes behind it stay in the socket for the next
// send to discard. No piece is waited for longer than ContinuationWaitMs,
// nor past the response time-out when the host set one.
int CTcpSocket::ReceiveData(std::uint8_t* buffer,
                            const mbap::ExpectedAnswer& answer) {
  WaitExpired = false;
  StreamEnded = false;
  if (!IsReady(nullptr)) return 0;
  const ResponseDeadline deadline(ResponseTimeoutMs);
  if (deadline.Bounded()) {
    const int ready = WaitForInput(deadline.LeftMs());
    if (ready < 0) return -1;
    if (ready == 0) {
      WaitExpired = true;
      return TimedOut;
    }
  }
  int have = platform::ReceiveBytes(SocketHandle, buffer, MaxResponseBytes);
  if (have == platform::kSocketError) {
    RecordReceiveError();
    return -1;
  }
  if (have == 0) return 0;
  int missing;
  while ((missing = mbap::MissingAnswerBytes(buffer, have, answer)) > 0) {
    int wait = ContinuationWaitMs;
    if (deadline.Bounded() && deadline.LeftMs() < wait)
      wait = deadline.LeftMs();
    const int ready = WaitForInput(wait);
    WaitExpired = ready == 0;
    StreamEnded = ready < 0;
    if (ready <= 0) break;
    const int received =
        platform::ReceiveBytes(SocketHandle, buffer + have, missing);
    if (received == platform::kSocketError) RecordReceiveError();
    // Closed or failed before the answer was whole: what arrived is judged.
    StreamEnded = received <= 0;
    if (received <= 0) break;
    have += received;
  }
  return have;
}

int CTcpSocket::WaitForInput(int milliseconds) {
  const int ready = platform::WaitReadable(SocketHandle, milliseconds);
  if (ready == platform::kSocketError) RecordSelectError();
  return ready;
}

void CTcpSocket::RecordSelectError() {
  SetSocketError("WSASocket failed. select Error(%d)",
                 platform::LastSocketError());
}

void CTcpSocket::RecordReceiveError() {
  SetSocketError("WSASocket failed. recv Error(%d)",
                 platform::LastSocketError());
}

void CTcpSocket::SetSocketError(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  errortext::FormatV(ErrorText, format, args);
  va_end(args);
}

void CTcpSocket::AbortSocket() {
  if (SocketHandle == 0) return;
  platform::AbortSocketHandle(SocketHandle);
  SocketHandle = 0;
}

void CTcpSocket::CloseSocket() {
  if (SocketHandle == 0) return;
  platform::CloseSocketHandle(SocketHandle);
  SocketHandle = 0;
}
