// The transport's local address handling: ResolveAddress and OpenSocket.
// Opens bind loopback addresses with ports other than 502, so they run
// without root.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
#include "ScriptedSockets.h"
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

// Names through in-memory lookups: no real resolver is ever asked.
scripted::Script WithNames() {
  scripted::Script script;
  script.names = {{"plant", {{127, 128, 0, 61}, {127, 0, 0, 61}}},
                  {"office-first", {{192, 0, 2, 2}, {127, 0, 0, 61}}},
                  {"4box", {{127, 0, 0, 64}}}};
  return script;
}

std::string AddressBytes(const platform::Ipv4SocketAddress& address) {
  return ToHex(Bytes(address.address, address.address + 4));
}

// Text that does not begin with a letter is dotted text: split at runs of
// dots, each of the first four parts read as atoi reads it. It is never
// looked up by name.
TEST(ResolveAddressTest, DottedTextGivesFourBytesAndInet) {
  struct Row {
    const char* text;
    std::uint8_t expected[4];
  };
  const Row rows[] = {
      {"10.20.30.40", {10, 20, 30, 40}},
      {"127.0.1.21", {127, 0, 1, 21}},
      {"300.1.2.256", {44, 1, 2, 0}},     // low eight bits of each part
      {"1.2.3.4.5", {1, 2, 3, 4}},        // a fifth part is ignored
      {"1.2.3.4.", {1, 2, 3, 4}},         // so is an empty one
      {"0001.02.3.4", {1, 2, 3, 4}},      // leading zeros are decimal
      {"127.0.0.46 ", {127, 0, 0, 46}},   // a blank after a part
      {" 127.0.0.48", {127, 0, 0, 48}},   // and before one
      {"+127.0.0.47", {127, 0, 0, 47}},   // a sign
      {"127.0.0.49x", {127, 0, 0, 49}},   // the digits up to another character
      {"127.0.0.-210", {127, 0, 0, 46}},  // -210 has the low bits of 46
      {"127..0.0.44", {127, 0, 0, 44}},   // a run of dots splits once
      {".127.0.0.45", {127, 0, 0, 45}},   // a leading dot makes no part
      {"99999999999.0.0.1", {255, 0, 0, 1}},  // beyond int: still its low bits
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    scripted::ScriptedSockets sockets(WithNames());
    CTcpSocket socket(sockets);
    platform::Ipv4SocketAddress address = Marked();
    EXPECT_EQ(socket.ResolveAddress(row.text, &address), 1);
    EXPECT_EQ(address.family, 2);
    EXPECT_EQ(AddressBytes(address),
              ToHex(Bytes(row.expected, row.expected + 4)));
    const platform::Ipv4SocketAddress marked = Marked();
    EXPECT_EQ(address.port, marked.port) << "the port is not ResolveAddress's";
    EXPECT_EQ(std::memcmp(address.zero, marked.zero, 8), 0);
    EXPECT_STREQ(socket.ErrorText, "No Error");
    EXPECT_TRUE(sockets.LookedUp().empty());
  }
}

TEST(ResolveAddressTest, EmptyNameLeavesTheAddress) {
  CTcpSocket socket;
  platform::Ipv4SocketAddress address = Marked();
  EXPECT_EQ(socket.ResolveAddress("", &address), 1);
  EXPECT_EQ(Hex(address), Hex(Marked()));
  EXPECT_STREQ(socket.ErrorText, "No Error");
}

// Dotted text with fewer than four parts names no address: refused, where
// looking it up or binding what an earlier open left would hide the mistake.
TEST(ResolveAddressTest, DottedTextOfFewerThanFourPartsIsRefused) {
  const char* const texts[] = {"1",      "1.2", "1.2.3", "1..2.3", ".1.2.3",
                               "1.2.3.", "...", "*",     "1host",  "-"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    scripted::ScriptedSockets sockets(WithNames());
    CTcpSocket socket(sockets);
    platform::Ipv4SocketAddress address = Marked();
    EXPECT_EQ(socket.ResolveAddress(text, &address), 0);
    EXPECT_EQ(Hex(address), Hex(Marked()));
    EXPECT_EQ(
        std::string(socket.ErrorText),
        std::string("'") + text +
            "' is not a dotted IPv4 address (four numbers separated by dots)");
    EXPECT_TRUE(sockets.LookedUp().empty());
  }
}

