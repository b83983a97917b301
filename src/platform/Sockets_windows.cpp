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
#include <cstdio>
#include <cstring>

#include "platform/SockaddrIn.h"
#include "platform/Sockets.h"

namespace tcpmodbus {
namespace platform {
namespace {

static_assert(sizeof(SOCKET) <= sizeof(SocketHandle),
              "a SOCKET must fit the handle");
static_assert(sizeof(sockaddr_in) == sizeof(Ipv4SocketAddress),
              "sockaddr_in must match the platform address");
static_assert(AF_INET == kAfInet, "AF_INET must be 2");
static_assert(static_cast<SocketHandle>(INVALID_SOCKET) == kInvalidSocket,
              "INVALID_SOCKET must be the invalid handle");

SOCKET ToSocket(SocketHandle socket) { return static_cast<SOCKET>(socket); }

// A failed call, told apart by its number: the peer's reset, or anything
// else.
IoResult FailedWithLastError() {
  const int error = ::WSAGetLastError();
  if (error == WSAECONNRESET || error == WSAECONNABORTED ||
      error == WSAENETRESET || error == WSAESHUTDOWN) {
    return IoResult::Reset(error);
  }
  return IoResult::Failed(error);
}

// select()'s count as a result: ready, nothing within the time, or failed.
IoResult Readiness(int ready) {
  if (ready == SOCKET_ERROR) return IoResult::Failed(::WSAGetLastError());
  if (ready == 0) return IoResult::TimedOut(::WSAGetLastError());
  return IoResult::Done();
}

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

// select() on one socket for up to `milliseconds` (-1: no limit), for what
// the sets given hold (each null or holding the socket), which then tell
// what was ready; with `cancel`, in slices of kCancelCheckMs, giving 0 with
// *cancelled once it is set.
int SelectFor(SOCKET socket, fd_set* readable, fd_set* writable,
              fd_set* failed, int milliseconds, const CancelFlag* cancel,
              bool* cancelled) {
  const WaitPieces pieces(milliseconds, cancel);
  for (;;) {
    bool sliced = false;
    const int wait = pieces.Next(&sliced);
    if (pieces.Cancelled()) {
      *cancelled = true;
      return 0;
    }
    fd_set r = SetOf(socket), w = SetOf(socket), e = SetOf(socket);
    timeval timeout = Milliseconds(static_cast<unsigned>(wait < 0 ? 0 : wait));
    // The first argument is ignored by Windows Sockets.
    const int ready =
        ::select(0, readable != nullptr ? &r : nullptr,
                 writable != nullptr ? &w : nullptr,
                 failed != nullptr ? &e : nullptr,
                 wait < 0 ? nullptr : &timeout);
    if (ready == 0 && sliced) continue;
    if (readable != nullptr) *readable = r;
    if (writable != nullptr) *writable = w;
    if (failed != nullptr) *failed = e;
    return ready;
  }
}

// Waits for a connect() in progress, as a blocking connect() would end:
// done, or failed (WSAETIMEDOUT once `milliseconds` have passed; -1: no
// limit), or cancelled.
IoResult FinishConnect(SOCKET socket, int milliseconds,
                       const CancelFlag* cancel) {
  fd_set writable = SetOf(socket);
  fd_set failed = SetOf(socket);
  bool cancelled = false;
  const int ready = SelectFor(socket, nullptr, &writable, &failed,
                              milliseconds, cancel, &cancelled);
  if (cancelled) return IoResult::Cancelled();
  if (ready == SOCKET_ERROR) return IoResult::Failed(::WSAGetLastError());
  if (ready == 0) return IoResult::Failed(WSAETIMEDOUT);
  if (FD_ISSET(socket, &failed)) {
    int error = 0;
    int length = sizeof(error);
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR,
                     reinterpret_cast<char*>(&error), &length) != 0) {
      return IoResult::Failed(::WSAGetLastError());
    }
    return IoResult::Failed(error != 0 ? error : WSAECONNREFUSED);
  }
  return IoResult::Done();
}

IoResult Connect(SOCKET socket, const sockaddr* address, int length,
                 unsigned timeoutMs, const CancelFlag* cancel) {
  if (::connect(socket, address, length) == 0) return IoResult::Done();
  const int error = ::WSAGetLastError();
  if ((timeoutMs != 0 || cancel != nullptr) && error == WSAEWOULDBLOCK) {
    const int wait = timeoutMs == 0 ? kWaitForever
                     : timeoutMs > INT_MAX ? INT_MAX
                                           : static_cast<int>(timeoutMs);
    return FinishConnect(socket, wait, cancel);
  }
  return IoResult::Failed(error);
}

// A socket that TCP's simultaneous open connected to itself.
bool ConnectedToItself(SOCKET socket) {
  sockaddr_storage local;
  sockaddr_storage peer;
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

// One recv() as a result: done with its count, closed, or failed.
IoResult Received(int received) {
  if (received > 0) return IoResult::Done(received);
  if (received == 0) return IoResult::Closed();
  return FailedWithLastError();
}

}  // namespace

IoResult OpenStreamSocket(Family family, SocketHandle* handle) {
  // Overlapped sockets still block in send, recv and connect; the flag only
  // allows overlapped I/O, which the library does not use. Like
  // close-on-exec on POSIX, the handle is not inherited by child processes
  // of the host; systems older than Windows 7 SP1 refuse that flag, and then
  // the handle is made non-inheritable after the fact.
  const int af = family == Family::kIpv6 ? AF_INET6 : AF_INET;
  SOCKET socket =
      ::WSASocketW(af, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
    socket = ::WSASocketW(af, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                          WSA_FLAG_OVERLAPPED);
    if (socket != INVALID_SOCKET) {
      ::SetHandleInformation(reinterpret_cast<HANDLE>(socket),
                             HANDLE_FLAG_INHERIT, 0);
    }
  }
  *handle = static_cast<SocketHandle>(socket);
  return socket == INVALID_SOCKET ? IoResult::Failed(::WSAGetLastError())
                                  : IoResult::Done();
}

IoResult WaitWritable(SocketHandle socket, unsigned seconds,
                      StreamState* state) {
  const SOCKET handle = ToSocket(socket);
  fd_set writable = SetOf(handle);
  fd_set readable = SetOf(handle);
  timeval timeout;
  timeout.tv_sec = seconds > static_cast<unsigned>(LONG_MAX)
                       ? LONG_MAX
                       : static_cast<long>(seconds);
  timeout.tv_usec = 0;
  // The first argument is ignored by Windows Sockets.
  int ready = ::select(0, state != nullptr ? &readable : nullptr, &writable,
                       nullptr, &timeout);
  if (ready > 0 && state != nullptr) {
    // A reset shows as readable here: the receive that follows tells it.
    state->inputWaiting = FD_ISSET(handle, &readable) != 0;
    if (!FD_ISSET(handle, &writable)) {
      // Only input was ready: the socket may still turn writable.
      writable = SetOf(handle);
      ready = ::select(0, nullptr, &writable, nullptr, &timeout);
    }
  }
  return Readiness(ready);
}

IoResult WaitReadable(SocketHandle socket, int milliseconds,
                      const CancelFlag* cancel) {
  const SOCKET handle = ToSocket(socket);
  fd_set readable = SetOf(handle);
  bool cancelled = false;
  const int ready = SelectFor(handle, &readable, nullptr, nullptr,
                              milliseconds, cancel, &cancelled);
  return cancelled ? IoResult::Cancelled() : Readiness(ready);
}

IoResult SendBytes(SocketHandle socket, const void* bytes, int count) {
  if (count < 0) return IoResult::Failed(WSAEINVAL);
  const int sent =
      ::send(ToSocket(socket), static_cast<const char*>(bytes), count, 0);
  return sent == SOCKET_ERROR ? FailedWithLastError() : IoResult::Done(sent);
}

IoResult ReceiveBytes(SocketHandle socket, void* buffer, int capacity) {
  if (capacity < 0) return IoResult::Failed(WSAEINVAL);
  return Received(
      ::recv(ToSocket(socket), static_cast<char*>(buffer), capacity, 0));
}

// The socket blocks, so only what FIONREAD counts is read; when it counts
// nothing, a poll tells an empty socket (nothing waiting) from one whose
// stream has ended or failed, where recv() returns at once.
IoResult ReceiveWaiting(SocketHandle socket, void* buffer, int capacity) {
  if (capacity < 0) return IoResult::Failed(WSAEINVAL);
  const SOCKET handle = ToSocket(socket);
  u_long waiting = 0;
  if (::ioctlsocket(handle, FIONREAD, &waiting) != 0) {
    return IoResult::Failed(::WSAGetLastError());
  }
  if (waiting == 0) {
    const IoResult ready = WaitReadable(socket, 0);
    if (!ready.done()) return ready.timedOut() ? IoResult::TimedOut(0) : ready;
    return Received(::recv(handle, static_cast<char*>(buffer), 1, 0));
  }
  const int take = waiting < static_cast<u_long>(capacity)
                       ? static_cast<int>(waiting)
                       : capacity;
  return Received(::recv(handle, static_cast<char*>(buffer), take, 0));
}

IoResult CloseSocketHandle(SocketHandle socket) {
  return ::closesocket(ToSocket(socket)) == 0
             ? IoResult::Done()
             : IoResult::Failed(::WSAGetLastError());
}

IoResult AbortSocketHandle(SocketHandle socket) {
  linger reset;
  reset.l_onoff = 1;
  reset.l_linger = 0;
  ::setsockopt(ToSocket(socket), SOL_SOCKET, SO_LINGER,
               reinterpret_cast<const char*>(&reset), sizeof(reset));
  return CloseSocketHandle(socket);
}

IoResult SetNoDelay(SocketHandle socket, bool on) {
  const BOOL value = on ? TRUE : FALSE;
  return ::setsockopt(ToSocket(socket), IPPROTO_TCP, TCP_NODELAY,
                      reinterpret_cast<const char*>(&value), sizeof(value)) == 0
             ? IoResult::Done()
             : IoResult::Failed(::WSAGetLastError());
}

// Windows Sockets has no option of the connection that acknowledges at once.
IoResult AcknowledgeAtOnce(SocketHandle /*socket*/) { return IoResult::Done(); }

IoResult GetLocalHostName(char* buffer, std::size_t size) {
  if (size == 0) return IoResult::Failed(WSAEINVAL);
  const int length = size > static_cast<std::size_t>(INT_MAX)
                         ? INT_MAX
                         : static_cast<int>(size);
  if (::gethostname(buffer, length) != 0) {
    return IoResult::Failed(::WSAGetLastError());
  }
  buffer[size - 1] = '\0';
  return IoResult::Done();
}

IoResult LookupHostName(const char* name, HostAddress* result) {
  const hostent* answer = ::gethostbyname(name);
  if (answer == nullptr) {
    const int error = ::WSAGetLastError();
    // A failed lookup must never read as success.
    return IoResult::Failed(error != 0 ? error : WSANO_DATA);
  }
  return CopyFirstAddress(answer, result) ? IoResult::Done()
                                          : IoResult::Failed(WSANO_DATA);
}

IoResult LookupHostAddress(const std::uint8_t address[4], HostAddress* result) {
  const hostent* answer =
      ::gethostbyaddr(reinterpret_cast<const char*>(address), 4, AF_INET);
  return CopyFirstAddress(answer, result) ? IoResult::Done()
                                          : IoResult::Failed(WSANO_DATA);
}

void DescribeLookupError(int error, char* text, std::size_t size) {
  if (size == 0) return;
  // gai_strerror keeps its text in one buffer for the process; the
  // system's message table, into the caller's buffer, does not.
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(error), 0, text,
      size > 0xffff ? 0xffff : static_cast<DWORD>(size), nullptr);
  std::size_t end = length;
  while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' ||
                     text[end - 1] == ' ' || text[end - 1] == '.')) {
    --end;
  }
  if (end == 0) {
    std::snprintf(text, size, "error %d", error);
  } else {
    text[end] = '\0';
  }
}

