#include "raw_batch_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "child_process.h"
#include "socket_hooks.h"

namespace {

constexpr int kRequestSize = 12;

class RawBatchClient : public BatchClient {
 public:
  RawBatchClient(const std::string& name, const Endpoint& module, int depth)
      : BatchClient(name),
        depth_(depth),
        fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in server = {};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(module.port));
    if (fd_ < 0 ||
        inet_pton(AF_INET, module.address.c_str(), &server.sin_addr) != 1 ||
        connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof(server)) !=
            0) {
      BenchFail(name + " could not connect to the module");
    }
  }
  ~RawBatchClient() override { close(fd_); }
  double Run(const BatchCase& c, int calls) override {
    std::vector<std::vector<int>> values;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) Call(c, values);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::micro>(elapsed).count() / calls;
  }
  std::vector<std::vector<int>> Values(const BatchCase& c) override {
    std::vector<std::vector<int>> values;
    Call(c, values);
    return values;
  }
  int NoDelay() override { return NoDelayOf(fd_); }

 private:
  // The requests of the reads from `next` on that fit `places`, in one send.
  void SendFrom(const BatchCase& c, size_t* next, int places) {
    std::uint8_t window[64 * kRequestSize];
    int size = 0;
    for (; places > 0 && *next < c.reads.size(); --places, ++*next) {
      const BatchRead& read = c.reads[*next];
      const std::uint16_t id = static_cast<std::uint16_t>(*next);
      const std::uint8_t request[kRequestSize] = {
          static_cast<std::uint8_t>(id >> 8),
          static_cast<std::uint8_t>(id),
          0,
          0,
          0,
          6,
          1,
          static_cast<std::uint8_t>(read.table),
          static_cast<std::uint8_t>(read.address >> 8),
          static_cast<std::uint8_t>(read.address),
          static_cast<std::uint8_t>(read.count >> 8),
          static_cast<std::uint8_t>(read.count)};
      for (int k = 0; k < kRequestSize; ++k) window[size + k] = request[k];
      size += kRequestSize;
    }
    if (size > 0 &&
        send(fd_, window, static_cast<size_t>(size), MSG_NOSIGNAL) != size) {
      BenchFail(Name() + " failed a send");
    }
  }
  void Call(const BatchCase& c, std::vector<std::vector<int>>& values) {
    values.assign(c.reads.size(), {});
    size_t next = 0;
    size_t answered = 0;
    int held = 0;
    SendFrom(c, &next, depth_);
    while (answered < c.reads.size()) {
      const ssize_t got = recv(fd_, buffer_ + held, sizeof(buffer_) - held, 0);
      if (got <= 0) BenchFail(Name() + " lost the connection");
      held += static_cast<int>(got);
      int taken = 0;
      int freed = 0;
      while (held - taken >= 6) {
        const std::uint8_t* frame = buffer_ + taken;
        const int size = 6 + ((frame[4] << 8) | frame[5]);
        if (held - taken < size) break;
        Decode(c, frame, size, values);
        taken += size;
        ++freed;
        ++answered;
      }
      for (int i = taken; i < held; ++i) buffer_[i - taken] = buffer_[i];
      held -= taken;
      SendFrom(c, &next, freed);
    }
  }
  void Decode(const BatchCase& c, const std::uint8_t* frame, int size,
              std::vector<std::vector<int>>& values) {
    const size_t index = static_cast<size_t>((frame[0] << 8) | frame[1]);
    if (index >= c.reads.size() || size < 9) BenchFail(Name() + ": bad answer");
    const BatchRead& read = c.reads[index];
    std::vector<int>& out = values[index];
    out.clear();
    for (int k = 0; k < read.count; ++k) {
      if (IsRegisterTable(read.table)) {
        out.push_back((frame[9 + 2 * k] << 8) | frame[10 + 2 * k]);
      } else {
        out.push_back((frame[9 + k / 8] >> (k % 8)) & 1);
      }
    }
  }

  int depth_;
  int fd_;
  std::uint8_t buffer_[64 * 1024];
};

}  // namespace

std::unique_ptr<BatchClient> MakeRawBatchClient(const std::string& name,
                                                const Endpoint& module) {
  if (name.rfind("raw-d", 0) != 0) return nullptr;
  char* end = nullptr;
  const long depth = std::strtol(name.c_str() + 5, &end, 10);
  if (end == name.c_str() + 5 || *end != '\0' || depth < 1 || depth > 64) {
    return nullptr;
  }
  return std::make_unique<RawBatchClient>(name, module,
                                          static_cast<int>(depth));
}
