// The transport of one connection: one IPv4 TCP socket, bound to a chosen
// local address and port, with a bounded error text of its own. The protocol
// client decides when to connect the bound handle and words the failure.
#ifndef TCPMODBUS_TRANSPORT_CTCPSOCKET_H_
#define TCPMODBUS_TRANSPORT_CTCPSOCKET_H_

#include <cstdint>
#include <string>

#include "common/Attributes.h"
#include "common/ErrorText.h"
#include "common/MbapFrame.h"
#include "platform/Sockets.h"

class CTcpSocket {
 public:
  // Largest answer a receive delivers (261, not 260).
  static constexpr int MaxResponseBytes = mbap::kMaxFrameSize;
  static constexpr int LocalHostSize = 32;
  // Longest wait for each further piece of an answer that arrived in part;
  // the wait for its first byte has no limit. libmodbus allows the same
  // between the bytes of a frame.
  static constexpr int ContinuationWaitMs = 500;
  // ReceiveData's result when nothing arrived within ResponseTimeoutMs.
  static constexpr int TimedOut = -2;

  CTcpSocket();
  CTcpSocket(const CTcpSocket&) = delete;
  CTcpSocket& operator=(const CTcpSocket&) = delete;
  virtual ~CTcpSocket();

  // Creates the socket and binds it: 1 on success, 0 on failure (the handle
  // is then 0 and ErrorText says why).
  int OpenSocket(std::string localAddress, std::uint16_t localPort);
  // Fills the family and address of `address` from a host name or dotted
  // IPv4 text: 0 when a host name found no answer or text of digits and dots
  // is not four dotted numbers (ErrorText then says which), else 1.
  int ResolveAddress(const char* host, platform::Ipv4SocketAddress* address);
  // Connects the bound handle to dotted IPv4 `serverAddress`:`port`. False
  // with the platform's error number in `error` when it failed (text that is
  // not a dotted address: the invalid-argument number); the handle is left
  // as it is, for the caller to record and close.
  bool Connect(const char* serverAddress, std::uint16_t port, int* error);
  // Discards what is already waiting on the socket (it arrived before this
  // request, so it answers none), then sends once. The count sent when all
  // went out; otherwise 0 (socket not ready), a shorter count, or -1.
  int SendData(const std::uint8_t* bytes, int count);
  // Takes the answer to the request just sent into `buffer` (at least
  // MaxResponseBytes), for `answer`, what a complete answer looks like: one
  // receive, then further pieces only while mbap::MissingAnswerBytes asks
  // for them, each within ContinuationWaitMs and never more than it asks. The
  // count received (1 to 261); 0 when the server closed before sending anything
  // or the socket was not ready; -1 when the first receive failed; TimedOut
  // when ResponseTimeoutMs passed before the first byte. With a response
  // time-out, the pieces must also arrive within it.
  int ReceiveData(std::uint8_t* buffer, const mbap::ExpectedAnswer& answer);
  void SetSocketError(const char* format, ...) TCPMODBUS_PRINTF_FORMAT(2, 3);
  void CloseSocket();
  // Closes at once, with a reset instead of the orderly end: for a
  // connection given up in the middle of an exchange, so that the module's
  // late answer goes nowhere and the local port is free again at once.
  void AbortSocket();

  platform::SocketHandle SocketHandle;  // 0 when there is no socket
  char LocalHost[LocalHostSize];
  platform::Ipv4SocketAddress LocalAddr;
  char ErrorText[errortext::kSize];
  std::uint16_t WaitSeconds;
  // Options, 0 (no limit of the library's own) until the host sets them.
  unsigned ConnectTimeoutMs;   // longest wait of Connect
  unsigned ResponseTimeoutMs;  // longest wait for an answer
  // Whether the last ReceiveData stopped because a wait expired, and
  // whether it met the end of the stream or a failure after the first piece.
  bool WaitExpired;
  bool StreamEnded;

 private:
  bool IsReady(bool* inputWaiting);
  // WaitReadable with its failure recorded: >0 input, 0 time-out, -1.
  int WaitForInput(int milliseconds);
  void ReportMalformedAddress(const char* text);
  void RecordSelectError();
  void RecordReceiveError();
};

#endif  // TCPMODBUS_TRANSPORT_CTCPSOCKET_H_
