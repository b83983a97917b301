// The transport of one connection: one TCP socket (IPv4, or with name
// look-up on of the server address's family), bound to a chosen local
// address and port, with a bounded error text of its own. It offers
// the steps the layers above need (open, connect, send, receive, close),
// each returning how it ended; the protocol client decides what an exchange
// makes of them. The socket calls themselves are the SocketCalls it is
// given: the operating system's unless a test gives a stand-in.
#ifndef TCPMODBUS_TRANSPORT_CTCPSOCKET_H_
#define TCPMODBUS_TRANSPORT_CTCPSOCKET_H_

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
  // is then 0, and ErrorText and ErrorNumber say why; ErrorNumber is 0 for
  // a local address text refused before any system call).
  int OpenSocket(std::string localAddress, std::uint16_t localPort);
  // Fills the family and address of `address` from a host name (text that
  // begins with a letter: the first address its lookup lists) or dotted
  // IPv4 text (any other text): 0 when a host name found no answer or the
  // dotted text has fewer than four parts (ErrorText then says which),
  // else 1.
  int ResolveAddress(const char* host, platform::Ipv4SocketAddress* address);
  // Connects the bound handle to dotted IPv4 `serverAddress`:`port`, waiting
  // at most `timeoutMs` (0: as long as the system allows). Text that is not
  // a dotted address fails with the invalid-argument number; the handle is
  // left as it is, and nothing recorded, for the caller to word and close.
  IoResult Connect(const char* serverAddress, std::uint16_t port,
                   unsigned timeoutMs);

  // The readiness check (whether the socket is writable within
  // WaitSeconds, a poll; "select Error" when not), then one send of `count`
  // bytes ("send Error" when it is short): the count when all went out;
  // otherwise 0 (not ready), a shorter count, or -1.
  int SendData(const std::uint8_t* bytes, int count);
  // The same as a step. Between the check and the send, `beforeSend(state)`
  // is given what the check saw of the stream (input waiting, a failed
  // connection) and returns whether to send: the exchange drops or renews
  // what it must there, and traces its request, with no system call of its
  // own. Done with the count the system took; not ready; reset or failed;
  // or, when `beforeSend` declined, the check's result.
  template <typename BeforeSend>
  IoResult SendData(const std::uint8_t* bytes, int count,
                    BeforeSend beforeSend) {
    platform::StreamState state;
    const IoResult ready = CheckReady(&state);
    if (!beforeSend(ready, state) || !ready.done()) return ready;
    return Send(bytes, count);
  }
  // The readiness check, then one receive of up to MaxResponseBytes into
  // `buffer`: the count; 0 when the server has closed the connection or the
  // socket was not ready; -1 when the receive failed ("recv Error").
  int ReceiveData(std::uint8_t* buffer);
  // The same as a step, of up to `capacity` bytes: done with the count,
  // closed, not ready, reset or failed.
  IoResult ReceiveData(std::uint8_t* buffer, int capacity);
  // One receive of what has already arrived, never waiting: done with the
  // count, timed out when nothing waits, or closed, reset or failed.
  IoResult ReceiveWaiting(std::uint8_t* buffer, int capacity);
  // Waits up to `milliseconds` (platform::kWaitForever: no limit) for bytes
  // or the end of the stream: done, timed out, cancelled, or failed
  // ("select Error").
  IoResult WaitForInput(int milliseconds);

  void SetSocketError(const char* format, ...) TCPMODBUS_PRINTF_FORMAT(2, 3);
  // Records a failure with the system's error number it has.
  void SetSocketError(int systemError, const char* format, ...)
      TCPMODBUS_PRINTF_FORMAT(3, 4);
  // Nagle's algorithm off (`noDelay`) or back on, and acknowledging what
  // arrives at once: best effort, for several requests in flight (a failure
  // changes nothing else and is not recorded).
  void SetNoDelay(bool noDelay);
  void AcknowledgeAtOnce();
  void CloseSocket();
  // Closes at once, with a reset instead of the orderly end: for a
  // connection given up in the middle of an exchange, so that the module's
  // late answer goes nowhere and the local port is free again at once.
  void AbortSocket();

  // Host names and IPv6. With name look-up on, the front opens and the
  // protocol client connects through these instead of OpenSocket and
  // Connect: both texts go to the system's look-up (getaddrinfo), which
  // takes dotted IPv4, IPv6 addresses and host names, and each socket has
  // the family of the server address it is for.

  // Looks up `server` for `port`: 1, or 0 with the look-up's message in
  // ErrorText (ErrorNumber 0: the look-up's own number is in the text).
  int LookUpServer(const char* server, std::uint16_t port);
  // Looks up `localAddress` for `localPort` (empty: the wildcard address of
  // each family), then opens and binds a socket for the first of the
  // server's addresses that it has an address of the family of: 1, or 0
  // with no socket and the last failure in ErrorText and ErrorNumber.
  int OpenForServer(const std::string& localAddress, std::uint16_t localPort);
  // Connects the socket OpenForServer opened; when that fails, each further
  // server address in turn gets a socket of its own, until one connects or
  // none is left. The attempts share `timeoutMs` (0: each waits as long as
  // the system allows): each waits at most an equal share of what is left,
  // so that an address that does not answer leaves time for the next ones.
  // The last connect's result; nothing is recorded, as with Connect.
  IoResult ConnectToAnyAddress(unsigned timeoutMs);
  // Whether Connect takes `text`: dotted IPv4 text.
  bool IsDottedIpv4(const char* text);

  platform::SocketHandle SocketHandle;  // 0 when there is no socket
  char LocalHost[LocalHostSize];
  platform::Ipv4SocketAddress LocalAddr;
  char ErrorText[errortext::kSize];
  // The system's error number of the failure ErrorText tells, 0 if none.
  int ErrorNumber;
  std::uint16_t WaitSeconds;
  // Set from another thread to end the waits of the connect and of
  // WaitForInput: not owned; null, none is cancellable.
  const platform::CancelFlag* CancelRequest = nullptr;

 private:
  // The readiness check; `state`, when not null, tells what else it saw.
  IoResult CheckReady(platform::StreamState* state);
  IoResult Send(const std::uint8_t* bytes, int count);
  // The first address the lookup of `name` lists; 0, with the lookup's
  // message, when it found no answer.
  int LookUpName(const char* name, platform::Ipv4SocketAddress* address);
  void ReportMalformedAddress(const char* text);
  // OpenSocket's failure after the socket was made: closed, 0.
  int OpenFailed();
  // With name look-up on: opens and binds a socket for the next server
  // address that a local address has the family of.
  int OpenNextAddress();
  const platform::SocketAddress* LocalFor(
      const platform::SocketAddress& server) const;
  // Attempts still to come after the current one.
  int AttemptsAfter() const;
  void ReportLookupFailure(const char* name, int error);

  SocketCalls& Calls;
  // With name look-up on: the addresses of the last look-ups, and the next
  // server address to try.
  platform::AddressList ServerAddresses;
  platform::AddressList LocalAddresses;
  std::string LocalText;
  int NextServer = 0;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_TRANSPORT_CTCPSOCKET_H_
