#include "FakeModbusServer.h"

#ifdef _WIN32
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601  // inet_pton
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include <algorithm>
#include <cstdio>
#include <utility>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;
using Socket = std::uintptr_t;
constexpr Socket kNoSocket = ~Socket{0};
// How often a waiting step looks whether the server is being stopped.
constexpr std::chrono::milliseconds kSlice{20};

int LastError() {
#ifdef _WIN32
  return WSAGetLastError();
#else
  return errno;
#endif
}

std::string ErrorString(int error) {
#ifdef _WIN32
  return "error " + std::to_string(error);
#else
  return std::string(std::strerror(error)) + " (errno " +
         std::to_string(error) + ")";
#endif
}

bool IsReset(int error) {
#ifdef _WIN32
  return error == WSAECONNRESET || error == WSAECONNABORTED;
#else
  return error == ECONNRESET;
#endif
}

void CloseSocket(Socket socket) {
  if (socket == kNoSocket) return;
#ifdef _WIN32
  closesocket(static_cast<SOCKET>(socket));
#else
  ::close(static_cast<int>(socket));
#endif
}

template <typename T>
int SetOption(Socket socket, int level, int name, const T& value) {
#ifdef _WIN32
  return setsockopt(static_cast<SOCKET>(socket), level, name,
                    reinterpret_cast<const char*>(&value), sizeof(value));
#else
  return setsockopt(static_cast<int>(socket), level, name, &value,
                    sizeof(value));
#endif
}

// Waits until `socket` is readable (for a listener: a connection is
// waiting). 1 readable, 0 time-out, -1 select failed, -2 stopped.
int WaitReadable(Socket socket, Clock::time_point deadline,
                 const std::atomic<bool>& stop) {
  for (;;) {
    if (stop) return -2;
    const auto now = Clock::now();
    if (now >= deadline) return 0;
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
    const auto wait = std::min<std::chrono::microseconds>(left, kSlice);
    fd_set readable;
    FD_ZERO(&readable);
#ifdef _WIN32
    FD_SET(static_cast<SOCKET>(socket), &readable);
    timeval timeout = {static_cast<long>(wait.count() / 1000000),
                       static_cast<long>(wait.count() % 1000000)};
    const int ready = select(0, &readable, nullptr, nullptr, &timeout);
#else
    FD_SET(static_cast<int>(socket), &readable);
    timeval timeout = {static_cast<time_t>(wait.count() / 1000000),
                       static_cast<suseconds_t>(wait.count() % 1000000)};
    const int ready = select(static_cast<int>(socket) + 1, &readable, nullptr,
                             nullptr, &timeout);
    if (ready < 0 && errno == EINTR) continue;
#endif
    if (ready < 0) return -1;
    if (ready > 0) return 1;
  }
}

int ReceiveSome(Socket socket, std::uint8_t* buffer, std::size_t capacity) {
#ifdef _WIN32
  return recv(static_cast<SOCKET>(socket), reinterpret_cast<char*>(buffer),
              static_cast<int>(capacity), 0);
#else
  ssize_t received;
  do {
    received = ::recv(static_cast<int>(socket), buffer, capacity, 0);
  } while (received < 0 && errno == EINTR);
  return static_cast<int>(received);
#endif
}

