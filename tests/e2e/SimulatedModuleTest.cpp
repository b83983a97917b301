// End to end: the library's four register operations against the simulated
// DIO module (tcpmodbus-sim, a libmodbus server started as a child process).
//
// Each test starts its own module on its own loopback address, port 502,
// waits for its "listening on" line on a pipe, and stops it by process id at
// the end, expecting a clean exit.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <tcpmodbus/TCPModbusIntf.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kReadyTimeoutMs = 10000;

// "" when this process may bind `address`:502, otherwise why not.
std::string CannotBindPort502(const std::string& address) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::string("socket: ") + std::strerror(errno);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(502);
  inet_pton(AF_INET, address.c_str(), &local.sin_addr);
  const int bound =
      bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof(local));
  const int error = errno;
  close(fd);
  if (bound == 0 || error == EADDRINUSE) return "";
  return "cannot bind " + address + ":502 (" + std::strerror(error) +
         "): run as root or in a private network namespace (unshare -rn)";
}

// The simulator as a child process; its stderr is read on a pipe.
class SimulatedModule {
 public:
  explicit SimulatedModule(std::string address,
                           std::vector<std::string> extra = {})
      : address_(std::move(address)) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      error_ = std::string("pipe2: ") + std::strerror(errno);
      return;
    }
    std::vector<std::string> args = {TCPMODBUS_SIM_PATH, "--address", address_};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], STDERR_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
      error_ = std::string("fork: ") + std::strerror(errno);
      close(fds[0]);
      return;
    }
    output_ = fds[0];
    WaitUntilListening();
  }

  ~SimulatedModule() { Stop(SIGKILL); }

  // "" once the module listens; otherwise what it said instead.
  const std::string& Error() const { return error_; }

  // Sends `signal` and waits; returns the exit status, or -1 when the module
  // did not exit normally.
  int Stop(int signal = SIGTERM) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    if (drain_.joinable()) drain_.join();
    if (output_ >= 0) close(output_);
    output_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Everything the module wrote to stderr so far.
  std::string Log() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }

 private:
  void WaitUntilListening() {
    const std::string ready = "listening on " + address_ + ":502";
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(kReadyTimeoutMs);
    while (log_.find(ready) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd wait{output_, POLLIN, 0};
      if (left.count() <= 0 ||
          poll(&wait, 1, static_cast<int>(left.count())) <= 0) {
        error_ = "no listening line in time; module said: " + log_;
        return;
      }
      char chunk[512];
      const ssize_t got = read(output_, chunk, sizeof(chunk));
      if (got <= 0) {
        error_ = "module ended before listening; it said: " + log_;
        return;
      }
      log_.append(chunk, static_cast<std::size_t>(got));
    }
    // Keep reading so that the module never blocks on a full pipe.
    drain_ = std::thread([this] {
      char chunk[512];
      ssize_t got;
      while ((got = read(output_, chunk, sizeof(chunk))) > 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        log_.append(chunk, static_cast<std::size_t>(got));
      }
    });
  }

  std::string address_;
  pid_t pid_ = -1;
  int output_ = -1;
  std::string error_;
  std::mutex mutex_;
  std::string log_;
  std::thread drain_;
};

using Module = std::unique_ptr<TCPModbusIntf>;

Module Connect(const std::string& address, unsigned short moduleId = 1) {
  Module module(TCPModbusIntf::GetInstance());
  EXPECT_EQ(module->Initialize(moduleId, address, 0, address), 1)
      << module->LastErrorString();
  return module;
}

std::vector<unsigned short> Sequence(unsigned short first, std::size_t count) {
  std::vector<unsigned short> values(count);
  for (std::size_t i = 0; i < count; ++i) {
    values[i] = static_cast<unsigned short>(first + 0x0101 * i);
  }
  return values;
}

// Runs StartModule(...) and skips the test when port 502 is out of reach.
#define START_MODULE_OR_SKIP(start)              \
  do {                                           \
    const std::string whyNot = (start);          \
    if (!whyNot.empty()) GTEST_SKIP() << whyNot; \
    ASSERT_EQ(sim_->Error(), "");                \
  } while (0)

class SimulatedModuleTest : public testing::Test {
 protected:
  // "" once a module runs on `address`; otherwise why it cannot.
  std::string StartModule(const std::string& address,
                          std::vector<std::string> extra = {}) {
    const std::string why = CannotBindPort502(address);
    if (why.empty()) sim_.reset(new SimulatedModule(address, std::move(extra)));
    return why;
  }

  void TearDown() override {
    if (sim_) {
      EXPECT_EQ(sim_->Stop(), 0) << "module log:\n" << sim_->Log();
    }
  }

  std::unique_ptr<SimulatedModule> sim_;
};

TEST_F(SimulatedModuleTest, WriteSingleRegisterReadsBack) {
  START_MODULE_OR_SKIP(StartModule("127.0.51.1"));
  Module module = Connect("127.0.51.1");
  for (unsigned short value : {0x1234, 0x0000, 0x8000, 0xffff}) {
    SCOPED_TRACE(value);
    unsigned short written = value;
    ASSERT_EQ(module->WriteSingleHoldReg(100, written), 1)
        << module->LastErrorString();
    unsigned short read = 0x5a5a;
    ASSERT_EQ(module->ReadHoldRegs(100, &read, 1), 1)
        << module->LastErrorString();
    EXPECT_EQ(read, value);
  }
}

