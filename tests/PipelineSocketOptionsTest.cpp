// The socket options of several reads in flight, over in-memory socket
// calls: Nagle's algorithm off for a batch with several in flight and on
// again after it, answers acknowledged at once when every request is sent,
// and neither option for one request at a time.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ClientHarness.h"
#include "ModbusAnswers.h"
#include "ScriptedSockets.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using testsupport::Bytes;
using testsupport::ClientHarness;
using testsupport::ReadAnswer;

// The answer of the request with identifier `id` (the object numbers its
// requests from 1): values of its own, so that a misplaced one shows.
Bytes AnswerOf(std::uint16_t id) {
  Bytes answer = ReadAnswer(3, {id, static_cast<std::uint16_t>(id + 100)});
  answer[0] = static_cast<std::uint8_t>(id >> 8);
  answer[1] = static_cast<std::uint8_t>(id & 0xff);
  return answer;
}

struct Row {
  const char* name;
  unsigned depth;
  // How many requests each send of the batch carries; the answers of a
  // send arrive together.
  std::vector<int> perSend;
  std::vector<std::string> options;
};

// Each row reads a batch of 2-register reads, then one read on its own.
TEST(PipelineSocketOptionsTest, NagleIsOffOnlyWhileSeveralAreInFlight) {
  const Row rows[] = {
      {"depth 1 sets nothing", 1, {1, 1, 1}, {}},
      {"one window",
       8,
       {8},
       {"nodelay on after 0 sends", "quickack after 1 sends",
        "nodelay off after 1 sends"}},
      {"a window and its refill, which carries the acknowledgement",
       8,
       {8, 2},
       {"nodelay on after 0 sends", "quickack after 2 sends",
        "nodelay off after 2 sends"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    scripted::Script script;
    std::uint16_t id = 1;
    for (int requests : row.perSend) {
      Bytes together;
      for (int k = 0; k < requests; ++k, ++id) {
        const Bytes answer = AnswerOf(id);
        together.insert(together.end(), answer.begin(), answer.end());
      }
      script.answers.push_back(together);
    }
    const std::uint16_t reads = static_cast<std::uint16_t>(id - 1);
    script.answers.push_back(AnswerOf(id));
    scripted::ScriptedSockets sockets(script);
    ClientHarness module(sockets);
    module->SetTransactionIds(true);
    ASSERT_EQ(module->SetMaxInFlight(row.depth), 1);
    ASSERT_EQ(module.Initialize({"127.0.0.2"}), 1);

    std::vector<std::array<unsigned short, 2>> values(reads);
    std::vector<tcpmodbus_read> batch;
    for (std::uint16_t i = 0; i < reads; ++i) {
      batch.push_back({TCPMODBUS_TABLE_HOLDING,
                       static_cast<unsigned short>(10 * i), 2, values[i].data(),
                       nullptr, 0, 0, 0});
    }
    EXPECT_EQ(module.Run([&](TCPModbusIntf& client) {
      return client.ReadBatch(batch.data(), reads);
    }),
              1)
        << module->LastFailureText();
    for (std::uint16_t i = 0; i < reads; ++i) {
      EXPECT_EQ(values[i][0], i + 1) << "read " << i;
    }
    std::array<unsigned short, 2> single = {};
    EXPECT_EQ(module.Run([&](TCPModbusIntf& client) {
      return client.ReadHoldRegs(0, single.data(), 2);
    }),
              1);
    EXPECT_EQ(sockets.OptionsSet(), row.options);
  }
}

}  // namespace