int SendSome(Socket socket, const std::uint8_t* bytes, std::size_t count) {
#ifdef _WIN32
  return send(static_cast<SOCKET>(socket), reinterpret_cast<const char*>(bytes),
              static_cast<int>(count), 0);
#else
  ssize_t sent;
  do {
    sent = ::send(static_cast<int>(socket), bytes, count, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return static_cast<int>(sent);
#endif
}

std::string StepName(const Step& step) {
  switch (step.kind) {
    case Step::Kind::Receive:
      return "Receive(" + std::to_string(step.count) + ")";
    case Step::Kind::Send:
      return "Send(" + std::to_string(step.bytes.size()) + " bytes)";
    case Step::Kind::SendPieces:
      return "SendPieces(" + std::to_string(step.pieces.size()) + " pieces)";
    case Step::Kind::Pause:
      return "Pause(" + std::to_string(step.pause.count()) + " ms)";
    case Step::Kind::Close:
      return "Close";
    case Step::Kind::Reset:
      return "Reset";
    case Step::Kind::WaitForClientClose:
      return "WaitForClientClose";
    case Step::Kind::Accept:
      return "Accept";
    case Step::Kind::Custom:
      return "Custom(" + step.name + ")";
  }
  return "?";
}

}  // namespace

std::string ToHex(const Bytes& bytes) {
  std::string text;
  char item[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(item, sizeof(item), "%02x", bytes[i]);
    if (i != 0) text += ' ';
    text += item;
  }
  return text;
}

Step Step::Receive(std::size_t count) {
  Step step{Kind::Receive};
  step.count = count;
  return step;
}

Step Step::Send(Bytes bytes) {
  Step step{Kind::Send};
  step.bytes = std::move(bytes);
  return step;
}

Step Step::SendPieces(std::vector<Bytes> pieces,
                      std::chrono::milliseconds pause) {
  Step step{Kind::SendPieces};
  step.pieces = std::move(pieces);
  step.pause = pause;
  return step;
}

Step Step::SendSplit(const Bytes& bytes, std::vector<std::size_t> cuts,
                     std::chrono::milliseconds pause) {
  std::vector<Bytes> pieces;
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    cut = std::min(std::max(cut, from), bytes.size());
    pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                        bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    from = cut;
  }
  pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                      bytes.end());
  pieces.erase(std::remove_if(pieces.begin(), pieces.end(),
                              [](const Bytes& piece) { return piece.empty(); }),
               pieces.end());
  return SendPieces(std::move(pieces), pause);
}

Step Step::Pause(std::chrono::milliseconds pause) {
  Step step{Kind::Pause};
  step.pause = pause;
  return step;
}

Step Step::Close() { return Step{Kind::Close}; }
Step Step::Reset() { return Step{Kind::Reset}; }
Step Step::WaitForClientClose() { return Step{Kind::WaitForClientClose}; }
Step Step::Accept() { return Step{Kind::Accept}; }

Step Step::Custom(std::string name,
                  std::function<std::string(ScriptConnection&)> action) {
  Step step{Kind::Custom};
  step.name = std::move(name);
  step.action = std::move(action);
  return step;
}

// The connections of one script run, and the steps' bodies.
class ConnectionImpl : public ScriptConnection {
 public:
  explicit ConnectionImpl(FakeModbusServer& server) : server_(server) {}
  ~ConnectionImpl() override {
    for (Socket socket : open_) CloseSocket(socket);
  }

  std::string Accept() {
    const int ready =
        WaitReadable(server_.listener_, Deadline(), server_.stop_);
    if (ready == 0) return "no connection within the time-out";
    if (ready == -2) return "stopped while waiting for a connection";
    if (ready < 0) return "select failed: " + ErrorString(LastError());
#ifdef _WIN32
    const SOCKET accepted =
        accept(static_cast<SOCKET>(server_.listener_), nullptr, nullptr);
    if (accepted == INVALID_SOCKET) {
      return "accept failed: " + ErrorString(LastError());
    }
    current_ = static_cast<Socket>(accepted);
#else
    const int accepted =
        ::accept(static_cast<int>(server_.listener_), nullptr, nullptr);
    if (accepted < 0) return "accept failed: " + ErrorString(LastError());
    current_ = static_cast<Socket>(accepted);
#endif
    open_.push_back(current_);
    // Each send goes out as its own segment, so split answers stay split.
    const int noDelay = 1;
    SetOption(current_, IPPROTO_TCP, TCP_NODELAY, noDelay);
    std::lock_guard<std::mutex> lock(server_.mutex_);
    ++server_.connections_;
    return "";
  }

  std::string SendAll(const Bytes& bytes) override {
    if (current_ == kNoSocket) return "no open connection to send on";
    std::size_t done = 0;
    while (done < bytes.size()) {
      const int sent =
          SendSome(current_, bytes.data() + done, bytes.size() - done);
      if (sent < 0) {
        return "send failed after " + std::to_string(done) + " of " +
               std::to_string(bytes.size()) +
               " bytes: " + ErrorString(LastError());
      }
      done += static_cast<std::size_t>(sent);
    }
    return "";
  }