TEST_F(SimulatedModuleTest, WriteMultipleRegistersReadBack) {
  START_MODULE_OR_SKIP(StartModule("127.0.51.2"));
  Module module = Connect("127.0.51.2");
  std::vector<unsigned short> values = {1, 0x0203, 40000, 0xffff, 0};
  ASSERT_EQ(module->WriteMultiHoldRegs(500, values.data(), 5), 1)
      << module->LastErrorString();
  // One register more on each side: the write touched only its five.
  std::vector<unsigned short> read(7, 0x5a5a);
  ASSERT_EQ(module->ReadHoldRegs(499, read.data(), 7), 1)
      << module->LastErrorString();
  EXPECT_EQ(read,
            (std::vector<unsigned short>{0, 1, 0x0203, 40000, 0xffff, 0, 0}));
}

TEST_F(SimulatedModuleTest, InputRegistersMoveBetweenReads) {
  START_MODULE_OR_SKIP(StartModule("127.0.51.3"));
  Module module = Connect("127.0.51.3");
  std::vector<unsigned short> first(3), second(3);
  ASSERT_EQ(module->ReadInputRegs(10, first.data(), 3), 1)
      << module->LastErrorString();
  ASSERT_EQ(module->ReadInputRegs(10, second.data(), 3), 1)
      << module->LastErrorString();
  // The module shows address + tick, the tick counting requests.
  EXPECT_EQ(first[1], first[0] + 1);
  EXPECT_EQ(first[2], first[0] + 1 + 1);
  EXPECT_EQ(second[0], first[0] + 1);
}

