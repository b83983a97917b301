// The transport of one connection: one IPv4 TCP socket, bound to a chosen
// local address and port, with a bounded error text of its own. It does not
// connect; the protocol client connects the bound handle itself.
#ifndef TCPMODBUS_TRANSPORT_CTCPSOCKET_H_
#define TCPMODBUS_TRANSPORT_CTCPSOCKET_H_

#include <cstdint>
#include <string>

#include "platform/Attributes.h"
#include "platform/Sockets.h"
#include "transport/ErrorText.h"

class CTcpSocket {
 public:
  // Size of the one response a receive delivers (261, not 260).
  static constexpr int MaxResponseBytes = 261;
  static constexpr int LocalHostSize = 32;

  CTcpSocket();
  CTcpSocket(const CTcpSocket&) = delete;
  CTcpSocket& operator=(const CTcpSocket&) = delete;
  virtual ~CTcpSocket();

  // Creates the socket and binds it: 1 on success, 0 on failure (the handle
  // is then 0 and ErrorText says why).
  int OpenSocket(std::string localAddress, std::uint16_t localPort);
  // Fills the family and address of `address` from a host name or dotted
  // IPv4 text: 0 only when a host name found no answer, else 1.
  int ResolveAddress(const char* host, platform::Ipv4SocketAddress* address);
  // The count sent when all went out; otherwise 0 (socket not ready), a
  // shorter count, or -1.
  int SendData(const std::uint8_t* bytes, int count);
  // Takes one whole response frame into `buffer` (at least MaxResponseBytes):
  // its size, 0 when the server closed before sending anything or the socket
  // was not ready, or -1 when the receive failed.
  int ReceiveData(std::uint8_t* buffer);
  void SetSocketError(const char* format, ...) TCPMODBUS_PRINTF_FORMAT(2, 3);
  void CloseSocket();

  platform::SocketHandle SocketHandle;  // 0 when there is no socket
  char LocalHost[LocalHostSize];
  platform::Ipv4SocketAddress LocalAddr;
  char ErrorText[errortext::kSize];
  std::uint16_t WaitSeconds;

 private:
  bool IsReady();
  void ReportMalformedAddress(const char* text);
  void KeepFollowingBytes(const std::uint8_t* bytes, int count);

  // Bytes that arrived behind the frame last delivered: the start of the
  // next response, handed out by the next ReceiveData.
  std::uint8_t Pending[MaxResponseBytes];
  int PendingCount;
};

#endif  // TCPMODBUS_TRANSPORT_CTCPSOCKET_H_