  std::string ReceiveExactly(std::size_t count, Bytes* out) override {
    if (current_ == kNoSocket) return "no open connection to receive on";
    out->assign(count, 0);
    std::size_t have = 0;
    const auto deadline = Deadline();
    while (have < count) {
      const int ready = WaitReadable(current_, deadline, server_.stop_);
      const std::string got = " after " + std::to_string(have) + " of " +
                              std::to_string(count) + " bytes";
      if (ready == 0) return "time-out" + got;
      if (ready == -2) return "stopped" + got;
      if (ready < 0) return "select failed" + got;
      const int received =
          ReceiveSome(current_, out->data() + have, count - have);
      if (received == 0) return "the client closed the connection" + got;
      if (received < 0) {
        return "recv failed" + got + ": " + ErrorString(LastError());
      }
      have += static_cast<std::size_t>(received);
    }
    return "";
  }

  void RecordRequest(const Bytes& bytes) override {
    std::lock_guard<std::mutex> lock(server_.mutex_);
    server_.requests_.push_back(bytes);
  }

  std::chrono::milliseconds Timeout() const override {
    return server_.options_.timeout;
  }

  // Waits for the client to end the current connection. `quietTimeout`:
  // a time-out or stop is not a failure (used after the last step).
  std::string AwaitClientClose(bool quietTimeout) {
    if (current_ == kNoSocket) {
      return quietTimeout ? "" : "no open connection to wait on";
    }
    const auto deadline = Deadline();
    for (;;) {
      const int ready = WaitReadable(current_, deadline, server_.stop_);
      if (ready == 0 || ready == -2) {
        if (quietTimeout) return "";
        return ready == 0 ? "the client did not close within the time-out"
                          : "stopped while waiting for the client to close";
      }
      if (ready < 0) return "select failed: " + ErrorString(LastError());
      std::uint8_t buffer[512];
      const int received = ReceiveSome(current_, buffer, sizeof(buffer));
      if (received > 0) {
        return "unexpected " + std::to_string(received) +
               " bytes from the client: " +
               ToHex(Bytes(buffer, buffer + received));
      }
      if (received == 0 || IsReset(LastError())) {
        std::lock_guard<std::mutex> lock(server_.mutex_);
        server_.clientClosed_ = true;
        return "";
      }
      return "recv failed: " + ErrorString(LastError());
    }
  }

  void CloseCurrent(bool reset) {
    if (current_ == kNoSocket) return;
    if (reset) {
      linger abort = {};
      abort.l_onoff = 1;
      abort.l_linger = 0;
      SetOption(current_, SOL_SOCKET, SO_LINGER, abort);
    }
    CloseSocket(current_);
    open_.erase(std::remove(open_.begin(), open_.end(), current_), open_.end());
    current_ = kNoSocket;
  }

  std::string RunStep(const Step& step) {
    switch (step.kind) {
      case Step::Kind::Receive: {
        Bytes request;
        std::string error = ReceiveExactly(step.count, &request);
        if (error.empty()) RecordRequest(request);
        return error;
      }
      case Step::Kind::Send:
        return SendAll(step.bytes);
      case Step::Kind::SendPieces:
        for (std::size_t i = 0; i < step.pieces.size(); ++i) {
          if (i != 0) PauseFor(step.pause);
          std::string error = SendAll(step.pieces[i]);
          if (!error.empty()) return error;
        }
        return "";
      case Step::Kind::Pause:
        PauseFor(step.pause);
        return "";
      case Step::Kind::Close:
        if (current_ == kNoSocket) return "no open connection to close";
        CloseCurrent(false);
        return "";
      case Step::Kind::Reset:
        if (current_ == kNoSocket) return "no open connection to reset";
        CloseCurrent(true);
        return "";
      case Step::Kind::WaitForClientClose: {
        std::string error = AwaitClientClose(false);
        if (error.empty()) CloseCurrent(false);
        return error;
      }
      case Step::Kind::Accept:
        return Accept();
      case Step::Kind::Custom:
        return step.action ? step.action(*this) : "custom step without action";
    }
    return "unknown step";
  }

 private:
  Clock::time_point Deadline() const {
    return Clock::now() + server_.options_.timeout;
  }

