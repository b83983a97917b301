// tcpmodbus-sim: a simulated DIO module on Modbus/TCP, built on libmodbus.
//
// Serves holding registers (read with function 3, written with 6 and 16,
// changed with 22 and 23), input registers (function 4), coils (read with 1,
// written with 5 and 15) and discrete inputs (function 2) to any number of
// clients at once, from one select loop over the listening socket and the
// client sockets. The inputs move with a tick that advances with every
// request served (see MovingInputs.h). Addresses past the tables are answered
// with exception 2 (illegal data address) by libmodbus.
//
// One line per request goes to stderr, unless --quiet. SIGINT and SIGTERM stop
// the loop; the program then closes every socket and exits 0.
#include <arpa/inet.h>
#include <errno.h>
#include <modbus.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "Frame.h"
#include "MovingInputs.h"
#include "RequestLog.h"

namespace {

using tcpmodbus::sim::kTcpHeaderLength;
using tcpmodbus::sim::Word;
// libmodbus keeps to the standard's 123 registers per write (a 260-byte
// frame). The module also takes 124, whose 261-byte request fills a client's
// whole request buffer; such a frame is served below, before libmodbus sees
// it.
constexpr int kLargestWriteCount = 124;
constexpr int kLargestFrame = kTcpHeaderLength + 6 + 2 * kLargestWriteCount;

volatile sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

struct Options {
  std::string address = "127.0.0.1";
  int port = 502;
  int registers = 1000;
  bool quiet = false;
};

void PrintUsage(std::FILE* out) {
  std::fprintf(
      out,
      "Usage: tcpmodbus-sim [--address A] [--port P] [--registers N] [--quiet]\n"
      "A simulated DIO module: a Modbus/TCP server with N holding registers,\n"
      "N input registers, N coils and N discrete inputs (functions 1 to 6, 15,\n"
      "16, 22 and 23). Input registers read as address + a tick that advances\n"
      "with every request; discrete inputs 16k to 16k+15 show the bits of input\n"
      "register k, least significant first.\n"
      "\n"
      "  --address A    IPv4 address to listen on (default 127.0.0.1)\n"
      "  --port P       TCP port (default 502; 0 picks a free one)\n"
      "  --registers N  entries in each of the four tables, 1 to 65536\n"
      "                 (default 1000)\n"
      "  --quiet        no log line per request\n"
      "  --help         this text\n"
      "\n"
      "Logs to stderr; prints \"listening on A:P\" once ready. SIGINT or\n"
      "SIGTERM stops it (exit 0).\n");
}

bool ParseInt(const char* text, long min, long max, int* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 0);
  if (errno != 0 || *end != '\0' || value < min || value > max) return false;
  *out = static_cast<int>(value);
  return true;
}

// Returns 0 when parsed, 1 after --help, 2 on a usage error.
int ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 1;
    } else if (arg == "--quiet") {
      options->quiet = true;
    } else if (arg == "--address") {
      in_addr parsed{};
      if (value == nullptr || inet_pton(AF_INET, value, &parsed) != 1) {
        std::fprintf(stderr,
                     "tcpmodbus-sim: --address needs a dotted IPv4 address\n");
        return 2;
      }
      options->address = value;
      ++i;
    } else if (arg == "--port") {
      if (!ParseInt(value, 0, 65535, &options->port)) {
        std::fprintf(stderr,
                     "tcpmodbus-sim: --port needs a number from 0 to 65535\n");
        return 2;
      }
      ++i;
    } else if (arg == "--registers") {
      if (!ParseInt(value, 1, 65536, &options->registers)) {
        std::fprintf(
            stderr,
            "tcpmodbus-sim: --registers needs a number from 1 to 65536\n");
        return 2;
      }
      ++i;
    } else {
      std::fprintf(stderr, "tcpmodbus-sim: unknown argument '%s'\n",
                   arg.c_str());
      PrintUsage(stderr);
      return 2;
    }
  }
  return 0;
}

