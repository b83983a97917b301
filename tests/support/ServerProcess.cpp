#include "ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace testsupport {

std::string WhyPort502IsOutOfReach(const std::string& address) {
  const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return std::string("socket: ") + std::strerror(errno);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(502);
  ::inet_pton(AF_INET, address.c_str(), &local.sin_addr);
  const int one = 1;
  ::setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  const bool refused =
      ::bind(probe, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 &&
      (errno == EACCES || errno == EPERM);
  const std::string why = refused ? std::strerror(errno) : "";
  ::close(probe);
  if (why.empty()) return "";
  return "cannot bind " + address + ":502 (" + why +
         "): run as root or in a private network namespace (unshare -rn)";
}

ServerProcess::~ServerProcess() { Stop(SIGKILL); }

std::string ServerProcess::Start(const std::string& address,
                                 std::vector<std::string> command,
                                 std::chrono::milliseconds limit) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
    return std::string("pipe2: ") + std::strerror(errno);
  }
  std::vector<char*> argv;
  for (std::string& argument : command) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    // The server ends with this test process, even when the test dies.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(126);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(pipeEnds[1], STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeEnds[1]);
  if (pid_ < 0) {
    ::close(pipeEnds[0]);
    return std::string("fork: ") + std::strerror(errno);
  }
  output_ = pipeEnds[0];

  const std::string ready = "listening on " + address + ":502";
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (log_.find(ready) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd entry = {output_, POLLIN, 0};
    const int waiting = left.count() <= 0
                            ? 0
                            : ::poll(&entry, 1, static_cast<int>(left.count()));
    if (waiting < 0 && errno == EINTR) continue;
    if (waiting <= 0) return "no \"" + ready + "\" in time; it said: " + log_;
    char buffer[512];
    const ssize_t got = ::read(output_, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return "it ended before it was ready; it said: " + log_;
    log_.append(buffer, static_cast<std::size_t>(got));
  }
  // Keep reading, so that the server never blocks on a full pipe.
  drain_ = std::thread([this] {
    char buffer[512];
    ssize_t got;
    while ((got = ::read(output_, buffer, sizeof(buffer))) > 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      log_.append(buffer, static_cast<std::size_t>(got));
    }
  });
  return "";
}

int ServerProcess::Stop(int signal) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, signal);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (drain_.joinable()) drain_.join();
  if (output_ >= 0) ::close(output_);
  output_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ServerProcess::Log() {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

}  // namespace testsupport
