// The transport of one connection: one IPv4 TCP socket, bound to a chosen
// local address and port, with a bounded error text of its own. It offers
// plain steps (open, connect, readiness check, send, receive, discard),
// each returning how it ended; the protocol client decides what an exchange
// makes of them. The socket calls themselves are the SocketCalls it is
// given: the operating system's unless a test gives a stand-in.
#ifndef TCPMODBUS_TRANSPORT_CTCPSOCKET_H_
#define TCPMODBUS_TRANSPORT_CTCPSOCKET_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/Attributes.h"
#include "common/ErrorText.h"
#include "common/MbapFrame.h"
#include "platform/IoResult.h"
#include "platform/Sockets.h"
#include "transport/SocketCalls.h"

namespace tcpmodbus {

class CTcpSocket {
 public:
  // Largest answer one receive delivers (261, not 260).
  static constexpr int MaxResponseBytes = mbap::kMaxFrameSize;
  static constexpr int LocalHostSize = 32;

  explicit CTcpSocket(SocketCalls& calls = SystemSocketCalls());
  CTcpSocket(const CTcpSocket&) = delete;
  CTcpSocket& operator=(const CTcpSocket&) = delete;
  virtual ~CTcpSocket();

  // Creates the socket and binds it: 1 on success, 0 on failure (the handle
  // is then 0 and ErrorText says why).
  int OpenSocket(std::string localAddress, std::uint16_t localPort);
  // OpenSocket as a step: done, or failed with the system's error number
  // (0 for a local address text that is refused before any system call).
  IoResult Open(std::string localAddress, std::uint16_t localPort);
  // Fills the family and address of `address` from a host name (text that
  // begins with a letter: the first address its lookup lists) or dotted
  // IPv4 text (any other text): 0 when a host name found no answer or the
  // dotted text has fewer than four parts (ErrorText then says which),
  // else 1.
  int ResolveAddress(const char* host, platform::Ipv4SocketAddress* address);
  // The readiness check, then one send: the count when all went out;
  // otherwise 0 (not ready), a shorter count, or -1.
  int SendData(const std::uint8_t* bytes, int count);
  // The readiness check, then one receive of up to MaxResponseBytes into
  // `buffer`: the count; 0 when the server has closed the connection or the
  // socket was not ready; -1 when the receive failed.
  int ReceiveData(std::uint8_t* buffer);
  void SetSocketError(const char* format, ...) TCPMODBUS_PRINTF_FORMAT(2, 3);
  void CloseSocket();
  // Closes at once, with a reset instead of the orderly end: for a
  // connection given up in the middle of an exchange, so that the module's
  // late answer goes nowhere and the local port is free again at once.
  void AbortSocket();

  // The steps of an exchange. Each failure is recorded in ErrorText, in the
  // words of the messages above, except Connect's, which its caller words.

  // Connects the bound handle to dotted IPv4 `serverAddress`:`port`, waiting
  // at most `timeoutMs` (0: as long as the system allows). Text that is not
  // a dotted address fails with the invalid-argument number; the handle is
  // left as it is, for the caller to record and close.
  IoResult Connect(const char* serverAddress, std::uint16_t port,
                   unsigned timeoutMs);
  // The readiness check: whether the socket is writable within WaitSeconds
  // (a poll); failed ("select Error") when not. `inputWaiting`, when not
  // null, tells in the same call whether bytes or the end are waiting.
  IoResult CheckReady(bool* inputWaiting);
  // Reads and drops what has already arrived, up to `limit` bytes: done
  // with the count dropped once nothing more waits (a count of `limit` means
  // more may still wait), or closed, reset or failed when the stream ended
  // meanwhile.
  IoResult DiscardWaiting(std::size_t limit);
  // One send: done with the count the system took ("send Error" when it is
  // short), or reset or failed.
  IoResult Send(const std::uint8_t* bytes, int count);
  // Waits up to `milliseconds` (platform::kWaitForever: no limit) for bytes
  // or the end of the stream: done, timed out, or failed ("select Error").
  IoResult WaitForInput(int milliseconds);
  // One receive of up to `capacity` bytes: done with the count, closed, or
  // reset or failed ("recv Error").
  IoResult Receive(std::uint8_t* buffer, int capacity);

  platform::SocketHandle SocketHandle;  // 0 when there is no socket
  char LocalHost[LocalHostSize];
  platform::Ipv4SocketAddress LocalAddr;
  char ErrorText[errortext::kSize];
  std::uint16_t WaitSeconds;

 private:
  // The first address the lookup of `name` lists; 0, with the lookup's
  // message, when it found no answer.
  int LookUpName(const char* name, platform::Ipv4SocketAddress* address);
  void ReportMalformedAddress(const char* text);
  void RecordSelectError(int error);

  SocketCalls& Calls;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_TRANSPORT_CTCPSOCKET_H_