IoResult BindAddress(SocketHandle socket, const SocketAddress& local) {
  const sockaddr_storage address = ToStorage(local);
  if (::bind(ToSocket(socket), reinterpret_cast<const sockaddr*>(&address),
             local.length) != 0) {
    return IoResult::Failed(::WSAGetLastError());
  }
  return IoResult::Done();
}

IoResult ConnectAddress(SocketHandle socket, const SocketAddress& server,
                        unsigned timeoutMs, const CancelFlag* cancel) {
  const SOCKET handle = ToSocket(socket);
  const sockaddr_storage address = ToStorage(server);
  // A connect that can end early, by its time-out or a cancel, runs in the
  // background and is waited for.
  const bool background = timeoutMs != 0 || cancel != nullptr;
  if (background && !SetBlocking(handle, false)) {
    return IoResult::Failed(::WSAGetLastError());
  }
  IoResult result = Connect(handle, reinterpret_cast<const sockaddr*>(&address),
                            server.length, timeoutMs, cancel);
  if (background && !SetBlocking(handle, true) && result.done()) {
    result = IoResult::Failed(::WSAGetLastError());
  }
  if (result.done() && ConnectedToItself(handle)) {
    return IoResult::Failed(WSAECONNREFUSED);
  }
  return result;
}

}  // namespace platform
}  // namespace tcpmodbus
