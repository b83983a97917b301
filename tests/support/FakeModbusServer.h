// A scripted Modbus/TCP server that runs inside a test.
//
// The constructor binds and listens on the given address (on a port of the
// system's choosing by default, which Port() gives) before it returns, so the
// client under test can connect at once;
// a thread then accepts the first connection and runs the script on it, step
// by step. Every wait is bounded (Options::timeout), so a script that does
// not match what the client does fails with a message instead of hanging;
// on a failure the server closes its sockets, which also ends a client that
// is blocked waiting for an answer.
//
//   FakeModbusServer server("127.0.0.1", {
//       Step::Receive(12),
//       Step::Send({0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x01, 0x03, 0x02,
//                   0x00, 0x2a}),
//       Step::WaitForClientClose(),
//   });
//   SKIP_UNLESS_LISTENING(server);  // from SkipUnlessListening.h
//   ... drive a client set to server.Port() ...
//   EXPECT_EQ(server.Join(), "");
//   EXPECT_EQ(server.Requests()[0], Bytes({...}));
//
// Portable: POSIX sockets, or Winsock 2 on Windows (the test main starts
// Winsock there).
#ifndef TCPMODBUS_TESTS_SUPPORT_FAKEMODBUSSERVER_H_
#define TCPMODBUS_TESTS_SUPPORT_FAKEMODBUSSERVER_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// Hex text of bytes, "00 06 01 03", for readable failure messages.
std::string ToHex(const Bytes& bytes);

class ScriptConnection;

// One step of a script. Build steps with the static functions; a step the
// list lacks can be written as a Custom step.
struct Step {
  enum class Kind {
    Receive,             // read exactly `count` bytes, recorded as a request
    Send,                // send `bytes` in one call
    SendPieces,          // send each of `pieces` in turn, `pause` in between
    Pause,               // wait `pause` (e.g. a server that is slow to answer)
    Close,               // orderly close of the current connection
    Reset,               // SO_LINGER 0, then close: the peer sees a reset
    WaitForClientClose,  // wait until the client ends the connection
    Accept,              // accept a further connection; it becomes current
    Custom,              // run `action`
  };

  explicit Step(Kind stepKind) : kind(stepKind) {}

  Kind kind;
  std::size_t count = 0;
  Bytes bytes;
  std::vector<Bytes> pieces;
  std::chrono::milliseconds pause{0};
  std::string name;
  // For Custom steps: returns "" on success, or what went wrong.
  std::function<std::string(ScriptConnection&)> action;

  static Step Receive(std::size_t count);
  static Step Send(Bytes bytes);
  static Step SendPieces(std::vector<Bytes> pieces,
                         std::chrono::milliseconds pause);
  // `bytes` cut at the given offsets (ascending, each inside the frame) and
  // sent as pieces with `pause` in between.
  static Step SendSplit(const Bytes& bytes, std::vector<std::size_t> cuts,
                        std::chrono::milliseconds pause);
  static Step Pause(std::chrono::milliseconds pause);
  static Step Close();
  static Step Reset();
  static Step WaitForClientClose();
  static Step Accept();
  static Step Custom(std::string name,
                     std::function<std::string(ScriptConnection&)> action);
};

// What a Custom step sees: the current connection, with bounded helpers.
class ScriptConnection {
 public:
  virtual ~ScriptConnection() = default;
  // Sends all of `bytes`; "" or the reason it failed.
  virtual std::string SendAll(const Bytes& bytes) = 0;
  // Reads exactly `count` bytes within the time-out into `out`; "" or why not.
  virtual std::string ReceiveExactly(std::size_t count, Bytes* out) = 0;
  // Records `bytes` as a request seen by the server.
  virtual void RecordRequest(const Bytes& bytes) = 0;
  virtual std::chrono::milliseconds Timeout() const = 0;
};

class FakeModbusServer {
 public:
  struct Options {
    // 0: a free port of the system's choosing (see Port()). The tests of
    // the default port ask for 502, which needs root or a private network
    // namespace and can be bound once per address.
    std::uint16_t port = 0;
    // Connections the system may queue before the script accepts; with 0 a
    // second connection waits for a place that never comes.
    int backlog = 8;
    // Longest wait of any one step (accept, receive, wait for close).
    std::chrono::milliseconds timeout{5000};
  };

  // Binds and listens on address:port, then starts the script thread. With
  // an empty script no connection is accepted: the server only holds the
  // address (e.g. to make a client's bind fail).
  FakeModbusServer(std::string address, std::vector<Step> script);
  FakeModbusServer(std::string address, std::vector<Step> script,
                   Options options);
  FakeModbusServer(const FakeModbusServer&) = delete;
  FakeModbusServer& operator=(const FakeModbusServer&) = delete;
  // Stops the script (steps still waiting give up at once) and joins.
  ~FakeModbusServer();

  // Whether bind and listen worked; if not, BindError() says why (e.g. port
  // 502 needs root) and the script does not run.
  bool Listening() const { return listening_; }
  const std::string& BindError() const { return bindError_; }
  const std::string& Address() const { return address_; }
  // The port it listens on; 0 when it does not listen.
  std::uint16_t Port() const { return port_; }

  // Waits for the script to end and returns its failures, one per line, or
  // "" when every step did what it should. After the last step the server
  // keeps the connection open until the client closes it (bytes arriving
  // then are a failure) or the time-out passes. Safe to call twice.
  std::string Join();

  // Every request that a Receive step took, in order.
  std::vector<Bytes> Requests() const;
  // Whether the server saw the client end a connection (orderly close or
  // reset) during WaitForClientClose or after the last step.
  bool ClientClosed() const;
  // Connections accepted so far.
  int Connections() const;

 private:
  void Run();
  void Fail(const std::string& message);

  std::string address_;
  Options options_;
  std::vector<Step> script_;
  bool listening_ = false;
  std::uint16_t port_ = 0;
  std::string bindError_;
  std::uintptr_t listener_;

  mutable std::mutex mutex_;
  std::vector<Bytes> requests_;
  std::string failures_;
  bool clientClosed_ = false;
  int connections_ = 0;

  std::atomic<bool> stop_{false};
  std::thread thread_;
  friend class ConnectionImpl;
};

}  // namespace testsupport

#endif  // TCPMODBUS_TESTS_SUPPORT_FAKEMODBUSSERVER_H_
