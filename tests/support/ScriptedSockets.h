// An in-memory stand-in for the socket calls below the transport, for the
// gathering tests and the exchange fuzzer: no system call is made. The
// script says what the peer answers to each request (answer k arrives once
// the k-th send has been made), how the receives cut it, how the stream
// ends, and how the send and readiness checks answer. It records whether a
// receive ever handed out bytes that arrived before the latest request: no
// answer may be made of those.
//
//   scripted::ScriptedSockets sockets(script);
//   tcpmodbus::CTCPModbus module(sockets);
#ifndef TCPMODBUS_TESTS_SUPPORT_SCRIPTEDSOCKETS_H_
#define TCPMODBUS_TESTS_SUPPORT_SCRIPTEDSOCKETS_H_

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "transport/SocketCalls.h"

namespace scripted {

using Bytes = std::vector<std::uint8_t>;

struct Script {
  // What the peer sends after each request, in order; nothing after the
  // last one.
  std::vector<Bytes> answers;
  // How many bytes at the end of each answer arrive only after the next
  // request has been sent (a device that stalls in the middle of a frame);
  // missing entries are 0.
  std::vector<std::size_t> late;
  // Sizes of the successive receives; when they run out, each receive takes
  // all that has arrived (up to the caller's capacity). 0 is read as 1.
  std::vector<std::size_t> chunks;
  // Once the last answer is used up: true gives a failed receive (a reset),
  // false an orderly close. Before that, a peer with nothing more to say
  // before the next request is silent: waits for input time out.
  bool failAtEnd = false;
  // The n-th send (counting from 0) accepts only part of the bytes; -1 never.
  int shortSendAt = -1;
  // The n-th readiness check (counting from 0) times out; -1 never.
  int notReadyAt = -1;
  // How many bytes of each answer, before its late end, arrive while the
  // client is idle: after its exchange gave up waiting, before the readiness
  // check of the next send; missing entries are 0.
  std::vector<std::size_t> idle;
  // The peer closes the connection once answer n (counting from 0) has been
  // read, while idle; -1 never. A new connection (a reconnect) serves the
  // answers after it. Closing or opening a connection drops what the old
  // one held.
  int closeAfter = -1;
  // That close is a reset: the next readiness check sees the connection
  // failed.
  bool resetIdle = false;
  // What name lookups answer: each name's addresses, in the order the
  // answer lists them (a lookup gives the first); any other name has no
  // answer (HOST_NOT_FOUND, 1).
  std::map<std::string, std::vector<std::array<std::uint8_t, 4>>> names;
  // This machine's host name; empty: fetching it fails (error 22).
  std::string localHostName = "scripted-host";
};

class ScriptedSockets final : public tcpmodbus::SocketCalls {
 public:
  explicit ScriptedSockets(Script script);

  // Sends made so far: the answer of the latest request is answers[Sends()-1].
  int Sends() const { return sends_; }
  // Whether a receive handed out bytes of an answer to an earlier request.
  bool ReceivedStaleBytes() const { return stale_; }
  // Handles opened and not yet closed.
  int OpenHandles() const { return openHandles_; }
  // The names looked up so far, in order.
  const std::vector<std::string>& LookedUp() const { return lookedUp_; }
  // The socket options set so far, in order: "nodelay on after N sends",
  // "nodelay off after N sends", "quickack after N sends" (one for the
  // calls between two sends).
  const std::vector<std::string>& OptionsSet() const { return options_; }

  tcpmodbus::IoResult OpenTcpSocket(SocketHandle* handle) override;
  tcpmodbus::IoResult BindSocket(SocketHandle socket,
                                 const Ipv4SocketAddress& local) override;
  tcpmodbus::IoResult ConnectSocket(
      SocketHandle socket, const Ipv4SocketAddress& server, unsigned timeoutMs,
      const tcpmodbus::platform::CancelFlag* cancel) override;
  tcpmodbus::IoResult WaitWritable(SocketHandle socket, unsigned seconds,
                                   tcpmodbus::platform::StreamState* state) override;
  tcpmodbus::IoResult WaitReadable(
      SocketHandle socket, int milliseconds,
      const tcpmodbus::platform::CancelFlag* cancel) override;
  tcpmodbus::IoResult SendBytes(SocketHandle socket, const void* bytes,
                                int count) override;
  tcpmodbus::IoResult ReceiveBytes(SocketHandle socket, void* buffer,
                                   int capacity) override;
  tcpmodbus::IoResult ReceiveWaiting(SocketHandle socket, void* buffer,
                                     int capacity) override;
  tcpmodbus::IoResult CloseSocketHandle(SocketHandle socket) override;
  tcpmodbus::IoResult AbortSocketHandle(SocketHandle socket) override;
  tcpmodbus::IoResult SetNoDelay(SocketHandle socket, bool on) override;
  tcpmodbus::IoResult AcknowledgeAtOnce(SocketHandle socket) override;
  tcpmodbus::IoResult GetLocalHostName(char* buffer, std::size_t size) override;
  tcpmodbus::IoResult LookupHostName(const char* name,
                                     HostAddress* result) override;
  tcpmodbus::IoResult LookupHostAddress(const std::uint8_t address[4],
                                        HostAddress* result) override;
  tcpmodbus::IoResult ParseIpv4(const char* text,
                                std::uint8_t address[4]) override;
  // Name look-up on is not scripted: each of these fails.
  using IoResult = tcpmodbus::IoResult;
  IoResult LookUpAddresses(const char*, std::uint16_t,
                           tcpmodbus::platform::AddressList*) override {
    return IoResult::Failed(EAFNOSUPPORT);
  }
  IoResult OpenStreamSocket(tcpmodbus::platform::Family,
                            SocketHandle*) override {
    return IoResult::Failed(EAFNOSUPPORT);
  }
  IoResult BindAddress(SocketHandle,
                       const tcpmodbus::platform::SocketAddress&) override {
    return IoResult::Failed(EAFNOSUPPORT);
  }
  IoResult ConnectAddress(SocketHandle,
                          const tcpmodbus::platform::SocketAddress&, unsigned,
                          const tcpmodbus::platform::CancelFlag*) override {
    return IoResult::Failed(EAFNOSUPPORT);
  }

 private:
  // A byte that has arrived, with the index of the request it answers.
  struct Arrived {
    std::uint8_t byte;
    int answer;
  };

  std::size_t Waiting() const { return arrived_.size() - readPosition_; }
  // The peer closed this connection after the answer of closeAfter.
  bool ClosedByPeer() const;
  // Nothing is waiting and nothing more will come: the peer has ended.
  bool Ended() const;
  bool Known(SocketHandle socket) const;
  // Hands out up to `capacity` waiting bytes, as the script cuts them.
  int Take(void* buffer, int capacity);

  Script script_;
  std::vector<Arrived> arrived_;
  // The late end of the latest answer, which arrives with the next send,
  // and the part of it that arrives before that send's readiness check.
  std::vector<Arrived> held_;
  std::vector<Arrived> idle_;
  std::size_t readPosition_ = 0;
  std::size_t chunkIndex_ = 0;
  int sends_ = 0;
  int readinessChecks_ = 0;
  int openHandles_ = 0;
  bool stale_ = false;
  bool reconnected_ = false;
  std::vector<std::string> lookedUp_;
  std::vector<std::string> options_;
};

}  // namespace scripted

#endif  // TCPMODBUS_TESTS_SUPPORT_SCRIPTEDSOCKETS_H_
