#include "ScriptedSockets.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace scripted {
namespace {

using tcpmodbus::IoResult;

constexpr tcpmodbus::platform::SocketHandle kHandle = 7;
constexpr int kResetError = ECONNRESET;
constexpr int kHostNotFound = 1;  // as h_errno's HOST_NOT_FOUND

}  // namespace

ScriptedSockets::ScriptedSockets(Script script) : script_(std::move(script)) {}

bool ScriptedSockets::ClosedByPeer() const {
  return script_.closeAfter >= 0 && sends_ == script_.closeAfter + 1 &&
         !reconnected_;
}

bool ScriptedSockets::Ended() const {
  return Waiting() == 0 &&
         (static_cast<std::size_t>(sends_) >= script_.answers.size() ||
          ClosedByPeer());
}

bool ScriptedSockets::Known(SocketHandle socket) const {
  return socket == kHandle;
}

IoResult ScriptedSockets::OpenTcpSocket(SocketHandle* handle) {
  if (ClosedByPeer()) reconnected_ = true;
  arrived_.clear();
  held_.clear();
  idle_.clear();
  readPosition_ = 0;
  ++openHandles_;
  *handle = kHandle;
  return IoResult::Done();
}

IoResult ScriptedSockets::BindSocket(SocketHandle socket,
                                     const Ipv4SocketAddress&) {
  return Known(socket) ? IoResult::Done() : IoResult::Failed(EBADF);
}

IoResult ScriptedSockets::ConnectSocket(SocketHandle socket,
                                        const Ipv4SocketAddress&, unsigned,
                                        const tcpmodbus::platform::CancelFlag*) {
  return Known(socket) ? IoResult::Done() : IoResult::Failed(EBADF);
}

IoResult ScriptedSockets::WaitWritable(SocketHandle socket, unsigned,
                                       tcpmodbus::platform::StreamState* state) {
  if (!Known(socket)) return IoResult::Failed(EBADF);
  if (readinessChecks_++ == script_.notReadyAt) return IoResult::TimedOut(0);
  if (state == nullptr) return IoResult::Done();
  // Before a send: what arrives while idle is there now.
  arrived_.insert(arrived_.end(), idle_.begin(), idle_.end());
  idle_.clear();
  state->failed = script_.resetIdle && ClosedByPeer();
  state->inputWaiting = !state->failed && (Waiting() > 0 || Ended());
  return IoResult::Done();
}

IoResult ScriptedSockets::WaitReadable(SocketHandle socket, int,
                                       const tcpmodbus::platform::CancelFlag*) {
  if (!Known(socket)) return IoResult::Failed(EBADF);
  return Waiting() > 0 || Ended() ? IoResult::Done() : IoResult::TimedOut(0);
}

IoResult ScriptedSockets::SendBytes(SocketHandle socket, const void* bytes,
                                    int count) {
  if (!Known(socket) || count < 0) return IoResult::Failed(EBADF);
  // Touch every byte, so that a request built past its end is caught.
  volatile std::uint8_t sink = 0;
  const auto* data = static_cast<const std::uint8_t*>(bytes);
  for (int i = 0; i < count; ++i) sink = sink ^ data[i];
  (void)sink;
  const int request = sends_++;
  // The late end of the previous answer comes first, then this answer but
  // its own late end.
  arrived_.insert(arrived_.end(), held_.begin(), held_.end());
  held_.clear();
  if (static_cast<std::size_t>(request) < script_.answers.size()) {
    const Bytes& answer = script_.answers[request];
    std::size_t late = static_cast<std::size_t>(request) < script_.late.size()
                           ? script_.late[request]
                           : 0;
    late = std::min(late, answer.size());
    std::size_t idle = static_cast<std::size_t>(request) < script_.idle.size()
                           ? script_.idle[request]
                           : 0;
    idle = std::min(idle, answer.size() - late);
    const std::size_t now = answer.size() - late - idle;
    for (std::size_t i = 0; i < answer.size(); ++i) {
      (i < now ? arrived_ : i < now + idle ? idle_ : held_)
          .push_back({answer[i], request});
    }
  }
  if (request == script_.shortSendAt) return IoResult::Done(count / 2);
  return IoResult::Done(count);
}

