// Interoperability with Modbus/TCP servers we did not write: our simulated
// module (libmodbus), a bare modbus_reply server (libmodbus) and the pymodbus
// server. Each test starts its server on an address of its own, waits for
// the server's "listening on" line, and stops it by its process id.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tcpmodbus/TCPModbusIntf.h"

namespace {

constexpr int kRegisters = 200;
constexpr unsigned short kModule = 4;

// Whether this process may bind port 502 (root, or a private network
// namespace). False only for a refusal by permission; an address already in
// use is a fault of the test run and shows when the server starts.
bool MayBindPort502(const std::string& address, std::string* why) {
  const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(502);
  ::inet_pton(AF_INET, address.c_str(), &local.sin_addr);
  const int one = 1;
  ::setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  const bool refused =
      ::bind(probe, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 &&
      (errno == EACCES || errno == EPERM);
  if (refused) *why = std::strerror(errno);
  ::close(probe);
  return !refused;
}

// A server program run as a child process. Its standard error is read until
// the ready line; it is stopped with SIGTERM to its own process id.
class ServerProcess {
 public:
  explicit ServerProcess(std::vector<std::string> arguments)
      : arguments_(std::move(arguments)) {}
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  ~ServerProcess() { Stop(); }

  // Starts the program and waits (at most `limit`) for "listening on" on
  // its standard error. "" when it is ready, else what went wrong.
  std::string Start(std::chrono::milliseconds limit) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return "pipe failed";
    std::vector<char*> argv;
    for (std::string& argument : arguments_) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      // The server ends with this test process, even when the test dies.
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent) ::_exit(126);
      const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
      ::dup2(null, 1);
      ::dup2(pipeEnds[1], 2);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(pipeEnds[1]);
    if (pid_ < 0) {
      ::close(pipeEnds[0]);
      return std::string("fork failed: ") + std::strerror(errno);
    }
    output_ = pipeEnds[0];

    std::string seen;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (seen.find("listening on") == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "no ready line in time; it said: " + seen;
      pollfd entry = {output_, POLLIN, 0};
      if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[512];
      const ssize_t got = ::read(output_, buffer, sizeof(buffer));
      if (got <= 0) return "it ended before it was ready; it said: " + seen;
      seen.append(buffer, static_cast<std::size_t>(got));
    }
    return "";
  }

  // SIGTERM to the child's own process id, then reaps it. The exit status,
  // or -1 when it was not running.
  int Stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (output_ >= 0) ::close(output_);
    output_ = -1;
    return status;
  }

 private:
  std::vector<std::string> arguments_;
  pid_t pid_ = -1;
  int output_ = -1;
};

struct Peer {
  const char* name;
  // Third byte of this peer's addresses: 127.0.<block>.<test>.
  int block;
  // The command line, given the address to listen on.
  std::vector<std::string> (*command)(const std::string& address);
  // Input register i reads as i plus a tick that moves (the simulated
  // module), or as 1000 + i.
  bool movingInputs;
  // What a write of 124 registers (a 261-byte request) meets.
  enum class Write124 { Taken, Exception3, Closed } write124;
};

// Test names and messages show the peer by its name.
void PrintTo(const Peer& peer, std::ostream* out) { *out << peer.name; }

std::vector<std::string> SimulatorCommand(const std::string& address) {
  return {TCPMODBUS_SIM_PATH,
          "--address",
          address,
          "--port",
          "502",
          "--registers",
          std::to_string(kRegisters),
          "--quiet"};
}

std::vector<std::string> ReplyServerCommand(const std::string& address) {
  return {TCPMODBUS_REPLY_SERVER_PATH, address, "502",
          std::to_string(kRegisters)};
}

std::vector<std::string> PymodbusCommand(const std::string& address) {
  return {TCPMODBUS_PYTHON, TCPMODBUS_PYMODBUS_SERVER, address, "502",
          std::to_string(kRegisters)};
}

