// The bounded error records of the transport and of the protocol client.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "modbus/CMBusTCP.h"
#include "transport/CTcpSocket.h"

namespace {

using tcpmodbus::CMBusTCP;
using tcpmodbus::CTcpSocket;

struct Record {
  const char* owner;
  std::function<void(const char*)> set;  // formats "%s" with the text
  std::function<const char*()> text;
};

class ErrorTextTest : public testing::Test {
 protected:
  CTcpSocket socket_;
  const tcpmodbus::TraceOutput trace_{tcpmodbus::kDefaultOptions};
  tcpmodbus::ConnectionState connection_;
  CMBusTCP client_{tcpmodbus::kDefaultOptions, trace_, connection_};
  Record records_[2] = {
      {"CTcpSocket::SetSocketError",
       [this](const char* text) { socket_.SetSocketError("%s", text); },
       [this] { return socket_.ErrorText; }},
      {"CMBusTCP::SetClientError",
       [this](const char* text) { client_.SetClientError("%s", text); },
       [this] { return client_.ErrorText; }},
  };
};

// Each row writes its texts in turn; the record then holds `expected`: at
// most 255 characters, each write replacing the whole text.
TEST_F(ErrorTextTest, KeepsTheLastTextCutAt255Characters) {
  std::string alphabet(300, 'x');
  for (std::size_t i = 0; i < alphabet.size(); ++i) {
    alphabet[i] = static_cast<char>('a' + i % 26);
  }
  struct Row {
    const char* what;
    std::vector<std::string> writes;
    std::string expected;
  };
  const Row rows[] = {
      {"300 characters", {alphabet}, alphabet.substr(0, 255)},
      {"255 characters", {std::string(255, 'q')}, std::string(255, 'q')},
      {"a long text, then a short one",
       {std::string(200, 'z'), "short"},
       "short"},
  };
  for (const Row& row : rows) {
    for (const Record& record : records_) {
      SCOPED_TRACE(std::string(row.what) + ", " + record.owner);
      for (const std::string& text : row.writes) record.set(text.c_str());
      EXPECT_EQ(std::string(record.text()), row.expected);
    }
  }
}

TEST_F(ErrorTextTest, FormatsItsArguments) {
  socket_.SetSocketError("WSASocket failed. bind Error(%d)", 98);
  client_.SetClientError("%s: Null socket (%d)", "CMBusTCP::ConnectToServer",
                         3);
  EXPECT_STREQ(socket_.ErrorText, "WSASocket failed. bind Error(98)");
  EXPECT_STREQ(client_.ErrorText, "CMBusTCP::ConnectToServer: Null socket (3)");
}

}  // namespace
