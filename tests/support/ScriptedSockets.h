// A scripted stand-in for the platform sockets layer, for the exchange
// fuzzer and the gathering tests: no system call is made. The script says what
// the peer answers to each request (answer k arrives once the k-th send has
// been made), how the receives cut it, how the stream ends, and how the send
// and readiness checks answer. It records whether a receive ever handed out
// bytes that arrived before the latest request: no answer may be made of those.
#ifndef TCPMODBUS_TESTS_SUPPORT_SCRIPTEDSOCKETS_H_
#define TCPMODBUS_TESTS_SUPPORT_SCRIPTEDSOCKETS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace scripted {

using Bytes = std::vector<std::uint8_t>;

struct Script {
  // What the peer sends after each request, in order; nothing after the
  // last one.
  std::vector<Bytes> answers;
  // How many bytes at the end of each answer arrive only after the next
  // request has been sent (a device that stalls in the middle of a frame);
  // missing entries are 0.
  std::vector<std::size_t> late;
  // Sizes of the successive receives; when they run out, each receive takes
  // all that has arrived (up to the caller's capacity). 0 is read as 1.
  std::vector<std::size_t> chunks;
  // Once the last answer is used up: true gives a failed receive (-1),
  // false an orderly close (0). Before that, a peer with nothing more to
  // say before the next request is silent: waits for input time out.
  bool failAtEnd = false;
  // The n-th send (counting from 0) accepts only part of the bytes; -1 never.
  int shortSendAt = -1;
  // The n-th readiness check (counting from 0) times out; -1 never.
  int notReadyAt = -1;
};

// Installs the script for the next calls; resets all counters.
void Load(const Script& script);

// Sends made so far: the answer of the latest request is answers[Sends()-1].
int Sends();
// Whether a receive handed out bytes of an answer to an earlier request
// (since Load or ForgetStaleBytes).
bool ReceivedStaleBytes();
void ForgetStaleBytes();
// Calls of OpenTcpSocket not yet matched by a CloseSocketHandle.
int OpenHandles();

}  // namespace scripted

#endif  // TCPMODBUS_TESTS_SUPPORT_SCRIPTEDSOCKETS_H_
