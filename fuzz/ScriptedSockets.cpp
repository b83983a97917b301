// The functions of platform/Sockets.h, answering from a script instead of
// the operating system. Linked with the library's objects (all but the
// platform file), it lets a fuzzer drive whole exchanges, frame gathering
// included, without a network.
#include "ScriptedSockets.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Sockets.h"

namespace scripted {
namespace {

constexpr platform::SocketHandle kHandle = 7;
constexpr int kScriptedError = 10054;  // the number a reset would carry

Script current;
std::size_t position = 0;
std::size_t chunkIndex = 0;
int sends = 0;
int readinessChecks = 0;
int openHandles = 0;
int lastError = 0;

}  // namespace

void Load(const Script& script) {
  current = script;
  position = 0;
  chunkIndex = 0;
  sends = 0;
  readinessChecks = 0;
  openHandles = 0;
  lastError = 0;
}

std::size_t Consumed() { return position; }
int OpenHandles() { return openHandles; }

}  // namespace scripted

namespace platform {

using scripted::current;

SocketHandle OpenTcpSocket() {
  ++scripted::openHandles;
  return scripted::kHandle;
}

int BindSocket(SocketHandle socket, const Ipv4SocketAddress&) {
  return socket == scripted::kHandle ? 0 : kSocketError;
}

int ConnectSocket(SocketHandle socket, const Ipv4SocketAddress&) {
  return socket == scripted::kHandle ? 0 : kSocketError;
}

int WaitWritable(SocketHandle socket, unsigned) {
  if (socket != scripted::kHandle) {
    scripted::lastError = EBADF;
    return kSocketError;
  }
  if (scripted::readinessChecks++ == current.notReadyAt) return 0;
  return 1;
}

int SendBytes(SocketHandle socket, const void* bytes, int count) {
  if (socket != scripted::kHandle || count < 0) {
    scripted::lastError = EBADF;
    return kSocketError;
  }
  // Touch every byte, so that a request built past its end is caught.
  volatile std::uint8_t sink = 0;
  const auto* data = static_cast<const std::uint8_t*>(bytes);
  for (int i = 0; i < count; ++i) sink = sink ^ data[i];
  (void)sink;
  if (scripted::sends++ == current.shortSendAt) {
    scripted::lastError = EPIPE;
    return count / 2;
  }
  return count;
}

int ReceiveBytes(SocketHandle socket, void* buffer, int capacity) {
  if (socket != scripted::kHandle || capacity <= 0) {
    scripted::lastError = EINVAL;
    return kSocketError;
  }
  const std::size_t left = current.stream.size() - scripted::position;
  if (left == 0) {
    if (current.failAtEnd) {
      scripted::lastError = scripted::kScriptedError;
      return kSocketError;
    }
    return 0;
  }
  std::size_t take = left;
  if (scripted::chunkIndex < current.chunks.size()) {
    take = std::max<std::size_t>(current.chunks[scripted::chunkIndex++], 1);
  }
  take = std::min({take, left, static_cast<std::size_t>(capacity)});
  std::memcpy(buffer, current.stream.data() + scripted::position, take);
  scripted::position += take;
  return static_cast<int>(take);
}

void CloseSocketHandle(SocketHandle socket) {
  if (socket == scripted::kHandle) --scripted::openHandles;
}

int LastSocketError() { return scripted::lastError; }

int InvalidArgumentError() { return EINVAL; }

int GetLocalHostName(char* buffer, std::size_t size) {
  if (size < 10) return kSocketError;
  std::memcpy(buffer, "fuzzhost", 9);
  return 0;
}

int LookupHostName(const char*, HostAddress* result) {
  result->family = kAfInet;
  const std::uint8_t loopback[4] = {127, 0, 10, 1};
  std::memcpy(result->address, loopback, sizeof(loopback));
  return 0;
}

bool LookupHostAddress(const std::uint8_t*, HostAddress*) { return false; }

int ParseIpv4(const char* text, std::uint8_t address[4]) {
  unsigned parts[4];
  char tail = 0;
  if (std::sscanf(text, "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2],
                  &parts[3], &tail) != 4) {
    return 0;
  }
  for (int i = 0; i < 4; ++i) {
    if (parts[i] > 255) return 0;
    address[i] = static_cast<std::uint8_t>(parts[i]);
  }
  return 1;
}

std::uint16_t HostToNetwork16(std::uint16_t value) {
  return static_cast<std::uint16_t>((value << 8) | (value >> 8));
}

}  // namespace platform
