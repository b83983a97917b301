// How long Cancel() takes to end a wait: the time from the Cancel() call on
// another thread to the return of the call it ends, on loopback, for
//
//   answer   a read to a module that takes the request and never answers,
//            without a response time-out;
//   connect  an Initialize whose connect waits for good: the listener's
//            queue is full, so the system drops its handshake.
//
// Each case runs --runs times (default 50), the cancel a random 20 to 120 ms
// into the wait; the report gives the median, 99th percentile and the
// longest, in milliseconds.
//
// Usage: tcpmodbus-cancel-bench [--runs N]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using Clock = std::chrono::steady_clock;

// A loopback listener. With backlog 0 its queue holds one connection; one
// that is never accepted leaves the later connects waiting for good.
int Listener(int backlog, unsigned short* port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::perror("listener");
    std::exit(1);
  }
  *port = ntohs(address.sin_port);
  return fd;
}

std::unique_ptr<TCPModbusIntf> Client(unsigned short port) {
  std::unique_ptr<TCPModbusIntf> client(TCPModbusIntf::GetInstance());
  client->SetTraceSink(nullptr, nullptr);
  client->SetServerPort(port);
  return client;
}

// Milliseconds from Cancel() to the return of call(), which must fail as
// cancelled.
template <typename Call>
double TimeCancel(TCPModbusIntf& client, Call call, std::mt19937& random) {
  std::atomic<long long> cancelledAt{0};
  const int delayMs = std::uniform_int_distribution<int>(20, 120)(random);
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    cancelledAt = Clock::now().time_since_epoch().count();
    client.Cancel();
  });
  const int result = call();
  const long long returnedAt = Clock::now().time_since_epoch().count();
  canceller.join();
  if (result != 0 || client.LastErrorCode() != TCPModbusIntf::ErrorCancelled) {
    std::fprintf(stderr, "not cancelled: %s\n", client.LastFailureText());
    std::exit(1);
  }
  return std::chrono::duration<double, std::milli>(
             Clock::duration(returnedAt - cancelledAt))
      .count();
}

void Report(const char* name, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const auto at = [&](double share) {
    return times[static_cast<std::size_t>(share * (times.size() - 1))];
  };
  std::printf("%-8s %6zu %9.2f %9.2f %9.2f\n", name, times.size(), at(0.5),
              at(0.99), times.back());
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 50;
  if (argc == 3 && std::strcmp(argv[1], "--runs") == 0) runs = std::atoi(argv[2]);
  if (runs < 1) {
    std::fprintf(stderr, "usage: %s [--runs N]\n", argv[0]);
    return 2;
  }
  std::mt19937 random(12345);
  std::vector<double> answer, connecting;

  // The silent module accepts every connection, reads nothing and answers
  // nothing; recovery gives each run after a cancel a new connection.
  unsigned short silentPort = 0;
  const int silent = Listener(16, &silentPort);
  std::thread([silent] {
    for (;;) (void)accept(silent, nullptr, nullptr);  // kept till exit
  }).detach();
  std::unique_ptr<TCPModbusIntf> reader = Client(silentPort);
  reader->SetRecovery(true);
  if (reader->Initialize(1, "127.0.0.1", 0, "127.0.0.1") != 1) {
    std::fprintf(stderr, "initialize: %s\n", reader->LastFailureText());
    return 1;
  }
  for (int run = 0; run < runs; ++run) {
    unsigned short value = 0;
    answer.push_back(TimeCancel(
        *reader, [&] { return reader->ReadHoldRegs(0, &value, 1); }, random));
  }

  // A full queue: one connection in it, never accepted.
  unsigned short port = 0;
  const int listener = Listener(0, &port);
  const int filler = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::perror("filler");
    return 1;
  }
  std::unique_ptr<TCPModbusIntf> connector = Client(port);
  for (int run = 0; run < runs; ++run) {
    connecting.push_back(TimeCancel(
        *connector,
        [&] { return connector->Initialize(1, "127.0.0.1", 0, "127.0.0.1"); },
        random));
  }
  std::printf("%-8s %6s %9s %9s %9s\n", "case", "runs", "median", "p99",
              "max (ms)");
  Report("answer", answer);
  Report("connect", connecting);
  close(filler);
  close(listener);
  return 0;
}
