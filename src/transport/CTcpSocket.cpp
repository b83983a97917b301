#include "transport/CTcpSocket.h"

#include <cctype>
#include <cstdarg>
#include <cstring>

#include "transport/MbapFrameLength.h"

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
      Pending(),
      PendingCount(0) {}

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
          "OpenSocket failed. Local address text is too long (%u characters, "
          "at most %d): '%s'",
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
      // "gethostame" is the established wording of this message; hosts may
      // match on it, so it stays as it is.
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

bool CTcpSocket::IsReady() {
  if (platform::WaitWritable(SocketHandle, WaitSeconds) > 0) return true;
  SetSocketError("WSASocket failed. select Error(%d)",
                 platform::LastSocketError());
  return false;
}

int CTcpSocket::SendData(const std::uint8_t* bytes, int count) {
  if (!IsReady()) return 0;
  const int sent = platform::SendBytes(SocketHandle, bytes, count);
  if (sent >= count) return sent;
  SetSocketError("WSASocket failed. send Error(%d)",
                 platform::LastSocketError());
  return sent;
}

// TCP delivers a byte stream, not messages: an answer may arrive in pieces,
// and two answers may arrive together. This gathers exactly one frame as its
// MBAP header announces it, and keeps bytes that follow it for the next call.
// Bytes that cannot start a Modbus answer are returned as they came.
int CTcpSocket::ReceiveData(std::uint8_t* buffer) {
  if (!IsReady()) return 0;

  int have = PendingCount;
  std::memcpy(buffer, Pending, static_cast<std::size_t>(have));
  PendingCount = 0;

  for (;;) {
    const int frameLength = mbap::FrameLength(buffer, have);
    if (frameLength == mbap::kNotModbus) return have;
    if (frameLength != mbap::kUnknown && have >= frameLength) {
      KeepFollowingBytes(buffer + frameLength, have - frameLength);
      return frameLength;
    }
    const int received = platform::ReceiveBytes(SocketHandle, buffer + have,
                                                MaxResponseBytes - have);
    if (received == platform::kSocketError) {
      SetSocketError("WSASocket failed. recv Error(%d)",
                     platform::LastSocketError());
      return -1;
    }
    // Closed before the frame was complete: what arrived is the answer.
    if (received == 0) return have;
    have += received;
  }
}

void CTcpSocket::KeepFollowingBytes(const std::uint8_t* bytes, int count) {
  std::memcpy(Pending, bytes, static_cast<std::size_t>(count));
  PendingCount = count;
}

void CTcpSocket::SetSocketError(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  errortext::FormatV(ErrorText, format, args);
  va_end(args);
}

void CTcpSocket::CloseSocket() {
  if (SocketHandle == 0) return;
  platform::CloseSocketHandle(SocketHandle);
  SocketHandle = 0;
  // What was left of the old connection's stream is gone with it.
  PendingCount = 0;
}
