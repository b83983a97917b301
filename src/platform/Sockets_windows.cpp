// Windows Sockets 2 behind the platform interface.
//
// The library never starts or stops Windows Sockets: the host calls
// WSAStartup before its first Initialize and WSACleanup after its last
// object is gone. Error numbers are Winsock's own (WSAGetLastError), so a
// refused connection reads "Error(10061)".
//
// gethostbyname and gethostbyaddr answer into storage that Winsock keeps per
// thread; the answer is copied out at once, before any other sockets call on
// the same thread can replace it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <cstring>

#include "platform/SockaddrIn.h"
#include "platform/Sockets.h"

namespace platform {
namespace {

static_assert(sizeof(SOCKET) <= sizeof(SocketHandle),
              "a SOCKET must fit the handle");
static_assert(sizeof(sockaddr_in) == sizeof(Ipv4SocketAddress),
              "sockaddr_in must match the platform address");
static_assert(AF_INET == kAfInet, "AF_INET must be 2");
static_assert(SOCKET_ERROR == kSocketError, "SOCKET_ERROR must be -1");
static_assert(static_cast<SocketHandle>(INVALID_SOCKET) == kInvalidSocket,
              "INVALID_SOCKET must be the invalid handle");

SOCKET ToSocket(SocketHandle socket) { return static_cast<SOCKET>(socket); }

// An fd_set that holds `socket` alone.
fd_set SetOf(SOCKET socket) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket, &set);
  return set;
}

timeval Milliseconds(unsigned milliseconds) {
  timeval timeout;
  timeout.tv_sec = static_cast<long>(milliseconds / 1000);
  timeout.tv_usec = static_cast<long>(milliseconds % 1000) * 1000;
  return timeout;
}

bool SetBlocking(SOCKET socket, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  return ::ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

// Waits for a connect() in progress, as a blocking connect() would end: 0,
// or SOCKET_ERROR with the error (WSAETIMEDOUT once the time has passed).
int FinishConnect(SOCKET socket, unsigned timeoutMs) {
  fd_set writable = SetOf(socket);
  fd_set failed = SetOf(socket);
  timeval timeout = Milliseconds(timeoutMs);
  const int ready = ::select(0, nullptr, &writable, &failed, &timeout);
  if (ready == SOCKET_ERROR) return SOCKET_ERROR;
  if (ready == 0) {
    ::WSASetLastError(WSAETIMEDOUT);
    return SOCKET_ERROR;
  }
  if (FD_ISSET(socket, &failed)) {
    int error = 0;
    int length = sizeof(error);
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR,
                     reinterpret_cast<char*>(&error), &length) != 0) {
      return SOCKET_ERROR;
    }
    ::WSASetLastError(error != 0 ? error : WSAECONNREFUSED);
    return SOCKET_ERROR;
  }
  return 0;
}

// A socket that TCP's simultaneous open connected to itself.
bool ConnectedToItself(SOCKET socket) {
  sockaddr_in local;
  sockaddr_in peer;
  int localLength = sizeof(local);
  int peerLength = sizeof(peer);
  if (::getsockname(socket, reinterpret_cast<sockaddr*>(&local),
                    &localLength) != 0 ||
      ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peerLength) !=
          0) {
    return false;
  }
  return SameEndpoint(local, peer);
}

// Copies the first address of a lookup's answer: h_length bytes (at most
// four) and h_addrtype. False when the answer lists no address.
bool CopyFirstAddress(const hostent* answer, HostAddress* result) {
  if (answer == nullptr || answer->h_addr_list == nullptr ||
      answer->h_addr_list[0] == nullptr || answer->h_length <= 0) {
    return false;
  }
  std::size_t length = static_cast<std::size_t>(answer->h_length);
  if (length > sizeof(result->address)) length = sizeof(result->address);
  std::memset(result->address, 0, sizeof(result->address));
  std::memcpy(result->address, answer->h_addr_list[0], length);
  result->family = static_cast<std::uint16_t>(answer->h_addrtype);
  return true;
}

}  // namespace

SocketHandle OpenTcpSocket() {
  // Overlapped sockets still block in send, recv and connect; the flag only
  // allows overlapped I/O, which the library does not use. Like
  // close-on-exec on POSIX, the handle is not inherited by child processes
  // of the host; systems older than Windows 7 SP1 refuse that flag, and then
  // the handle is made non-inheritable after the fact.
  SOCKET socket =
      ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
    socket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                          WSA_FLAG_OVERLAPPED);
    if (socket != INVALID_SOCKET) {
      ::SetHandleInformation(reinterpret_cast<HANDLE>(socket),
                             HANDLE_FLAG_INHERIT, 0);
    }
  }
  return static_cast<SocketHandle>(socket);
}

int BindSocket(SocketHandle socket, const Ipv4SocketAddress& local) {
  const sockaddr_in address = ToSockaddrIn<sockaddr_in>(local);
  return ::bind(ToSocket(socket), reinterpret_cast<const sockaddr*>(&address),
                sizeof(address)) == 0
             ? 0
             : kSocketError;
}

