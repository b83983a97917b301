#include "transport/SocketCalls.h"

namespace tcpmodbus {
namespace {

class PlatformSocketCalls final : public SocketCalls {
 public:
  IoResult OpenTcpSocket(SocketHandle* handle) override {
    return platform::OpenTcpSocket(handle);
  }
  IoResult BindSocket(SocketHandle socket,
                      const Ipv4SocketAddress& local) override {
    return platform::BindSocket(socket, local);
  }
  IoResult ConnectSocket(SocketHandle socket, const Ipv4SocketAddress& server,
                         unsigned timeoutMs,
                         const platform::CancelFlag* cancel) override {
    return platform::ConnectSocket(socket, server, timeoutMs, cancel);
  }
  IoResult WaitWritable(SocketHandle socket, unsigned seconds,
                        platform::StreamState* state) override {
    return platform::WaitWritable(socket, seconds, state);
  }
  IoResult WaitReadable(SocketHandle socket, int milliseconds,
                        const platform::CancelFlag* cancel) override {
    return platform::WaitReadable(socket, milliseconds, cancel);
  }
  IoResult SendBytes(SocketHandle socket, const void* bytes,
                     int count) override {
    return platform::SendBytes(socket, bytes, count);
  }
  IoResult ReceiveBytes(SocketHandle socket, void* buffer,
                        int capacity) override {
    return platform::ReceiveBytes(socket, buffer, capacity);
  }
  IoResult ReceiveWaiting(SocketHandle socket, void* buffer,
                          int capacity) override {
    return platform::ReceiveWaiting(socket, buffer, capacity);
  }
  IoResult CloseSocketHandle(SocketHandle socket) override {
    return platform::CloseSocketHandle(socket);
  }
  IoResult AbortSocketHandle(SocketHandle socket) override {
    return platform::AbortSocketHandle(socket);
  }
  IoResult SetNoDelay(SocketHandle socket, bool on) override {
    return platform::SetNoDelay(socket, on);
  }
  IoResult AcknowledgeAtOnce(SocketHandle socket) override {
    return platform::AcknowledgeAtOnce(socket);
  }
  IoResult GetLocalHostName(char* buffer, std::size_t size) override {
    return platform::GetLocalHostName(buffer, size);
  }
  IoResult LookupHostName(const char* name, HostAddress* result) override {
    return platform::LookupHostName(name, result);
  }
  IoResult LookupHostAddress(const std::uint8_t address[4],
                             HostAddress* result) override {
    return platform::LookupHostAddress(address, result);
  }
  IoResult ParseIpv4(const char* text, std::uint8_t address[4]) override {
    return platform::ParseIpv4(text, address);
  }
  IoResult LookUpAddresses(const char* host, std::uint16_t port,
                           platform::AddressList* list) override {
    return platform::LookUpAddresses(host, port, list);
  }
  IoResult OpenStreamSocket(platform::Family family,
                            SocketHandle* handle) override {
    return platform::OpenStreamSocket(family, handle);
  }
  IoResult BindAddress(SocketHandle socket,
                       const platform::SocketAddress& local) override {
    return platform::BindAddress(socket, local);
  }
  IoResult ConnectAddress(SocketHandle socket,
                          const platform::SocketAddress& server,
                          unsigned timeoutMs,
                          const platform::CancelFlag* cancel) override {
    return platform::ConnectAddress(socket, server, timeoutMs, cancel);
  }
};

}  // namespace

SocketCalls& SystemSocketCalls() {
  // No data and a trivial destructor: constant-initialised, with no guard,
  // no code at load time and nothing to run at exit.
  static PlatformSocketCalls calls;
  return calls;
}

}  // namespace tcpmodbus