int ScriptedSockets::Take(void* buffer, int capacity) {
  std::size_t take = Waiting();
  if (chunkIndex_ < script_.chunks.size()) {
    take = std::max<std::size_t>(script_.chunks[chunkIndex_++], 1);
  }
  take = std::min({take, Waiting(), static_cast<std::size_t>(capacity)});
  auto* out = static_cast<std::uint8_t*>(buffer);
  for (std::size_t i = 0; i < take; ++i) {
    const Arrived& next = arrived_[readPosition_++];
    out[i] = next.byte;
    if (next.answer != sends_ - 1) stale_ = true;
  }
  return static_cast<int>(take);
}

IoResult ScriptedSockets::ReceiveBytes(SocketHandle socket, void* buffer,
                                       int capacity) {
  if (!Known(socket) || capacity <= 0) return IoResult::Failed(EINVAL);
  if (Waiting() == 0) {
    // A real receive would wait for the next request's answer, which never
    // comes without a request: the script ends the stream here.
    return script_.failAtEnd && !ClosedByPeer() ? IoResult::Reset(kResetError)
                                                : IoResult::Closed();
  }
  return IoResult::Done(Take(buffer, capacity));
}

IoResult ScriptedSockets::ReceiveWaiting(SocketHandle socket, void* /*buffer*/,
                                         int capacity) {
  if (!Known(socket) || capacity <= 0) return IoResult::Failed(EINVAL);
  if (Waiting() == 0) {
    if (!Ended()) return IoResult::TimedOut(0);
    return script_.failAtEnd && !ClosedByPeer() ? IoResult::Reset(kResetError)
                                                : IoResult::Closed();
  }
  // What is dropped is never handed to an answer: it does not count as a
  // stale read, and takes what has arrived whatever the chunks say.
  const std::size_t take =
      std::min(Waiting(), static_cast<std::size_t>(capacity));
  readPosition_ += take;
  return IoResult::Done(static_cast<int>(take));
}

IoResult ScriptedSockets::CloseSocketHandle(SocketHandle socket) {
  if (!Known(socket)) return IoResult::Failed(EBADF);
  --openHandles_;
  return IoResult::Done();
}

IoResult ScriptedSockets::AbortSocketHandle(SocketHandle socket) {
  return CloseSocketHandle(socket);
}

IoResult ScriptedSockets::SetNoDelay(SocketHandle socket, bool on) {
  if (!Known(socket)) return IoResult::Failed(EBADF);
  options_.push_back(std::string(on ? "nodelay on" : "nodelay off") +
                     " after " + std::to_string(sends_) + " sends");
  return IoResult::Done();
}

IoResult ScriptedSockets::AcknowledgeAtOnce(SocketHandle socket) {
  if (!Known(socket)) return IoResult::Failed(EBADF);
  // Only the first of a run between two sends is kept: how many a wait
  // takes is the reader's business.
  const std::string entry =
      "quickack after " + std::to_string(sends_) + " sends";
  if (options_.empty() || options_.back() != entry) options_.push_back(entry);
  return IoResult::Done();
}

IoResult ScriptedSockets::GetLocalHostName(char* buffer, std::size_t size) {
  const std::string& name = script_.localHostName;
  if (name.empty() || name.size() >= size) return IoResult::Failed(EINVAL);
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  return IoResult::Done();
}

IoResult ScriptedSockets::LookupHostName(const char* name,
                                         HostAddress* result) {
  lookedUp_.push_back(name);
  const auto found = script_.names.find(name);
  if (found == script_.names.end() || found->second.empty()) {
    return IoResult::Failed(kHostNotFound);
  }
  result->family = tcpmodbus::platform::kAfInet;
  std::memcpy(result->address, found->second.front().data(), 4);
  return IoResult::Done();
}

IoResult ScriptedSockets::LookupHostAddress(const std::uint8_t*, HostAddress*) {
  return IoResult::Failed(EINVAL);
}

IoResult ScriptedSockets::ParseIpv4(const char* text, std::uint8_t address[4]) {
  unsigned parts[4];
  char tail = 0;
  if (std::sscanf(text, "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2],
                  &parts[3], &tail) != 4) {
    return IoResult::Failed(EINVAL);
  }
  for (int i = 0; i < 4; ++i) {
    if (parts[i] > 255) return IoResult::Failed(EINVAL);
    address[i] = static_cast<std::uint8_t>(parts[i]);
  }
  return IoResult::Done();
}

}  // namespace scripted
