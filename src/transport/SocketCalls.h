// The socket operations a transport is given at construction: by default
// the platform's own (SystemSocketCalls), in tests an in-memory stand-in
// that scripts what the peer sends and how the calls end, so that the
// gathering of answers, the discarding of stale bytes and name resolution
// are tested without a network.
//
// Each operation is the platform function of the same name
// (platform/Sockets.h), with the same meaning and result.
#ifndef TCPMODBUS_TRANSPORT_SOCKETCALLS_H_
#define TCPMODBUS_TRANSPORT_SOCKETCALLS_H_

#include <cstddef>
#include <cstdint>

#include "platform/Sockets.h"

namespace tcpmodbus {

class SocketCalls {
 public:
  using SocketHandle = platform::SocketHandle;
  using Ipv4SocketAddress = platform::Ipv4SocketAddress;
  using HostAddress = platform::HostAddress;

  virtual IoResult OpenTcpSocket(SocketHandle* handle) = 0;
  virtual IoResult BindSocket(SocketHandle socket,
                              const Ipv4SocketAddress& local) = 0;
  virtual IoResult ConnectSocket(SocketHandle socket,
                                 const Ipv4SocketAddress& server,
                                 unsigned timeoutMs,
                                 const platform::CancelFlag* cancel) = 0;
  virtual IoResult WaitWritable(SocketHandle socket, unsigned seconds,
                                platform::StreamState* state) = 0;
  virtual IoResult WaitReadable(SocketHandle socket, int milliseconds,
                                const platform::CancelFlag* cancel) = 0;
  virtual IoResult SendBytes(SocketHandle socket, const void* bytes,
                             int count) = 0;
  virtual IoResult ReceiveBytes(SocketHandle socket, void* buffer,
                                int capacity) = 0;
  virtual IoResult ReceiveWaiting(SocketHandle socket, void* buffer,
                                  int capacity) = 0;
  virtual IoResult CloseSocketHandle(SocketHandle socket) = 0;
  virtual IoResult AbortSocketHandle(SocketHandle socket) = 0;
  virtual IoResult SetNoDelay(SocketHandle socket, bool on) = 0;
  virtual IoResult AcknowledgeAtOnce(SocketHandle socket) = 0;
  virtual IoResult GetLocalHostName(char* buffer, std::size_t size) = 0;
  virtual IoResult LookupHostName(const char* name, HostAddress* result) = 0;
  virtual IoResult LookupHostAddress(const std::uint8_t address[4],
                                     HostAddress* result) = 0;
  virtual IoResult ParseIpv4(const char* text, std::uint8_t address[4]) = 0;
  // Host names and IPv6.
  virtual IoResult LookUpAddresses(const char* host, std::uint16_t port,
                                   platform::AddressList* list) = 0;
  virtual IoResult OpenStreamSocket(platform::Family family,
                                    SocketHandle* handle) = 0;
  virtual IoResult BindAddress(SocketHandle socket,
                               const platform::SocketAddress& local) = 0;
  virtual IoResult ConnectAddress(SocketHandle socket,
                                  const platform::SocketAddress& server,
                                  unsigned timeoutMs,
                                  const platform::CancelFlag* cancel) = 0;

 protected:
  // Never deleted through this interface: the system's calls are one
  // static object, trivially destroyed, and stand-ins live in their tests.
  ~SocketCalls() = default;
};

// The operating system's sockets. One object for the process, shared by
// every transport; it has no state.
SocketCalls& SystemSocketCalls();

}  // namespace tcpmodbus

#endif  // TCPMODBUS_TRANSPORT_SOCKETCALLS_H_
