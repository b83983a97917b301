// The bounded error records of the transport and of the protocol client.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "modbus/CMBusTCP.h"
#include "transport/CTcpSocket.h"

namespace {

struct Record {
  const char* owner;
  std::function<void(const char*)> set;  // formats "%s" with the text
  std::function<const char*()> text;
};

class ErrorTextTest : public testing::Test {
 protected:
  CTcpSocket socket_;
  CMBusTCP client_;
  Record records_[2] = {
      {"CTcpSocket::SetSocketError",
       [this](const char* text) { socket_.SetSocketError("%s", text); },
       [this] { return socket_.ErrorText; }},
      {"CMBusTCP::SetClientError",
       [this](const char* text) { client_.SetClientError("%s", text); },
       [this] { return client_.ErrorText; }},
  };
};

TEST_F(ErrorTextTest, LongMessageIsCutAt255Characters) {
  std::string message(300, 'x');
  for (std::size_t i = 0; i < message.size(); ++i) {
    message[i] = static_cast<char>('a' + i % 26);
  }
  for (const Record& record : records_) {
    SCOPED_TRACE(record.owner);
    record.set(message.c_str());
    EXPECT_EQ(std::strlen(record.text()), 255u);
    EXPECT_EQ(std::string(record.text()), message.substr(0, 255));
  }
}

TEST_F(ErrorTextTest, MessageOf255CharactersIsKeptWhole) {
  const std::string message(255, 'q');
  for (const Record& record : records_) {
    SCOPED_TRACE(record.owner);
    record.set(message.c_str());
    EXPECT_EQ(std::string(record.text()), message);
  }
}

TEST_F(ErrorTextTest, EachWriteReplacesTheWholeText) {
  for (const Record& record : records_) {
    SCOPED_TRACE(record.owner);
    record.set(std::string(200, 'z').c_str());
    record.set("short");
    EXPECT_STREQ(record.text(), "short");
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
