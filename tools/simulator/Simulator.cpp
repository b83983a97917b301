#include "Simulator.h"

#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Frame.h"
#include "Listeners.h"
#include "MovingInputs.h"
#include "RequestLog.h"

namespace tcpmodbus::sim {

volatile sig_atomic_t g_stop = 0;

namespace {

// libmodbus keeps to the standard's 123 registers per write (a 260-byte
// frame). The module also takes 124, whose 261-byte request fills a client's
// whole request buffer; such a frame is served below, before libmodbus sees
// it.
constexpr int kLargestWriteCount = 124;
constexpr int kLargestFrame = kTcpHeaderLength + 6 + 2 * kLargestWriteCount;
constexpr int kReadDeviceIdentification = 0x2B;
constexpr int kDiagnostics = 0x08;
constexpr int kReturnQueryData = 0;  // the diagnostics echo

// libmodbus frames a request by what its function code carries, and reads
// any other code as a function code alone; those are framed here by the
// MBAP header's length instead. Function 7 is among them: libmodbus would
// close the connection rather than answer it.
bool FramedByLibmodbus(int function) {
  switch (function) {
    case MODBUS_FC_READ_COILS:
    case MODBUS_FC_READ_DISCRETE_INPUTS:
    case MODBUS_FC_READ_HOLDING_REGISTERS:
    case MODBUS_FC_READ_INPUT_REGISTERS:
    case MODBUS_FC_WRITE_SINGLE_COIL:
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
    case MODBUS_FC_WRITE_MULTIPLE_COILS:
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
    case MODBUS_FC_REPORT_SLAVE_ID:
    case MODBUS_FC_MASK_WRITE_REGISTER:
    case MODBUS_FC_WRITE_AND_READ_REGISTERS:
      return true;
    default:
      return false;
  }
}

}  // namespace

int Simulator::Run(const std::vector<int>& listeners) {
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
  int highest = -1;
  for (const int listener : listeners) {
    FD_SET(listener, &all);
    highest = std::max(highest, listener);
  }
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
      if (std::find(listeners.begin(), listeners.end(), fd) !=
          listeners.end()) {
        const int client = accept(fd, nullptr, nullptr);
        if (client < 0) {
          std::perror("tcpmodbus-sim: accept");
        } else if (Accept(client)) {
          FD_SET(client, &all);
          highest = std::max(highest, client);
        }
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

// False when the client was refused (and closed).
bool Simulator::Accept(int client) {
  if (client >= FD_SETSIZE) {
    std::fprintf(stderr, "tcpmodbus-sim: too many clients, refused\n");
    close(client);
    return false;
  }
  // Bounds the wait for the rest of an oversized frame.
  timeval limit{1, 0};
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
  if (options_.noDelay) {
    const int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  }
  peers_[client] = tools::PeerName(client);
  Log("%s connected", peers_[client].c_str());
  return true;
}

// Serves one request from `fd`; false when the client is gone or sent
// something that is not a request.
bool Simulator::Serve(int fd) {
  std::uint8_t header[kTcpHeaderLength + 1];  // and the function code
  const ssize_t peeked =
      recv(fd, header, sizeof(header), MSG_PEEK | MSG_WAITALL);
  if (peeked <= 0) return false;
  if (peeked == static_cast<ssize_t>(sizeof(header))) {
    const int mbapLength = Word(header + 4);
    if (kTcpHeaderLength - 1 + mbapLength > MODBUS_TCP_MAX_ADU_LENGTH) {
      return ServeLargestWrite(fd);
    }
    if (!FramedByLibmodbus(header[kTcpHeaderLength])) {
      return ServeOwnFrame(fd, mbapLength);
    }
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
  const int refusal = options_.rules.ExceptionFor(pdu);
  LogRequest(fd, pdu, static_cast<std::size_t>(length - kTcpHeaderLength),
             refusal);
  if (refusal != 0) return modbus_reply_exception(ctx_, query, refusal) >= 0;
  if (function == MODBUS_FC_READ_INPUT_REGISTERS) {
    RefreshInputRegisters(map_, address, Word(pdu + 3), tick_);
  } else if (function == MODBUS_FC_READ_DISCRETE_INPUTS) {
    RefreshDiscreteInputs(map_, address, Word(pdu + 3), tick_);
  }
  return modbus_reply(ctx_, query, length, map_) >= 0;
}

// A frame longer than libmodbus takes: only a write of 124 registers is
// valid; anything else ends the connection, as libmodbus would.
bool Simulator::ServeLargestWrite(int fd) {
  std::uint8_t frame[kLargestFrame];
  const std::uint8_t* pdu = frame + kTcpHeaderLength;
  const ssize_t got = recv(fd, frame, sizeof(frame), MSG_PEEK | MSG_WAITALL);
  if (got != kLargestFrame || Word(frame + 4) != kLargestFrame - 6 ||
      pdu[0] != MODBUS_FC_WRITE_MULTIPLE_REGISTERS ||
      Word(pdu + 3) != kLargestWriteCount || pdu[5] != 2 * kLargestWriteCount) {
    Log("%s sent an oversized frame, closing", peers_[fd].c_str());
    return false;
  }
  if (recv(fd, frame, sizeof(frame), MSG_WAITALL) != kLargestFrame) {
    return false;
  }
  ++tick_;
  const int address = Word(pdu + 1);
  int refusal = options_.rules.ExceptionFor(pdu);
  if (refusal == 0 && address + kLargestWriteCount > map_->nb_registers) {
    refusal = MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;
  }
  LogRequest(fd, pdu, kLargestFrame - kTcpHeaderLength, refusal);
  if (refusal != 0) {
    return SendAnswer(fd, frame,
                      {MODBUS_FC_WRITE_MULTIPLE_REGISTERS | 0x80,
                       static_cast<std::uint8_t>(refusal)});
  }
  for (int i = 0; i < kLargestWriteCount; ++i) {
    map_->tab_registers[address + i] = Word(pdu + 6 + 2 * i);
  }
  // The answer echoes the address and the count.
  return SendAnswer(fd, frame, std::vector<std::uint8_t>(pdu, pdu + 5));
}

// A request libmodbus would misframe: read device identification, the
// diagnostics echo, or a function code the module does not serve
// (exception 1).
bool Simulator::ServeOwnFrame(int fd, int mbapLength) {
  // The unit identifier and a function code at least.
  if (mbapLength < 2) {
    Log("%s sent a frame without a function code, closing", peers_[fd].c_str());
    return false;
  }
  const auto size = static_cast<std::size_t>(kTcpHeaderLength - 1 + mbapLength);
  std::uint8_t frame[MODBUS_TCP_MAX_ADU_LENGTH];
  if (recv(fd, frame, size, MSG_WAITALL) != static_cast<ssize_t>(size)) {
    return false;
  }
  ++tick_;
  const std::uint8_t* pdu = frame + kTcpHeaderLength;
  const std::size_t length = size - kTcpHeaderLength;
  std::vector<std::uint8_t> answer;
  if (pdu[0] == kReadDeviceIdentification) {
    answer = options_.identification.Answer(pdu, length);
  } else if (pdu[0] == kDiagnostics && length >= 3 &&
             Word(pdu + 1) == kReturnQueryData) {
    answer.assign(pdu, pdu + length);
  } else {
    answer = {static_cast<std::uint8_t>(pdu[0] | 0x80),
              MODBUS_EXCEPTION_ILLEGAL_FUNCTION};
  }
  LogRequest(fd, pdu, length, (answer[0] & 0x80) != 0 ? answer[1] : 0);
  return SendAnswer(fd, frame, answer);
}

// Sends `pdu` under the request's transaction identifier and unit.
bool Simulator::SendAnswer(int fd, const std::uint8_t* request,
                           const std::vector<std::uint8_t>& pdu) {
  std::vector<std::uint8_t> frame(request, request + kTcpHeaderLength);
  frame[2] = 0;
  frame[3] = 0;
  frame[4] = static_cast<std::uint8_t>((pdu.size() + 1) >> 8);
  frame[5] = static_cast<std::uint8_t>(pdu.size() + 1);
  frame.insert(frame.end(), pdu.begin(), pdu.end());
  return send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(frame.size());
}

void Simulator::LogRequest(int fd, const std::uint8_t* pdu, std::size_t length,
                           int exception) {
  const std::string request = DescribeRequest(pdu, length);
  if (exception == 0) {
    Log("%s %s", peers_[fd].c_str(), request.c_str());
  } else {
    Log("%s %s refused: exception %d", peers_[fd].c_str(), request.c_str(),
        exception);
  }
}

void Simulator::Log(const char* format, ...) {
  if (options_.quiet) return;
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof(line), format, args);
  va_end(args);
  std::fprintf(stderr, "tcpmodbus-sim: %s\n", line);
}

}  // namespace tcpmodbus::sim