const Peer kPeers[] = {
    {"SimulatedModule", 20, SimulatorCommand, true, Peer::Write124::Taken},
    // libmodbus refuses any request longer than 260 bytes before
    // modbus_reply sees it; the server then drops the connection.
    {"LibmodbusReply", 21, ReplyServerCommand, false, Peer::Write124::Closed},
    // pymodbus answers the standard's limit of 123 registers per write.
    {"Pymodbus", 22, PymodbusCommand, false, Peer::Write124::Exception3},
};

// Runs `call` with the library's trace dropped.
template <typename Call>
int Quietly(Call call) {
  testing::internal::CaptureStdout();
  const int result = call();
  testing::internal::GetCapturedStdout();
  return result;
}

class InteropTest : public testing::TestWithParam<Peer> {
 protected:
  // Starts the peer on 127.0.<block>.<test> and connects a client to it.
  void StartAndConnect(int test) {
    const Peer& peer = GetParam();
    address_ =
        "127.0." + std::to_string(peer.block) + "." + std::to_string(test);
    std::string why;
    if (!MayBindPort502(address_, &why)) {
      skip_ =
          "port 502 is out of reach (needs root or a private network namespace): " +
          why;
      return;
    }
    server_.reset(new ServerProcess(peer.command(address_)));
    const std::string error = server_->Start(std::chrono::seconds(20));
    ASSERT_EQ(error, "") << peer.name;
    client_.reset(TCPModbusIntf::GetInstance());
    ASSERT_EQ(Quietly([&] {
                return client_->Initialize(kModule, address_, 0, address_);
              }),
              1)
        << client_->LastErrorString();
  }

  void TearDown() override {
    client_.reset();
    if (server_) {
      EXPECT_EQ(server_->Stop(), 0) << "exit status of the server";
    }
  }

  int ReadHolding(unsigned short start, std::vector<std::uint16_t>* values) {
    return Quietly([&] {
      return client_->ReadHoldRegs(start, values->data(),
                                   static_cast<unsigned short>(values->size()));
    });
  }
  int WriteSeveral(unsigned short start, std::vector<std::uint16_t> values) {
    return Quietly([&] {
      return client_->WriteMultiHoldRegs(
          start, values.data(), static_cast<unsigned short>(values.size()));
    });
  }

  std::string address_;
  std::string skip_;
  std::unique_ptr<ServerProcess> server_;
  std::unique_ptr<TCPModbusIntf> client_;
};

#define START_OR_SKIP(test)        \
  do {                             \
    StartAndConnect(test);         \
    if (HasFatalFailure()) return; \
    if (!skip_.empty()) {          \
      GTEST_SKIP() << skip_;       \
    }                              \
  } while (0)

std::vector<std::uint16_t> Pattern(std::size_t count, std::uint16_t seed) {
  std::vector<std::uint16_t> values(count);
  for (std::size_t i = 0; i < count; ++i) {
    values[i] = static_cast<std::uint16_t>(seed + 0x0101 * i);
  }
  return values;
}

TEST_P(InteropTest, AllFourOperationsWithValuesReadBack) {
  START_OR_SKIP(1);
  unsigned short single = 0xbeef;
  EXPECT_EQ(Quietly([&] { return client_->WriteSingleHoldReg(5, single); }), 1)
      << client_->LastErrorString();
  std::vector<std::uint16_t> one = {0};
  EXPECT_EQ(ReadHolding(5, &one), 1) << client_->LastErrorString();
  EXPECT_EQ(one[0], 0xbeef);

  const std::vector<std::uint16_t> written = {1, 0x8000, 0xffff, 42};
  EXPECT_EQ(WriteSeveral(10, written), 1) << client_->LastErrorString();
  std::vector<std::uint16_t> back(4);
  EXPECT_EQ(ReadHolding(10, &back), 1) << client_->LastErrorString();
  EXPECT_EQ(back, written);

  std::vector<std::uint16_t> inputs(4);
  EXPECT_EQ(
      Quietly([&] { return client_->ReadInputRegs(20, inputs.data(), 4); }), 1)
      << client_->LastErrorString();
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    SCOPED_TRACE("input register " + std::to_string(20 + i));
    if (GetParam().movingInputs) {
      EXPECT_EQ(inputs[i] - inputs[0], static_cast<int>(i));
    } else {
      EXPECT_EQ(inputs[i], 1020 + i);
    }
  }
  EXPECT_STREQ(client_->LastErrorString(), "");
}

