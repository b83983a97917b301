// The functions of platform/Sockets.h, answering from a script instead of
// the operating system. Linked with the library's objects (all but the
// platform file), it lets a fuzzer drive whole exchanges, the gathering of
// answers and the discarding of stale bytes included, without a network.
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

// The bytes that have arrived and not been read, each with the index of the
// request it answers.
struct Arrived {
  std::uint8_t byte;
  int answer;
};

Script current;
std::vector<Arrived> arrived;
// The late end of the latest answer, which arrives with the next send.
std::vector<Arrived> held;
std::size_t readPosition = 0;
std::size_t chunkIndex = 0;
int sends = 0;
int readinessChecks = 0;
int openHandles = 0;
int lastError = 0;
bool stale = false;

std::size_t Waiting() { return arrived.size() - readPosition; }

// Nothing is waiting and nothing more will come: the peer has ended.
bool Ended() {
  return Waiting() == 0 &&
         static_cast<std::size_t>(sends) >= current.answers.size();
}

}  // namespace

void Load(const Script& script) {
  current = script;
  arrived.clear();
  held.clear();
  readPosition = 0;
  chunkIndex = 0;
  sends = 0;
  readinessChecks = 0;
  openHandles = 0;
  lastError = 0;
  stale = false;
}

int Sends() { return sends; }
bool ReceivedStaleBytes() { return stale; }
void ForgetStaleBytes() { stale = false; }
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

int ConnectSocket(SocketHandle socket, const Ipv4SocketAddress&, unsigned) {
  return socket == scripted::kHandle ? 0 : kSocketError;
}

int WaitWritable(SocketHandle socket, unsigned, bool* inputWaiting) {
  if (socket != scripted::kHandle) {
    scripted::lastError = EBADF;
    return kSocketError;
  }
  if (scripted::readinessChecks++ == current.notReadyAt) return 0;
  if (inputWaiting != nullptr) {
    *inputWaiting = scripted::Waiting() > 0 || scripted::Ended();
  }
  return 1;
}

int WaitReadable(SocketHandle socket, int) {
  if (socket != scripted::kHandle) {
    scripted::lastError = EBADF;
    return kSocketError;
  }
  return scripted::Waiting() > 0 || scripted::Ended() ? 1 : 0;
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
  const int request = scripted::sends++;
  // The late end of the previous answer comes first, then this answer but
  // its own late end.
  for (const scripted::Arrived& byte : scripted::held) {
    scripted::arrived.push_back(byte);
  }
  scripted::held.clear();
  if (static_cast<std::size_t>(request) < current.answers.size()) {
    const scripted::Bytes& answer = current.answers[request];
    std::size_t late = static_cast<std::size_t>(request) < current.late.size()
                           ? current.late[request]
                           : 0;
    if (late > answer.size()) late = answer.size();
    for (std::size_t i = 0; i < answer.size(); ++i) {
      (i < answer.size() - late ? scripted::arrived : scripted::held)
          .push_back({answer[i], request});
    }
  }
  if (request == current.shortSendAt) {
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
  const std::size_t left = scripted::Waiting();
  if (left == 0) {
    // A real receive would wait for the next request's answer, which never
    // comes without a request: the script ends the stream here.
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
  auto* out = static_cast<std::uint8_t*>(buffer);
  for (std::size_t i = 0; i < take; ++i) {
    const scripted::Arrived& next = scripted::arrived[scripted::readPosition++];
    out[i] = next.byte;
    if (next.answer != scripted::sends - 1) scripted::stale = true;
  }
  return static_cast<int>(take);
}

void DiscardWaitingInput(SocketHandle socket) {
  if (socket != scripted::kHandle) return;
  const std::size_t drop =
      std::min(scripted::Waiting(), platform::kMaxDiscardedBytes);
  scripted::readPosition += drop;
}

void CloseSocketHandle(SocketHandle socket) {
  if (socket == scripted::kHandle) --scripted::openHandles;
}

void AbortSocketHandle(SocketHandle socket) { CloseSocketHandle(socket); }

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

}  // namespace platform
