// The transport's local address handling: ResolveAddress and OpenSocket.
// Opens bind loopback addresses with ports other than 502, so they run
// without root.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

// Before PlatformError.h, whose windows.h must come after winsock2.h.
#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "FakeModbusServer.h"
#include "PlatformError.h"
#include "transport/CTcpSocket.h"

namespace {

using tcpmodbus::CTcpSocket;
namespace platform = tcpmodbus::platform;

using testsupport::Bytes;
using testsupport::ToHex;

// An address with recognisable contents, to see what a call left alone.
platform::Ipv4SocketAddress Marked() {
  platform::Ipv4SocketAddress address;
  std::memset(&address, 0x5a, sizeof(address));
  return address;
}

std::string Hex(const platform::Ipv4SocketAddress& address) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
  return ToHex(Bytes(bytes, bytes + sizeof(address)));
}

TEST(ResolveAddressTest, DottedTextGivesFourBytesAndInet) {
  struct Row {
    const char* text;
    std::uint8_t expected[4];
  };
  const Row rows[] = {
      {"10.20.30.40", {10, 20, 30, 40}}, {"127.0.1.21", {127, 0, 1, 21}},
      {"300.1.2.256", {44, 1, 2, 0}},  // low eight bits of each part
      {"1.2.3.4.5", {1, 2, 3, 4}},     // a fifth part is ignored
      {"1.2.3.4.", {1, 2, 3, 4}},      // so is an empty one
      {"0001.02.3.4", {1, 2, 3, 4}},   // leading zeros are decimal
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    CTcpSocket socket;
    platform::Ipv4SocketAddress address = Marked();
    EXPECT_EQ(socket.ResolveAddress(row.text, &address), 1);
    EXPECT_EQ(address.family, 2);
    EXPECT_EQ(ToHex(Bytes(address.address, address.address + 4)),
              ToHex(Bytes(row.expected, row.expected + 4)));
    const platform::Ipv4SocketAddress marked = Marked();
    EXPECT_EQ(address.port, marked.port) << "the port is not ResolveAddress's";
    EXPECT_EQ(std::memcmp(address.zero, marked.zero, 8), 0);
    EXPECT_STREQ(socket.ErrorText, "No Error");
  }
}

TEST(ResolveAddressTest, EmptyNameLeavesTheAddress) {
  CTcpSocket socket;
  platform::Ipv4SocketAddress address = Marked();
  EXPECT_EQ(socket.ResolveAddress("", &address), 1);
  EXPECT_EQ(Hex(address), Hex(Marked()));
  EXPECT_STREQ(socket.ErrorText, "No Error");
}

TEST(ResolveAddressTest, DigitsAndDotsThatAreNotFourNumbersAreRefused) {
  const char* const texts[] = {"1",      "1.2",    "1.2.3", "1..2.3",
                               ".1.2.3", "1.2.3.", "..."};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    CTcpSocket socket;
    platform::Ipv4SocketAddress address = Marked();
    EXPECT_EQ(socket.ResolveAddress(text, &address), 0);
    EXPECT_EQ(Hex(address), Hex(Marked()));
    EXPECT_EQ(
        std::string(socket.ErrorText),
        std::string("'") + text +
            "' is not a dotted IPv4 address (four numbers separated by dots)");
  }
}

TEST(ResolveAddressTest, NameWithoutAnswerLeavesLookupMessage) {
  CTcpSocket socket;
  platform::Ipv4SocketAddress address = Marked();
  EXPECT_EQ(socket.ResolveAddress("*", &address), 0);
  EXPECT_EQ(Hex(address), Hex(Marked()));
  const std::string prefix = "gethostbyname() could not resolve '*', Error ";
  const std::string text = socket.ErrorText;
  ASSERT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
  const std::string number = text.substr(prefix.size());
  ASSERT_FALSE(number.empty());
  EXPECT_EQ(number.find_first_not_of("-0123456789"), std::string::npos) << text;
}

TEST(ResolveAddressTest, LocalhostNameResolves) {
  CTcpSocket socket;
  platform::Ipv4SocketAddress address = Marked();
  ASSERT_EQ(socket.ResolveAddress("localhost", &address), 1)
      << socket.ErrorText;
  EXPECT_EQ(address.family, 2);
  EXPECT_EQ(address.address[0], 127);
}