  // A pause of the script, cut short when the server is stopped.
  void PauseFor(std::chrono::milliseconds pause) {
    const auto until = Clock::now() + pause;
    while (!server_.stop_ && Clock::now() < until) {
      std::this_thread::sleep_for(
          std::min<Clock::duration>(kSlice, until - Clock::now()));
    }
  }

  FakeModbusServer& server_;
  Socket current_ = kNoSocket;
  std::vector<Socket> open_;
};

FakeModbusServer::FakeModbusServer(std::string address,
                                   std::vector<Step> script)
    : FakeModbusServer(std::move(address), std::move(script), Options()) {}

FakeModbusServer::FakeModbusServer(std::string address,
                                   std::vector<Step> script, Options options)
    : address_(std::move(address)),
      options_(options),
      script_(std::move(script)),
      listener_(kNoSocket) {
  const std::string where = address_ + ":" + std::to_string(options_.port);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(options_.port);
  if (inet_pton(AF_INET, address_.c_str(), &local.sin_addr) != 1) {
    bindError_ = "not an IPv4 address: " + address_;
    return;
  }
#ifdef _WIN32
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) {
    bindError_ = "socket failed: " + ErrorString(LastError());
    return;
  }
#else
  const int listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener < 0) {
    bindError_ = "socket failed: " + ErrorString(LastError());
    return;
  }
#endif
  listener_ = static_cast<Socket>(listener);
  // Connections of earlier tests on the same address may linger in
  // TIME_WAIT; they must not stop this server from listening.
  const int reuse = 1;
  SetOption(listener_, SOL_SOCKET, SO_REUSEADDR, reuse);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&local),
           sizeof(local)) != 0) {
    const int error = LastError();
    bindError_ = "cannot bind " + where + ": " + ErrorString(error);
    if (options_.port != 0 && options_.port < 1024) {
      bindError_ += " (port " + std::to_string(options_.port) +
                    " needs root or a private network namespace: unshare -rn)";
    }
    CloseSocket(listener_);
    listener_ = kNoSocket;
    return;
  }
  if (listen(listener, options_.backlog) != 0) {
    bindError_ = "cannot listen on " + where + ": " + ErrorString(LastError());
    CloseSocket(listener_);
    listener_ = kNoSocket;
    return;
  }
  // The port the system gave (or the one asked for), for the client.
  sockaddr_in bound = {};
#ifdef _WIN32
  int boundLength = sizeof(bound);
#else
  socklen_t boundLength = sizeof(bound);
#endif
  if (getsockname(listener, reinterpret_cast<sockaddr*>(&bound),
                  &boundLength) != 0) {
    bindError_ =
        "cannot read the port of " + where + ": " + ErrorString(LastError());
    CloseSocket(listener_);
    listener_ = kNoSocket;
    return;
  }
  port_ = ntohs(bound.sin_port);
  listening_ = true;
  if (!script_.empty()) thread_ = std::thread([this] { Run(); });
}

FakeModbusServer::~FakeModbusServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  CloseSocket(listener_);
}

void FakeModbusServer::Run() {
  ConnectionImpl connection(*this);
  std::string error = connection.Accept();
  if (!error.empty()) {
    Fail("first connection: " + error);
  } else {
    for (std::size_t i = 0; i < script_.size(); ++i) {
      error = connection.RunStep(script_[i]);
      if (!error.empty()) {
        Fail("step " + std::to_string(i + 1) + " " + StepName(script_[i]) +
             ": " + error);
        break;
      }
    }
    if (error.empty()) {
      error = connection.AwaitClientClose(true);
      if (!error.empty()) Fail("after the last step: " + error);
    }
  }
  // A client that connects now is refused rather than left waiting in the
  // backlog of a server that no longer answers.
  CloseSocket(listener_);
  listener_ = kNoSocket;
  // `connection` closes what is still open, which ends a client that is
  // blocked waiting for an answer.
}

void FakeModbusServer::Fail(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!failures_.empty()) failures_ += '\n';
  failures_ += message;
}

std::string FakeModbusServer::Join() {
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  return failures_;
}

std::vector<Bytes> FakeModbusServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

bool FakeModbusServer::ClientClosed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clientClosed_;
}

int FakeModbusServer::Connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

}  // namespace testsupport