// A name binds the first address its lookup lists; one without answer
// leaves the lookup's message and the address as it was.
TEST(ResolveAddressTest, NameGivesTheFirstAddressOfItsLookup) {
  struct Row {
    const char* name;
    int result;
    const char* address;  // hex, or empty: left as it was
    const char* message;
  };
  const Row rows[] = {
      {"plant", 1, "7f 80 00 3d", "No Error"},
      {"office-first", 1, "c0 00 02 02", "No Error"},
      {"nowhere", 0, "",
       "gethostbyname() could not resolve 'nowhere', Error 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    scripted::ScriptedSockets sockets(WithNames());
    CTcpSocket socket(sockets);
    platform::Ipv4SocketAddress address = Marked();
    EXPECT_EQ(socket.ResolveAddress(row.name, &address), row.result);
    EXPECT_EQ(AddressBytes(address),
              row.address[0] != '\0' ? row.address : AddressBytes(Marked()));
    EXPECT_STREQ(socket.ErrorText, row.message);
    EXPECT_EQ(sockets.LookedUp(), std::vector<std::string>{row.name});
  }
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

// The port the system gave a bound socket.
std::uint16_t BoundPort(const CTcpSocket& socket) {
  sockaddr_in bound = {};
#ifdef _WIN32
  int length = sizeof(bound);
  const auto handle = static_cast<SOCKET>(socket.SocketHandle);
#else
  socklen_t length = sizeof(bound);
  const auto handle = static_cast<int>(socket.SocketHandle);
#endif
  EXPECT_EQ(getsockname(handle, reinterpret_cast<sockaddr*>(&bound), &length),
            0);
  return ntohs(bound.sin_port);
}

TEST(OpenSocketTest, PortInUseFailsTheBind) {
  CTcpSocket first;
  ASSERT_EQ(first.OpenSocket("127.0.1.23", 0), 1) << first.ErrorText;
  CTcpSocket second;
  EXPECT_EQ(second.OpenSocket("127.0.1.23", BoundPort(first)), 0);
  EXPECT_EQ(second.SocketHandle, 0u);
  EXPECT_EQ(std::string(second.ErrorText),
            "WSASocket failed. bind Error(" +
                std::to_string(testsupport::PlatformError(98, 10048)) + ")");
}

// The address an open binds: a lookup without answer, or a local host name
// that cannot be fetched, leaves the address of the earlier open.
TEST(OpenSocketTest, BindsWhatTheTextOrTheHostNameGives) {
  struct Row {
    const char* text;
    const char* localHostName;
    const char* bound;
    const char* message;  // ErrorText after the open, which succeeds
  };
  const Row rows[] = {
      {"plant", "scripted-host", "7f 80 00 3d", "No Error"},
      {"", "plant", "7f 80 00 3d", "No Error"},
      {"", "4box", "7f 00 00 40", "No Error"},  // a name all the same
      {"", "127.0.0.63", "7f 00 00 3f", "No Error"},
      {"nowhere", "scripted-host", "7f 00 01 18",
       "gethostbyname() could not resolve 'nowhere', Error 1"},
      {"", "", "7f 00 01 18", "gethostame() failed (error 22)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("'") + row.text + "' on '" + row.localHostName +
                 "'");
    scripted::Script script = WithNames();
    script.localHostName = row.localHostName;
    scripted::ScriptedSockets sockets(script);
    CTcpSocket socket(sockets);
    ASSERT_EQ(socket.OpenSocket("127.0.1.24", 0), 1) << socket.ErrorText;
    socket.CloseSocket();
    EXPECT_EQ(socket.OpenSocket(row.text, 0), 1);
    EXPECT_EQ(AddressBytes(socket.LocalAddr), row.bound);
    EXPECT_STREQ(socket.ErrorText, row.message);
    EXPECT_STREQ(socket.LocalHost,
                 row.text[0] != '\0' ? row.text : "127.0.1.24");
  }
}

#ifndef _WIN32
// The system's own lookup, with a hosts file that lists two addresses for
// one name (tests/support/with-hosts-file.sh runs this with one): the first
// one listed is bound, whatever a sorting resolver would prefer.
TEST(OpenSocketTest, AHostsFileNameBindsItsFirstAddress) {
  if (std::getenv("TCPMODBUS_TEST_HOSTS_FILE") == nullptr) {
    GTEST_SKIP() << "needs its own hosts file: run through with-hosts-file.sh";
  }
  CTcpSocket first;
  ASSERT_EQ(first.OpenSocket("tcpmodbus-plant", 0), 1) << first.ErrorText;
  EXPECT_EQ(AddressBytes(first.LocalAddr), "7f 80 00 3d");
  // Whether 192.0.2.2 is an address of this machine decides the bind, not
  // which address is taken.
  CTcpSocket second;
  second.OpenSocket("tcpmodbus-office", 0);
  EXPECT_EQ(AddressBytes(second.LocalAddr), "c0 00 02 02");
}
#endif

// The transport's single send and receive, over in-memory socket calls: the
// count, 0 or -1, and the message each failure leaves.
TEST(TransportTest, SendDataAndReceiveDataReportAsCounts) {
  struct Row {
    const char* what;
    scripted::Script script;
    int receives;  // 0: the send is what is checked
    int result;    // of the last call
    std::string message;
  };
  auto script = [](int shortSendAt, int notReadyAt, bool failAtEnd) {
    scripted::Script s;
    s.answers = {{1, 2, 3}};
    s.shortSendAt = shortSendAt;
    s.notReadyAt = notReadyAt;
    s.failAtEnd = failAtEnd;
    return s;
  };
  const std::uint8_t request[12] = {};
  const Row rows[] = {
      {"whole send", script(-1, -1, false), 0, 12, "No Error"},
      {"send taken in part", script(0, -1, false), 0, 6,
       "WSASocket failed. send Error(0)"},
      {"send while not ready", script(-1, 0, false), 0, 0,
       "WSASocket failed. select Error(0)"},
      {"receive of the answer", script(-1, -1, false), 1, 3, "No Error"},
      {"receive after the close", script(-1, -1, false), 2, 0, "No Error"},
      {"receive after a reset", script(-1, -1, true), 2, -1,
       "WSASocket failed. recv Error(" + std::to_string(ECONNRESET) + ")"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    scripted::ScriptedSockets sockets(row.script);
    CTcpSocket socket(sockets);
    ASSERT_EQ(socket.OpenSocket("127.0.0.1", 0), 1);
    std::uint8_t buffer[CTcpSocket::MaxResponseBytes];
    // The send makes the 3-byte answer arrive; a second receive meets the
    // end of the stream.
    int result = socket.SendData(request, 12);
    for (int i = 0; i < row.receives; ++i) result = socket.ReceiveData(buffer);
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(socket.ErrorText, row.message);
  }
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
  const tcpmodbus::IoResult connected =
      socket.Connect("127.0.1.27", BoundPort(socket), 0);
  EXPECT_EQ(connected.kind, tcpmodbus::IoResult::Kind::kFailed);
  EXPECT_EQ(connected.error, testsupport::PlatformError(111, 10061));
}

}  // namespace
