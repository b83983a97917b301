// A server program run as a child process by a test (the simulated module,
// the bare libmodbus server, the pymodbus server), on an address of its own,
// port 502. It is ready once its standard error says "listening on
// ADDRESS:502"; it is stopped by its own process id and ends with the test
// process even when the test dies. POSIX only.
//
//   ServerProcess server;
//   START_SERVER_OR_SKIP(server, "127.0.51.1", {TCPMODBUS_SIM_PATH, ...});
//   ... drive a client ...
//   EXPECT_EQ(server.Stop(), 0) << server.Log();
#ifndef TCPMODBUS_TESTS_SUPPORT_SERVERPROCESS_H_
#define TCPMODBUS_TESTS_SUPPORT_SERVERPROCESS_H_

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// "" when this process may bind `address`:502 (root, or a private network
// namespace), otherwise why not. Only a refusal by permission counts: an
// address already in use is a fault of the test run and shows when the
// server starts.
std::string WhyPort502IsOutOfReach(const std::string& address);

class ServerProcess {
 public:
  ServerProcess() = default;
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  // Kills a server that is still running.
  ~ServerProcess();

  // Runs `command` (the program's path first) and waits at most `limit` for
  // "listening on `address`:502" on its standard error: "" when it is
  // ready, else what went wrong and what it said.
  std::string Start(const std::string& address,
                    std::vector<std::string> command,
                    std::chrono::milliseconds limit = std::chrono::seconds(20));
  // Sends `signal` and reaps the server: its exit status, or -1 when it did
  // not exit normally or was not running.
  int Stop(int signal = SIGTERM);
  bool Running() const { return pid_ > 0; }
  // Everything it wrote to standard error so far.
  std::string Log();

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::mutex mutex_;
  std::string log_;
  std::thread drain_;
};

}  // namespace testsupport

// Starts `server` (a ServerProcess) on `address`, or skips the test when
// port 502 is out of reach; fails it when the server does not start.
#define START_SERVER_OR_SKIP(server, address, ...)                            \
  do {                                                                        \
    const std::string whyNot_ = testsupport::WhyPort502IsOutOfReach(address); \
    if (!whyNot_.empty()) GTEST_SKIP() << whyNot_;                            \
    ASSERT_EQ((server).Start((address), __VA_ARGS__), "");                    \
  } while (0)

#endif  // TCPMODBUS_TESTS_SUPPORT_SERVERPROCESS_H_