int ConnectSocket(SocketHandle socket, const Ipv4SocketAddress& server,
                  unsigned timeoutMs) {
  const SOCKET handle = ToSocket(socket);
  const sockaddr_in address = ToSockaddrIn<sockaddr_in>(server);
  const bool bounded = timeoutMs != 0;
  if (bounded && !SetBlocking(handle, false)) return kSocketError;
  int result = ::connect(handle, reinterpret_cast<const sockaddr*>(&address),
                         sizeof(address));
  if (bounded) {
    if (result != 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) {
      result = FinishConnect(handle, timeoutMs);
    }
    const int saved = ::WSAGetLastError();
    if (!SetBlocking(handle, true) && result == 0) return kSocketError;
    ::WSASetLastError(saved);
  }
  if (result != 0) return kSocketError;
  if (ConnectedToItself(handle)) {
    ::WSASetLastError(WSAECONNREFUSED);
    return kSocketError;
  }
  return 0;
}

int WaitWritable(SocketHandle socket, unsigned seconds, bool* inputWaiting) {
  const SOCKET handle = ToSocket(socket);
  fd_set writable = SetOf(handle);
  fd_set readable = SetOf(handle);
  timeval timeout;
  timeout.tv_sec = seconds > static_cast<unsigned>(LONG_MAX)
                       ? LONG_MAX
                       : static_cast<long>(seconds);
  timeout.tv_usec = 0;
  // The first argument is ignored by Windows Sockets.
  int ready = ::select(0, inputWaiting != nullptr ? &readable : nullptr,
                       &writable, nullptr, &timeout);
  if (ready > 0 && inputWaiting != nullptr) {
    *inputWaiting = FD_ISSET(handle, &readable) != 0;
    if (!FD_ISSET(handle, &writable)) {
      // Only input was ready: the socket may still turn writable.
      writable = SetOf(handle);
      ready = ::select(0, nullptr, &writable, nullptr, &timeout);
    }
  }
  return ready;
}

int WaitReadable(SocketHandle socket, int milliseconds) {
  fd_set readable = SetOf(ToSocket(socket));
  timeval timeout = Milliseconds(static_cast<unsigned>(milliseconds));
  return ::select(0, &readable, nullptr, nullptr,
                  milliseconds < 0 ? nullptr : &timeout);
}

int SendBytes(SocketHandle socket, const void* bytes, int count) {
  if (count < 0) {
    ::WSASetLastError(WSAEINVAL);
    return kSocketError;
  }
  return ::send(ToSocket(socket), static_cast<const char*>(bytes), count, 0);
}

int ReceiveBytes(SocketHandle socket, void* buffer, int capacity) {
  if (capacity < 0) {
    ::WSASetLastError(WSAEINVAL);
    return kSocketError;
  }
  return ::recv(ToSocket(socket), static_cast<char*>(buffer), capacity, 0);
}

// Only the bytes FIONREAD counts are read, so recv() never blocks, and the
// end of the stream or a reset stays for the next call to see.
void DiscardWaitingInput(SocketHandle socket) {
  char scrap[512];
  for (std::size_t dropped = 0; dropped < kMaxDiscardedBytes;) {
    u_long waiting = 0;
    if (::ioctlsocket(ToSocket(socket), FIONREAD, &waiting) != 0 ||
        waiting == 0) {
      return;
    }
    const int take = waiting < sizeof(scrap) ? static_cast<int>(waiting)
                                             : static_cast<int>(sizeof(scrap));
    const int received = ::recv(ToSocket(socket), scrap, take, 0);
    if (received <= 0) return;
    dropped += static_cast<std::size_t>(received);
  }
}

void CloseSocketHandle(SocketHandle socket) { ::closesocket(ToSocket(socket)); }

void AbortSocketHandle(SocketHandle socket) {
  linger reset;
  reset.l_onoff = 1;
  reset.l_linger = 0;
  ::setsockopt(ToSocket(socket), SOL_SOCKET, SO_LINGER,
               reinterpret_cast<const char*>(&reset), sizeof(reset));
  ::closesocket(ToSocket(socket));
}

int LastSocketError() { return ::WSAGetLastError(); }

int InvalidArgumentError() { return WSAEINVAL; }

int GetLocalHostName(char* buffer, std::size_t size) {
  if (size == 0) return kSocketError;
  const int length = size > static_cast<std::size_t>(INT_MAX)
                         ? INT_MAX
                         : static_cast<int>(size);
  if (::gethostname(buffer, length) != 0) return kSocketError;
  buffer[size - 1] = '\0';
  return 0;
}

int LookupHostName(const char* name, HostAddress* result) {
  const hostent* answer = ::gethostbyname(name);
  if (answer == nullptr) {
    const int error = ::WSAGetLastError();
    // A failed lookup must never read as success.
    return error != 0 ? error : WSANO_DATA;
  }
  return CopyFirstAddress(answer, result) ? 0 : WSANO_DATA;
}

bool LookupHostAddress(const std::uint8_t address[4], HostAddress* result) {
  const hostent* answer =
      ::gethostbyaddr(reinterpret_cast<const char*>(address), 4, AF_INET);
  return CopyFirstAddress(answer, result);
}

int ParseIpv4(const char* text, std::uint8_t address[4]) {
  return ::inet_pton(AF_INET, text, address) == 1 ? 1 : 0;
}

}  // namespace platform
