// A scripted stand-in for the platform sockets layer, for the exchange
// fuzzer: no system call is made. The script says what each receive hands
// out (chunk by chunk), how the stream ends, and how the send and readiness
// checks answer.
#ifndef TCPMODBUS_FUZZ_SCRIPTEDSOCKETS_H_
#define TCPMODBUS_FUZZ_SCRIPTEDSOCKETS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace scripted {

struct Script {
  // The bytes the peer sends, in order.
  std::vector<std::uint8_t> stream;
  // Sizes of the successive receives; when they run out, each receive takes
  // all that is left (up to the caller's capacity). A size of 0 is read as 1.
  std::vector<std::size_t> chunks;
  // Once the stream is used up: true gives a failed receive (-1), false an
  // orderly close (0).
  bool failAtEnd = false;
  // The n-th send (counting from 0) accepts only part of the bytes; -1 never.
  int shortSendAt = -1;
  // The n-th readiness check (counting from 0) times out; -1 never.
  int notReadyAt = -1;
};

// Installs the script for the next calls; resets all counters.
void Load(const Script& script);

// Bytes of the stream handed out so far.
std::size_t Consumed();
// Calls of OpenTcpSocket not yet matched by a CloseSocketHandle.
int OpenHandles();

}  // namespace scripted

#endif  // TCPMODBUS_FUZZ_SCRIPTEDSOCKETS_H_