TEST(OpenSocketTest, AddressTextOf31CharactersFitsWhole) {
  const std::string text = "127.0.1.22.000000000000000000000";
  ASSERT_EQ(text.size(), 32u);
  const std::string fits = text.substr(0, 31);
  CTcpSocket socket;
  ASSERT_EQ(socket.OpenSocket(fits, 0), 1) << socket.ErrorText;
  EXPECT_NE(socket.SocketHandle, 0u);
  EXPECT_EQ(std::string(socket.LocalHost), fits);
  EXPECT_EQ(socket.LocalAddr.family, 2);
  EXPECT_EQ(
      ToHex(Bytes(socket.LocalAddr.address, socket.LocalAddr.address + 4)),
      "7f 00 01 16");
  socket.CloseSocket();
  EXPECT_EQ(socket.SocketHandle, 0u);
}

TEST(OpenSocketTest, AddressTextOf32OrMoreCharactersIsRefused) {
  const std::string texts[] = {"127.0.1.22.000000000000000000000",
                               "127.0.1.22." + std::string(100, '9')};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    CTcpSocket socket;
    EXPECT_EQ(socket.OpenSocket(text, 0), 0);
    EXPECT_EQ(socket.SocketHandle, 0u);
    EXPECT_STREQ(socket.LocalHost, "");
    EXPECT_EQ(std::string(socket.ErrorText),
              "OpenSocket failed. Local address text is too long (" +
                  std::to_string(text.size()) + " characters, at most 31): '" +
                  text + "'");
  }
}

TEST(OpenSocketTest, PortInUseFailsTheBind) {
  CTcpSocket first;
  ASSERT_EQ(first.OpenSocket("127.0.1.23", 15023), 1) << first.ErrorText;
  CTcpSocket second;
  EXPECT_EQ(second.OpenSocket("127.0.1.23", 15023), 0);
  EXPECT_EQ(second.SocketHandle, 0u);
  EXPECT_EQ(std::string(second.ErrorText),
            "WSASocket failed. bind Error(" +
                std::to_string(testsupport::PlatformError(98, 10048)) + ")");
}

TEST(OpenSocketTest, LookupMessageStaysWhenTheBindSucceeds) {
  CTcpSocket socket;
  ASSERT_EQ(socket.OpenSocket("127.0.1.24", 0), 1) << socket.ErrorText;
  socket.CloseSocket();
  // No answer for the name: the bind uses the address the first open left.
  ASSERT_EQ(socket.OpenSocket("*", 0), 1) << socket.ErrorText;
  EXPECT_STREQ(socket.LocalHost, "*");
  EXPECT_EQ(
      ToHex(Bytes(socket.LocalAddr.address, socket.LocalAddr.address + 4)),
      "7f 00 01 18");
  EXPECT_THAT(
      socket.ErrorText,
      testing::StartsWith("gethostbyname() could not resolve '*', Error "));
}

#ifndef _WIN32
// A host started with its standard output or error closed must not get the
// socket there: the trace would be written into the connection.
TEST(OpenSocketTest, NeverTakesAStandardDescriptor) {
  const int savedOut = dup(1);
  const int savedErr = dup(2);
  ASSERT_GE(savedOut, 0);
  ASSERT_GE(savedErr, 0);
  close(1);
  close(2);
  CTcpSocket socket;
  const int opened = socket.OpenSocket("127.0.1.26", 0);
  const platform::SocketHandle handle = socket.SocketHandle;
  socket.CloseSocket();
  dup2(savedOut, 1);
  dup2(savedErr, 2);
  close(savedOut);
  close(savedErr);
  EXPECT_EQ(opened, 1) << socket.ErrorText;
  EXPECT_GE(handle, 3u);
}
#endif

// With the local port equal to the server's and the same address, TCP
// connects the socket to itself; no server answered, and that is what the
// failure says.
// The port is one the system chose, so that the connection's TIME_WAIT
// never blocks the next run.
TEST(ConnectTest, ASocketConnectedToItselfIsRefused) {
  CTcpSocket socket;
  ASSERT_EQ(socket.OpenSocket("127.0.1.27", 0), 1) << socket.ErrorText;
  sockaddr_in bound = {};
#ifdef _WIN32
  int length = sizeof(bound);
  const auto handle = static_cast<SOCKET>(socket.SocketHandle);
#else
  socklen_t length = sizeof(bound);
  const auto handle = static_cast<int>(socket.SocketHandle);
#endif
  ASSERT_EQ(getsockname(handle, reinterpret_cast<sockaddr*>(&bound), &length),
            0);
  const tcpmodbus::IoResult connected =
      socket.Connect("127.0.1.27", ntohs(bound.sin_port), 0);
  EXPECT_EQ(connected.kind, tcpmodbus::IoResult::Kind::kFailed);
  EXPECT_EQ(connected.error, testsupport::PlatformError(111, 10061));
}

}  // namespace