TEST_P(InteropTest, AddressPastTheTableGivesException2) {
  START_OR_SKIP(2);
  std::vector<std::uint16_t> values = {0x5555, 0x6666};
  unsigned short single = 1;
  struct Row {
    const char* name;
    std::function<int()> call;
  };
  const std::vector<Row> rows = {
      {"CMBusTCP::MbReadHoldingRegs",
       [&] { return client_->ReadHoldRegs(kRegisters, values.data(), 1); }},
      {"CMBusTCP::MbReadInputRegs",
       [&] { return client_->ReadInputRegs(kRegisters, values.data(), 1); }},
      {"CMBusTCP::MbPresetSingleReg",
       [&] { return client_->WriteSingleHoldReg(kRegisters, single); }},
      {"CMBusTCP::MbPresetMultipleRegs",
       [&] {
         return client_->WriteMultiHoldRegs(kRegisters - 1, values.data(), 2);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Quietly(row.call), 0);
    EXPECT_EQ(
        client_->LastErrorString(),
        std::string(row.name) +
            ": MODBUS exception response on DIO Module 4 - Code=2, \"Unallowable or invalid data address received in the query for the slave\"");
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0x5555, 0x6666}));
  }
}

TEST_P(InteropTest, LargestReadOf125Registers) {
  START_OR_SKIP(3);
  const std::vector<std::uint16_t> written = Pattern(125, 0x1001);
  // 123 registers is the largest write every peer takes.
  ASSERT_EQ(WriteSeveral(0, std::vector<std::uint16_t>(written.begin(),
                                                       written.begin() + 123)),
            1)
      << client_->LastErrorString();
  ASSERT_EQ(WriteSeveral(123, {written[123], written[124]}), 1)
      << client_->LastErrorString();
  std::vector<std::uint16_t> back(125);
  EXPECT_EQ(ReadHolding(0, &back), 1) << client_->LastErrorString();
  EXPECT_EQ(back, written);

  std::vector<std::uint16_t> inputs(125);
  EXPECT_EQ(
      Quietly([&] { return client_->ReadInputRegs(0, inputs.data(), 125); }), 1)
      << client_->LastErrorString();
  EXPECT_EQ(inputs[124] - inputs[0], 124);
}

TEST_P(InteropTest, LargestWriteOf124Registers) {
  START_OR_SKIP(4);
  const std::vector<std::uint16_t> written = Pattern(124, 0x2002);
  const int result = WriteSeveral(50, written);
  std::vector<std::uint16_t> back(124);
  switch (GetParam().write124) {
    case Peer::Write124::Taken:
      EXPECT_EQ(result, 1) << client_->LastErrorString();
      EXPECT_EQ(ReadHolding(50, &back), 1) << client_->LastErrorString();
      EXPECT_EQ(back, written);
      return;
    case Peer::Write124::Exception3:
      EXPECT_EQ(result, 0);
      EXPECT_STREQ(
          client_->LastErrorString(),
          "CMBusTCP::MbPresetMultipleRegs: MODBUS exception response on DIO Module 4 - Code=3, \"Unallowable or invalid value contained in the query data field for the slave\"");
      break;
    case Peer::Write124::Closed:
      EXPECT_EQ(result, 0);
      EXPECT_STREQ(
          client_->LastErrorString(),
          "CMBusTCP::MbPresetMultipleRegs: Unexpected close of connection on DIO Module 4");
      ASSERT_EQ(Quietly([&] {
                  return client_->Initialize(kModule, address_, 0, address_);
                }),
                1)
          << client_->LastErrorString();
      break;
  }
  // Nothing of the refused write was stored.
  EXPECT_EQ(ReadHolding(50, &back), 1) << client_->LastErrorString();
  EXPECT_EQ(back, std::vector<std::uint16_t>(124, 0));
}

INSTANTIATE_TEST_SUITE_P(Peers, InteropTest, testing::ValuesIn(kPeers),
                         [](const testing::TestParamInfo<Peer>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
