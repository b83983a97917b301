// CTcpSocket with name look-up on: the server reached by a host name or an
// IPv6 address, each of its addresses tried in the order of the system's
// look-up, from a local address of the same family.
#include <chrono>
#include <string>

#include "transport/CTcpSocket.h"

namespace tcpmodbus {

int CTcpSocket::LookUpServer(const char* server, std::uint16_t port) {
  NextServer = 0;
  const IoResult looked = Calls.LookUpAddresses(server, port, &ServerAddresses);
  if (looked.done()) return 1;
  ServerAddresses.count = 0;
  ReportLookupFailure(server, looked.error);
  return 0;
}

int CTcpSocket::OpenForServer(const std::string& localAddress,
                              std::uint16_t localPort) {
  LocalText = localAddress;
  NextServer = 0;
  // No text: the look-up gives the wildcard address of each family.
  const IoResult looked = Calls.LookUpAddresses(
      localAddress.empty() ? nullptr : localAddress.c_str(), localPort,
      &LocalAddresses);
  if (!looked.done()) {
    LocalAddresses.count = 0;
    ReportLookupFailure(localAddress.c_str(), looked.error);
    return 0;
  }
  return OpenNextAddress();
}

int CTcpSocket::OpenNextAddress() {
  bool paired = NextServer > 0;
  while (NextServer < ServerAddresses.count) {
    const platform::SocketAddress& server =
        ServerAddresses.entries[NextServer++];
    const platform::SocketAddress* local = LocalFor(server);
    if (local == nullptr) continue;
    paired = true;
    const IoResult opened =
        Calls.OpenStreamSocket(server.family, &SocketHandle);
    if (!opened.done()) {
      SetSocketError(opened.error, "WSASocket failed. OpenSocket Error(%d)",
                     opened.error);
      OpenFailed();
      continue;
    }
    const IoResult bound = Calls.BindAddress(SocketHandle, *local);
    if (!bound.done()) {
      SetSocketError(bound.error, "WSASocket failed. bind Error(%d)",
                     bound.error);
      OpenFailed();
      continue;
    }
    return 1;
  }
  if (!paired) {
    SetSocketError(
        0, "The local address '%s' has no address of the server's family",
        LocalText.c_str());
  }
  return 0;
}

IoResult CTcpSocket::ConnectToAnyAddress(unsigned timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(timeoutMs);
  // Only after OpenForServer opened a socket; anything else has nothing to
  // connect to.
  if (NextServer == 0 || SocketHandle == 0) return IoResult::Failed(0);
  for (;;) {
    const platform::SocketAddress& server =
        ServerAddresses.entries[NextServer - 1];
    unsigned wait = 0;  // as long as the system allows
    if (timeoutMs != 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - Clock::now())
                            .count();
      const long long share = left / (AttemptsAfter() + 1);
      wait = share < 1 ? 1 : static_cast<unsigned>(share);
    }
    const IoResult connected =
        Calls.ConnectAddress(SocketHandle, server, wait, CancelRequest);
    if (connected.done() || connected.cancelled() || AttemptsAfter() == 0 ||
        (timeoutMs != 0 && Clock::now() >= deadline)) {
      return connected;
    }
    CloseSocket();
    if (!OpenNextAddress()) return connected;
  }
}

bool CTcpSocket::IsDottedIpv4(const char* text) {
  std::uint8_t address[4];
  return Calls.ParseIpv4(text, address).done();
}

const platform::SocketAddress* CTcpSocket::LocalFor(
    const platform::SocketAddress& server) const {
  for (int i = 0; i < LocalAddresses.count; ++i) {
    if (LocalAddresses.entries[i].family == server.family) {
      return &LocalAddresses.entries[i];
    }
  }
  return nullptr;
}

int CTcpSocket::AttemptsAfter() const {
  int attempts = 0;
  for (int i = NextServer; i < ServerAddresses.count; ++i) {
    if (LocalFor(ServerAddresses.entries[i]) != nullptr) ++attempts;
  }
  return attempts;
}

void CTcpSocket::ReportLookupFailure(const char* name, int error) {
  char words[128];
  platform::DescribeLookupError(error, words, sizeof(words));
  SetSocketError(0, "getaddrinfo() could not resolve '%s', Error %d: %s", name,
                 error, words);
}

}  // namespace tcpmodbus