std::string PeerName(int fd) {
  sockaddr_in peer{};
  socklen_t length = sizeof(peer);
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
    return "?";
  }
  char text[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &peer.sin_addr, text, sizeof(text));
  return std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
}

class Simulator {
 public:
  Simulator(modbus_t* ctx, modbus_mapping_t* map, const Options& options)
      : ctx_(ctx), map_(map), options_(options) {}

  // Runs until a stop signal; returns the exit status.
  int Run(int listener) {
    sigset_t stopSignals;
    sigset_t waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    // The stop signals are only let through while pselect waits, so one that
    // arrives between two waits is not lost.
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);

    fd_set all;
    FD_ZERO(&all);
    FD_SET(listener, &all);
    int highest = listener;
    while (g_stop == 0) {
      fd_set ready = all;
      const int count =
          pselect(highest + 1, &ready, nullptr, nullptr, nullptr, &waitMask);
      if (count < 0) {
        if (errno == EINTR) continue;
        std::perror("tcpmodbus-sim: select");
        return 1;
      }
      for (int fd = 0; fd <= highest; ++fd) {
        if (!FD_ISSET(fd, &ready)) continue;
        if (fd == listener) {
          const int client = accept(listener, nullptr, nullptr);
          if (client < 0) {
            std::perror("tcpmodbus-sim: accept");
            continue;
          }
          if (client >= FD_SETSIZE) {
            std::fprintf(stderr, "tcpmodbus-sim: too many clients, refused\n");
            close(client);
            continue;
          }
          // Bounds the wait for the rest of an oversized frame.
          timeval limit{1, 0};
          setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
          peers_[client] = PeerName(client);
          Log("%s connected", peers_[client].c_str());
          FD_SET(client, &all);
          if (client > highest) highest = client;
        } else if (!Serve(fd)) {
          Log("%s disconnected", peers_[fd].c_str());
          peers_.erase(fd);
          close(fd);
          FD_CLR(fd, &all);
        }
      }
    }
    for (const auto& peer : peers_) close(peer.first);
    peers_.clear();
    return 0;
  }

 private:
  // Serves one request from `fd`; false when the client is gone or sent
  // something that is not a request.
  bool Serve(int fd) {
    std::uint8_t header[kTcpHeaderLength];
    const ssize_t peeked =
        recv(fd, header, sizeof(header), MSG_PEEK | MSG_WAITALL);
    if (peeked <= 0) return false;
    if (peeked == static_cast<ssize_t>(sizeof(header)) &&
        kTcpHeaderLength - 1 + Word(header + 4) > MODBUS_TCP_MAX_ADU_LENGTH) {
      return ServeLargestWrite(fd);
    }

    std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    modbus_set_socket(ctx_, fd);
    const int length = modbus_receive(ctx_, query);
    if (length < 0) return false;
    if (length == 0) return true;  // ignored by libmodbus

    ++tick_;
    const std::uint8_t* pdu = query + kTcpHeaderLength;
    const int function = pdu[0];
    const int address = Word(pdu + 1);
    Log("%s %s", peers_[fd].c_str(),
        tcpmodbus::sim::DescribeRequest(pdu).c_str());
    if (function == MODBUS_FC_READ_INPUT_REGISTERS) {
      tcpmodbus::sim::RefreshInputRegisters(map_, address, Word(pdu + 3),
                                            tick_);
    } else if (function == MODBUS_FC_READ_DISCRETE_INPUTS) {
      tcpmodbus::sim::RefreshDiscreteInputs(map_, address, Word(pdu + 3),
                                            tick_);
    }
    return modbus_reply(ctx_, query, length, map_) >= 0;
  }

  // A frame longer than libmodbus takes: only a write of 124 registers is
  // valid; anything else ends the connection, as libmodbus would.
  bool ServeLargestWrite(int fd) {
    std::uint8_t frame[kLargestFrame];
    const std::uint8_t* pdu = frame + kTcpHeaderLength;
    const ssize_t got = recv(fd, frame, sizeof(frame), MSG_PEEK | MSG_WAITALL);
    if (got != kLargestFrame || Word(frame + 4) != kLargestFrame - 6 ||
        pdu[0] != MODBUS_FC_WRITE_MULTIPLE_REGISTERS ||
        Word(pdu + 3) != kLargestWriteCount ||
        pdu[5] != 2 * kLargestWriteCount) {
      Log("%s sent an oversized frame, closing", peers_[fd].c_str());
      return false;
    }
    if (recv(fd, frame, sizeof(frame), MSG_WAITALL) != kLargestFrame) {
      return false;
    }
    ++tick_;
    const int address = Word(pdu + 1);
    Log("%s %s", peers_[fd].c_str(),
        tcpmodbus::sim::DescribeRequest(pdu).c_str());
    modbus_set_socket(ctx_, fd);
    if (address + kLargestWriteCount > map_->nb_registers) {
      return modbus_reply_exception(ctx_, frame,
                                    MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS) >= 0;
    }
    for (int i = 0; i < kLargestWriteCount; ++i) {
      map_->tab_registers[address + i] = Word(pdu + 6 + 2 * i);
    }
    // The answer echoes the header with length 6, the address and the count.
    std::uint8_t answer[kTcpHeaderLength + 5];
    std::memcpy(answer, frame, kTcpHeaderLength + 5);
    answer[4] = 0;
    answer[5] = 6;
    return send(fd, answer, sizeof(answer), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(sizeof(answer));
  }

  __attribute__((format(printf, 2, 3))) void Log(const char* format, ...) {
    if (options_.quiet) return;
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    std::fprintf(stderr, "tcpmodbus-sim: %s\n", line);
  }

  modbus_t* ctx_;
  modbus_mapping_t* map_;
  const Options& options_;
  std::map<int, std::string> peers_;
  unsigned tick_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int parsed = ParseOptions(argc, argv, &options);
  if (parsed == 1) return 0;
  if (parsed != 0) return parsed;

  // A client that goes away mid-answer must not end the module.
  signal(SIGPIPE, SIG_IGN);
  struct sigaction stop {};
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);

  modbus_t* ctx = modbus_new_tcp(options.address.c_str(), options.port);
  if (ctx == nullptr) {
    std::fprintf(stderr, "tcpmodbus-sim: %s\n", modbus_strerror(errno));
    return 1;
  }
  modbus_mapping_t* map =
      modbus_mapping_new(options.registers, options.registers,
                         options.registers, options.registers);
  if (map == nullptr) {
    std::fprintf(stderr, "tcpmodbus-sim: cannot allocate registers: %s\n",
                 modbus_strerror(errno));
    modbus_free(ctx);
    return 1;
  }
  const int listener = modbus_tcp_listen(ctx, 16);
  if (listener < 0) {
    std::fprintf(stderr, "tcpmodbus-sim: cannot listen on %s:%d: %s\n",
                 options.address.c_str(), options.port, modbus_strerror(errno));
    modbus_mapping_free(map);
    modbus_free(ctx);
    return 1;
  }
  sockaddr_in bound{};
  socklen_t boundLength = sizeof(bound);
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &boundLength);
  std::fprintf(stderr, "tcpmodbus-sim: listening on %s:%d (%d registers)\n",
               options.address.c_str(), ntohs(bound.sin_port),
               options.registers);

  Simulator simulator(ctx, map, options);
  const int status = simulator.Run(listener);
  close(listener);
  modbus_set_socket(ctx, -1);
  modbus_mapping_free(map);
  modbus_free(ctx);
  if (status == 0) std::fprintf(stderr, "tcpmodbus-sim: stopped\n");
  return status;
}
