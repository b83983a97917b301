#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

const char* g_name = "tcpmodbus-bench";

}  // namespace

void SetBenchName(const char* name) { g_name = name; }

void BenchFail(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", g_name, what.c_str());
  std::exit(1);
}

long long CpuNanoseconds(pid_t pid) {
  const std::string path = pid == 0
                               ? "/proc/thread-self/schedstat"
                               : "/proc/" + std::to_string(pid) + "/schedstat";
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return -1;
  long long nanoseconds = -1;
  if (std::fscanf(file, "%lld", &nanoseconds) != 1) nanoseconds = -1;
  std::fclose(file);
  return nanoseconds;
}

std::string OwnPath() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) BenchFail("cannot find the benchmark's own program");
  return std::string(path, static_cast<size_t>(length));
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, int watched,
                           bool writable) {
  int output[2];
  int input[2] = {-1, -1};
  if (pipe2(output, O_CLOEXEC) != 0 || (writable && pipe2(input, O_CLOEXEC))) {
    BenchFail("pipe failed");
  }
  pid_ = fork();
  if (pid_ < 0) BenchFail("fork failed");
  if (pid_ == 0) {
    dup2(output[1], watched);
    if (writable) dup2(input[0], 0);
    // A benchmark killed half-way takes its children with it, so that their
    // addresses are free for the next run.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
      args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(output[1]);
  from_ = output[0];
  if (writable) {
    close(input[0]);
    to_ = input[1];
  }
}

ChildProcess::~ChildProcess() {
  if (to_ >= 0) close(to_);
  kill(pid_, SIGTERM);
  int status;
  waitpid(pid_, &status, 0);
  close(from_);
}

std::string ChildProcess::ReadLine(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(milliseconds);
  for (;;) {
    const size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      std::string line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd entry = {from_, POLLIN, 0};
    if (left.count() <= 0 ||
        poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
      BenchFail("no answer from " + std::string("a child program within ") +
                std::to_string(milliseconds) + " ms; it said: " + pending_);
    }
    char buffer[4096];
    const ssize_t got = read(from_, buffer, sizeof(buffer));
    if (got <= 0) BenchFail("a child program ended; it said: " + pending_);
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

int ChildProcess::NumberAfter(const std::string& prefix) {
  std::string seen;
  for (;;) {
    seen += ReadLine(10000) + "\n";
    const size_t at = prefix.empty() ? 0 : seen.find(prefix);
    if (at == std::string::npos) continue;
    const size_t digits = at + prefix.size();
    const size_t end = seen.find_first_not_of("0123456789", digits);
    if (end != std::string::npos && end > digits) {
      return std::atoi(seen.c_str() + digits);
    }
    if (prefix.empty()) BenchFail("expected a number, got: " + seen);
  }
}

void ChildProcess::Write(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t put = write(to_, text.data() + done, text.size() - done);
    if (put <= 0) BenchFail("a child program stopped reading");
    done += static_cast<size_t>(put);
  }
}

void ChildProcess::Drain() {
  fcntl(from_, F_SETFL, O_NONBLOCK);
  char buffer[4096];
  while (read(from_, buffer, sizeof(buffer)) > 0) {
  }
  fcntl(from_, F_SETFL, 0);
}
