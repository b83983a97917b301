// Long runs: many connections opened and closed, many failed set-ups, and
// one connection carrying 100,000 exchanges. Nothing may be left behind:
// no descriptor (counted in /proc/self/fd) and no heap growth.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "ClientHarness.h"
#include "FailureRecord.h"
#include "FakeModbusServer.h"
#include "ModbusAnswers.h"
#include "SkipUnlessListening.h"
#include "tcpmodbus/TCPModbusIntf.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TCPMODBUS_SANITIZED_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TCPMODBUS_SANITIZED_HEAP 1
#endif
#ifdef TCPMODBUS_SANITIZED_HEAP
#include <sanitizer/allocator_interface.h>
#endif

namespace {

using testsupport::Bytes;
using testsupport::ClientHarness;
using testsupport::FailureRecord;
using testsupport::FailureRecordOf;
using testsupport::FakeModbusServer;
using testsupport::ReadAnswer;
using testsupport::ScriptConnection;
using testsupport::Step;

// The fake servers listen on ports of their own on this address.
constexpr char kAddress[] = "127.0.0.1";
constexpr int kCycles = 1000;
constexpr int kExchanges = 100000;

int OpenDescriptors() {
  int count = 0;
  DIR* folder = ::opendir("/proc/self/fd");
  if (folder == nullptr) return -1;
  while (const dirent* entry = ::readdir(folder)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(folder);
  return count - 1;  // the descriptor of the listing itself
}

// Bytes of heap in use, from the sanitizer's allocator when there is one.
std::size_t HeapInUse() {
#ifdef TCPMODBUS_SANITIZED_HEAP
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

// Sends standard output to /dev/null while it lives: the trace of a soak is
// far too large to keep.
class StdoutToNull {
 public:
  StdoutToNull() {
    std::fflush(stdout);
    saved_ = ::dup(1);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(null, 1);
    ::close(null);
  }
  ~StdoutToNull() {
    std::fflush(stdout);
    ::dup2(saved_, 1);
    ::close(saved_);
  }

 private:
  int saved_;
};

// Counts events of the server thread that the test waits for.
class Signals {
 public:
  void Post() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
    changed_.notify_one();
  }
  // Takes one event; false when none came within ten seconds.
  bool Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::seconds(10),
                           [this] { return count_ > 0; })) {
      return false;
    }
    --count_;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

TEST(SoakTest, InitializeAndCloseCyclesLeakNoDescriptor) {
  const int before = OpenDescriptors();
  ASSERT_GT(before, 0);
  {
    // Each cycle runs in lock step with the server: the client connects,
    // the server resets the connection, then the client closes. A client
    // running ahead would fill the listen backlog (a dropped SYN waits a
    // second to be sent again), and a reset leaves no TIME_WAIT behind, so
    // repeated runs do not use up the ephemeral ports.
    Signals connected;
    Signals ended;
    std::vector<Step> script;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      if (cycle != 0) script.push_back(Step::Accept());
      script.push_back(
          Step::Custom("wait for the client", [&](ScriptConnection&) {
            return connected.Take() ? std::string()
                                    : std::string("the client did not connect");
          }));
      script.push_back(Step::Reset());
      script.push_back(Step::Custom("tell the client", [&](ScriptConnection&) {
        ended.Post();
        return std::string();
      }));
    }
    FakeModbusServer server(kAddress, script);
    SKIP_UNLESS_LISTENING(server);
    ClientHarness client;
    ASSERT_EQ(client->SetServerPort(server.Port()), 1);
    int succeeded = 0;
    {
      StdoutToNull quiet;
      for (int cycle = 0; cycle < kCycles; ++cycle) {
        if (client->Initialize(1, kAddress, 0, kAddress) != 1) break;
        connected.Post();
        if (!ended.Take()) break;
        client->Close();
        ++succeeded;
      }
    }
    EXPECT_EQ(succeeded, kCycles) << client->LastErrorString();
    EXPECT_EQ(server.Join(), "");
    EXPECT_EQ(server.Connections(), kCycles);
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(SoakTest, FailedInitializeCallsLeakNoDescriptor) {
  // Nothing listens on 127.0.13.2: every connect is refused. Every third
  // call fails earlier, at the bind, on a local address text that is too
  // long.
  const std::string tooLong(40, '1');
  ClientHarness client;
  const int before = OpenDescriptors();
  ASSERT_GT(before, 0);
  int failed = 0;
  {
    StdoutToNull quiet;
    for (int call = 0; call < kCycles; ++call) {
      const bool badLocal = call % 3 == 2;
      failed += client->Initialize(1, badLocal ? tooLong : "127.0.13.2", 0,
                                   "127.0.13.2") == 0
                    ? 1
                    : 0;
    }
  }
  EXPECT_EQ(failed, kCycles);
  EXPECT_STREQ(client->LastErrorString(),
               "WSASocket failed. connect Error(111)");
  EXPECT_EQ(FailureRecordOf(client.Client()),
            (FailureRecord{TCPModbusIntf::ErrorConnect, 111}));
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(SoakTest, HundredThousandExchangesOnOneConnectionKeepTheHeapFlat) {
  const Bytes answer = ReadAnswer(3, {0x1234, 0xabcd});
  FakeModbusServer::Options options;
  options.timeout = std::chrono::seconds(30);
  ClientHarness client;
  SERVE_OR_SKIP(client, {kAddress},
                {Step::Custom("answer every read",
                              [&](ScriptConnection& connection) {
                                Bytes request;
                                for (int i = 0; i < kExchanges; ++i) {
                                  std::string error =
                                      connection.ReceiveExactly(12, &request);
                                  if (error.empty()) {
                                    error = connection.SendAll(answer);
                                  }
                                  if (!error.empty()) {
                                    return "exchange " + std::to_string(i) +
                                           ": " + error;
                                  }
                                }
                                return std::string();
                              })},
                options);

  constexpr int kWarmUp = 1000;
  int succeeded = 0;
  std::uint16_t values[2] = {0, 0};
  std::size_t heapBefore = 0;
  std::size_t heapAfter = 0;
  int descriptorsBefore = 0;
  int descriptorsAfter = -1;
  {
    StdoutToNull quiet;
    for (int i = 0; i < kExchanges; ++i) {
      if (i == kWarmUp) {
        heapBefore = HeapInUse();
        descriptorsBefore = OpenDescriptors();
      }
      values[0] = values[1] = 0;
      if (client->ReadHoldRegs(0, values, 2) == 1 && values[0] == 0x1234 &&
          values[1] == 0xabcd) {
        ++succeeded;
      }
    }
    heapAfter = HeapInUse();
    descriptorsAfter = OpenDescriptors();
  }
  EXPECT_EQ(succeeded, kExchanges) << client->LastErrorString();
  EXPECT_EQ(descriptorsAfter, descriptorsBefore);
  // A leak of a single byte per exchange would show as 99,000 bytes; the
  // slack covers the server thread's buffer in flight.
  EXPECT_LE(heapAfter, heapBefore + 4096)
      << "heap grew from " << heapBefore << " to " << heapAfter << " bytes";
  EXPECT_EQ(client.Finish(), "");
}

}  // namespace