TEST_F(SimulatedModuleTest, AddressesPastTheTablesAnswerException2) {
  START_MODULE_OR_SKIP(StartModule("127.0.51.4"));
  Module module = Connect("127.0.51.4");
  unsigned short values[2] = {7, 8};
  struct Row {
    const char* operation;
    std::function<int()> call;
    const char* error;
  };
  const std::vector<Row> rows = {
      {"read holding", [&] { return module->ReadHoldRegs(999, values, 2); },
       "CMBusTCP::MbReadHoldingRegs: MODBUS exception response on DIO Module 1 - Code=2, \"Unallowable or invalid data address received in the query for the slave\""},
      {"read input", [&] { return module->ReadInputRegs(1000, values, 1); },
       "CMBusTCP::MbReadInputRegs: MODBUS exception response on DIO Module 1 - Code=2, \"Unallowable or invalid data address received in the query for the slave\""},
      {"write single",
       [&] { return module->WriteSingleHoldReg(1000, values[0]); },
       "CMBusTCP::MbPresetSingleReg: MODBUS exception response on DIO Module 1 - Code=2, \"Unallowable or invalid data address received in the query for the slave\""},
      {"write multiple",
       [&] { return module->WriteMultiHoldRegs(999, values, 2); },
       "CMBusTCP::MbPresetMultipleRegs: MODBUS exception response on DIO Module 1 - Code=2, \"Unallowable or invalid data address received in the query for the slave\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.operation);
    EXPECT_EQ(row.call(), 0);
    EXPECT_STREQ(module->LastErrorString(), row.error);
  }
  // Refused writes changed nothing, and the connection still serves.
  unsigned short last = 0x5a5a;
  ASSERT_EQ(module->ReadHoldRegs(999, &last, 1), 1);
  EXPECT_EQ(last, 0);
}

TEST_F(SimulatedModuleTest, LargestReadReturns125Registers) {
  START_MODULE_OR_SKIP(StartModule("127.0.51.5"));
  Module module = Connect("127.0.51.5");
  const std::vector<unsigned short> values = Sequence(0x0100, 123);
  std::vector<unsigned short> toWrite = values;
  ASSERT_EQ(module->WriteMultiHoldRegs(0, toWrite.data(), 123), 1);
  unsigned short tail[2] = {0xaaaa, 0xbbbb};
  ASSERT_EQ(module->WriteMultiHoldRegs(123, tail, 2), 1);

  std::vector<unsigned short> read(125, 0x5a5a);
  ASSERT_EQ(module->ReadHoldRegs(0, read.data(), 125), 1)
      << module->LastErrorString();
  std::vector<unsigned short> expected = values;
  expected.push_back(0xaaaa);
  expected.push_back(0xbbbb);
  EXPECT_EQ(read, expected);
}

TEST_F(SimulatedModuleTest, LargestWritesReadBack) {
  START_MODULE_OR_SKIP(StartModule("127.0.51.6"));
  Module module = Connect("127.0.51.6");
  // 123 is the standard's limit; 124 fills the whole request buffer.
  for (unsigned short count : {123, 124}) {
    SCOPED_TRACE(count);
    const unsigned short start =
        static_cast<unsigned short>((count - 123) * 300);
    std::vector<unsigned short> values = Sequence(count, count);
    ASSERT_EQ(module->WriteMultiHoldRegs(start, values.data(), count), 1)
        << module->LastErrorString();
    std::vector<unsigned short> read(count, 0x5a5a);
    ASSERT_EQ(module->ReadHoldRegs(start, read.data(), count), 1)
        << module->LastErrorString();
    EXPECT_EQ(read, values);
  }
}

TEST_F(SimulatedModuleTest, LargestWritePastTheTableAnswersException2) {
  START_MODULE_OR_SKIP(StartModule("127.0.51.7"));
  Module module = Connect("127.0.51.7");
  std::vector<unsigned short> values = Sequence(1, 124);
  EXPECT_EQ(module->WriteMultiHoldRegs(900, values.data(), 124), 0);
  EXPECT_STREQ(
      module->LastErrorString(),
      "CMBusTCP::MbPresetMultipleRegs: MODBUS exception response on DIO Module 1 - Code=2, \"Unallowable or invalid data address received in the query for the slave\"");
}

TEST_F(SimulatedModuleTest, ServesTwoClientsAtOnce) {
  START_MODULE_OR_SKIP(StartModule("127.0.51.8"));
  Module first = Connect("127.0.51.8", 1);
  Module second = Connect("127.0.51.8", 2);
  unsigned short a = 111, b = 222;
  ASSERT_EQ(first->WriteSingleHoldReg(1, a), 1);
  ASSERT_EQ(second->WriteSingleHoldReg(2, b), 1);
  unsigned short seenByFirst[2] = {0, 0}, seenBySecond[2] = {0, 0};
  ASSERT_EQ(second->ReadHoldRegs(1, seenBySecond, 2), 1);
  ASSERT_EQ(first->ReadHoldRegs(1, seenByFirst, 2), 1);
  EXPECT_EQ(seenByFirst[0], 111);
  EXPECT_EQ(seenByFirst[1], 222);
  EXPECT_EQ(seenBySecond[0], 111);
  EXPECT_EQ(seenBySecond[1], 222);
}

TEST_F(SimulatedModuleTest, LogsOneLinePerRequest) {
  START_MODULE_OR_SKIP(StartModule("127.0.51.9"));
  Module module = Connect("127.0.51.9");
  unsigned short value = 4660;
  unsigned short values[3] = {1, 2, 3};
  ASSERT_EQ(module->WriteSingleHoldReg(40, value), 1);
  ASSERT_EQ(module->WriteMultiHoldRegs(41, values, 3), 1);
  ASSERT_EQ(module->ReadHoldRegs(40, values, 3), 1);
  ASSERT_EQ(module->ReadInputRegs(7, values, 2), 1);
  module.reset();  // the module logs the disconnection last
  ASSERT_EQ(sim_->Stop(), 0);
  const std::string log = sim_->Log();
  sim_.reset();
  for (const char* line :
       {"fc=6 addr=40 value=4660\n", "fc=16 addr=41 count=3\n",
        "fc=3 addr=40 count=3\n", "fc=4 addr=7 count=2\n"}) {
    SCOPED_TRACE(line);
    EXPECT_NE(log.find(line), std::string::npos) << log;
  }
}

TEST_F(SimulatedModuleTest, QuietModuleLogsNoRequests) {
  START_MODULE_OR_SKIP(StartModule("127.0.51.10", {"--quiet"}));
  Module module = Connect("127.0.51.10");
  unsigned short value = 0;
  ASSERT_EQ(module->ReadHoldRegs(0, &value, 1), 1);
  module.reset();
  ASSERT_EQ(sim_->Stop(), 0);
  const std::string log = sim_->Log();
  sim_.reset();
  EXPECT_EQ(log.find("fc="), std::string::npos) << log;
}

TEST_F(SimulatedModuleTest, ConfiguredTableSizeMovesTheException) {
  START_MODULE_OR_SKIP(StartModule("127.0.51.11", {"--registers", "10"}));
  Module module = Connect("127.0.51.11");
  unsigned short values[10] = {};
  EXPECT_EQ(module->ReadHoldRegs(0, values, 10), 1);
  EXPECT_EQ(module->ReadInputRegs(9, values, 1), 1);
  EXPECT_EQ(module->ReadHoldRegs(10, values, 1), 0);
  EXPECT_EQ(module->ReadInputRegs(9, values, 2), 0);
}

TEST(SimulatedModuleStop, InterruptStopsWithStatus0WhileClientConnected) {
  const std::string why = CannotBindPort502("127.0.51.12");
  if (!why.empty()) GTEST_SKIP() << why;
  SimulatedModule sim("127.0.51.12");
  ASSERT_EQ(sim.Error(), "");
  Module module = Connect("127.0.51.12");
  unsigned short value = 0;
  ASSERT_EQ(module->ReadHoldRegs(0, &value, 1), 1);
  EXPECT_EQ(sim.Stop(SIGINT), 0) << sim.Log();
  EXPECT_NE(sim.Log().find("stopped"), std::string::npos) << sim.Log();
}

}  // namespace
