// Fuzzes whole register operations: the front, the protocol client's
// gathering of answers and the transport, over in-memory socket calls that
// hand the fuzzer's answers to the receives, split wherever the input says.
// Besides memory safety it checks that a read that succeeds delivers the
// values of the answer to its own request, never of an earlier one: without
// transaction identifiers, an answer is made only of bytes that arrived after
// its request, even when every answer is served twice or carries extra bytes;
// with them, answers to earlier requests come late, before or after the
// right one, and frames with identifiers no request had come too.
//
// Input layout:
//   byte 0    bits 0-1, with bit 0 of byte 2 adding 4: first operation
//             (read holding, read input, write one, write several, read
//             coils, read/write registers); the following ones rotate
//             through the six.
//             bit 2: the stream ends in a failed receive instead of a close.
//             bit 3: the first send is accepted only in part.
//             bit 4: the first receive's readiness check times out.
//             bits 5-6: number of operations on the connection, less one.
//             bit 7: the server sends every answer twice.
//   bytes 1-2 register count (big-endian): below 512 unless bit 7 of byte 1
//             is set, then any value.
//   byte 3    bits 0-3: k = number of receive sizes that follow, then k
//             bytes, each the size of one receive.
//             bit 4: transaction identifiers on; answer n carries
//             identifier n + 1 (bytes 0-1 of the fuzzer's answer are
//             replaced).
//             bit 5 (identifiers on): a copy of the previous answer comes
//             before each answer; bit 6: one comes after it; bit 7: a copy
//             of each answer with an identifier no request had (0x7fff)
//             comes before it.
//   byte 4    bit 7: a response time-out, so that a request nothing answers
//             times out (and, with identifiers, its answer may come late).
//             bit 6 (identifiers on): each answer whose first frame frames
//             whole is split around the next send: bits 0-2 of its bytes
//             arrive after its own request, bits 3-5 more while the client
//             is idle before the next request, the rest only after that
//             request (the first frame always keeps a byte for the last
//             part).
//   the rest  the answers, one per operation: each but the last preceded by
//             its size (2 bytes, big-endian, cut to what is left); the last
//             takes the rest.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ScriptedSockets.h"
#include "front/CTCPModbus.h"
#include "modbus/AnswerFraming.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

constexpr std::uint16_t kSentinel = 0xa5c3;

void Require(bool condition) {
  if (!condition) std::abort();
}

// Fixed contents to fill the caller's array with and to compare it against.
// memcpy and memcmp keep the harness's own loops out of the comparison
// tracing, which would otherwise take most of the time of every run.
struct Fixed {
  Fixed() : sentinels(65537, kSentinel), written(65536) {
    for (std::size_t i = 0; i < written.size(); ++i) {
      written[i] = static_cast<std::uint16_t>(i * 257);
    }
  }
  std::vector<std::uint16_t> sentinels;
  std::vector<std::uint16_t> written;
};

const Fixed& Contents() {
  static const Fixed fixed;
  return fixed;
}

bool Same(const std::uint16_t* values, const std::vector<std::uint16_t>& fixed,
          std::size_t count) {
  return std::memcmp(values, fixed.data(), count * sizeof(std::uint16_t)) == 0;
}

bool Terminated(const char* text) {
  return text != nullptr && ::strnlen(text, 256) < 256;
}

// The values a read of `count` registers takes from `answer`, when it holds
// them.
bool DeliveredFrom(const scripted::Bytes& answer, const std::uint16_t* values,
                   std::size_t count) {
  if (answer.size() < 9 + 2 * count) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned value = (answer[9 + 2 * i] << 8) | answer[10 + 2 * i];
    if (values[i] != value) return false;
  }
  return true;
}

void SetId(scripted::Bytes* frame, std::uint16_t id) {
  if (frame->size() < 2) return;
  (*frame)[0] = static_cast<std::uint8_t>(id >> 8);
  (*frame)[1] = static_cast<std::uint8_t>(id & 0xff);
}

void Append(scripted::Bytes* to, const scripted::Bytes& bytes) {
  to->insert(to->end(), bytes.begin(), bytes.end());
}

// What the peer sends after each request when identifiers are on: the own
// answers (identifiers 1, 2, ...), with copies of earlier ones and foreign
// frames around them as `options` (byte 3) says.
std::vector<scripted::Bytes> Served(const std::vector<scripted::Bytes>& own,
                                    std::uint8_t options) {
  std::vector<scripted::Bytes> served;
  for (std::size_t n = 0; n < own.size(); ++n) {
    scripted::Bytes segment;
    if ((options & 0x20) != 0 && n > 0) Append(&segment, own[n - 1]);
    if ((options & 0x80) != 0) {
      scripted::Bytes foreign = own[n];
      SetId(&foreign, 0x7fff);
      Append(&segment, foreign);
    }
    Append(&segment, own[n]);
    if ((options & 0x40) != 0 && n > 0) Append(&segment, own[n - 1]);
    served.push_back(std::move(segment));
  }
  return served;
}

// Whether the `count` register values appear, in a row, in `bytes`: where a
// read's values may come from.
bool WindowOf(const scripted::Bytes& bytes, const std::uint16_t* values,
              std::size_t count) {
  for (std::size_t at = 0; at + 2 * count <= bytes.size(); ++at) {
    std::size_t i = 0;
    while (i < count && ((bytes[at + 2 * i] << 8) | bytes[at + 2 * i + 1]) ==
                            values[i]) {
      ++i;
    }
    if (i == count) return true;
  }
  return false;
}

// Splits each answer's first frame around the next send, as byte 4 says:
// how many of its bytes come at once and while idle; the rest of the answer
// comes only after the next request. Answers that do not begin with a whole
// frame are not split.
void Split(const std::vector<scripted::Bytes>& served, std::uint8_t byte4,
           scripted::Script* script) {
  for (const scripted::Bytes& answer : served) {
    const int frame = tcpmodbus::modbusframe::FrameSize(
        answer.data(), static_cast<int>(answer.size()));
    std::size_t idle = 0;
    std::size_t late = 0;
    if (frame > 0 && static_cast<std::size_t>(frame) <= answer.size()) {
      const std::size_t most = static_cast<std::size_t>(frame) - 1;
      const std::size_t now = std::min<std::size_t>(byte4 & 7, most);
      idle = std::min<std::size_t>((byte4 >> 3) & 7, most - now);
      late = answer.size() - now - idle;
    }
    script->idle.push_back(idle);
    script->late.push_back(late);
  }
}

// Whether `answer` begins with a frame that is whole by its own framing.
// With identifiers on, a frame shorter than its header and byte count say
// takes its rest from whatever follows it on the stream, as any framing of
// a byte stream must: only answers that frame whole can be held to their
// own values.
bool FramesWhole(const scripted::Bytes& answer) {
  const int size = tcpmodbus::modbusframe::FrameSize(
      answer.data(), static_cast<int>(answer.size()));
  return size > 0 && static_cast<std::size_t>(size) <= answer.size();
}

// The bits a read of `count` bits takes from `answer`, when it holds them.
bool BitsDeliveredFrom(const scripted::Bytes& answer, const std::uint8_t* bits,
                       std::size_t count) {
  if (answer.size() < 9 + (count + 7) / 8) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (bits[i] != ((answer[9 + i / 8] >> (i % 8)) & 1)) return false;
  }
  return true;
}

// Cuts the fuzzer's bytes into one answer per operation.
std::vector<scripted::Bytes> Answers(const std::uint8_t* data, std::size_t size,
                                     int operations, bool twice) {
  std::vector<scripted::Bytes> answers;
  std::size_t offset = 0;
  for (int i = 0; i < operations; ++i) {
    std::size_t length = size - offset;
    if (i + 1 < operations && size - offset >= 2) {
      length = std::min<std::size_t>((data[offset] << 8) | data[offset + 1],
                                     size - offset - 2);
      offset += 2;
    }
    scripted::Bytes answer(data + offset, data + offset + length);
    offset += length;
    if (twice) answer.insert(answer.end(), answer.begin(), answer.end());
    answers.push_back(std::move(answer));
  }
  return answers;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The trace of every exchange goes to standard output.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 4) return 0;
  const std::uint8_t flags = data[0];
  const auto raw = static_cast<std::uint16_t>((data[1] << 8) | data[2]);
  // Mostly counts below 512, which hold every size an answer can have; with
  // bit 7 of byte 1 set, any 16-bit count (the caller's array then takes
  // 128 KiB, which slows every run).
  const std::uint16_t regCount =
      (data[1] & 0x80) != 0 ? raw : static_cast<std::uint16_t>(raw % 512);
  if (size < 5) return 0;
  std::size_t offset = 3;
  const std::uint8_t options = data[offset++];
  const std::uint8_t timing = data[offset++];
  const std::size_t chunkCount = options % 16;
  const bool ids = (options & 0x10) != 0;
  if (size < offset + chunkCount) return 0;

  const int operations = ((flags >> 5) & 3) + 1;
  scripted::Script script;
  script.chunks.assign(data + offset, data + offset + chunkCount);
  offset += chunkCount;
  // The answer each request has as its own, as the checks below see it.
  std::vector<scripted::Bytes> own =
      Answers(data + offset, size - offset, operations, (flags & 0x80) != 0);
  if (ids) {
    for (std::size_t n = 0; n < own.size(); ++n) {
      SetId(&own[n], static_cast<std::uint16_t>(n + 1));
    }
  }
  script.answers = ids ? Served(own, options) : own;
  // Without identifiers a late end is judged with the next answer, which
  // they alone can tell apart (docs/behaviour.md): split with them only.
  if (ids && (timing & 0x40) != 0) Split(script.answers, timing, &script);
  script.failAtEnd = (flags & 0x04) != 0;
  script.shortSendAt = (flags & 0x08) != 0 ? 0 : -1;
  // Checks alternate send, receive: check 1 is the first receive's.
  script.notReadyAt = (flags & 0x10) != 0 ? 1 : -1;
  scripted::ScriptedSockets sockets(script);

  std::unique_ptr<TCPModbusIntf> module(new tcpmodbus::CTCPModbus(sockets));
  module->SetTransactionIds(ids);
  // The scripted waits never take time; any time-out bounds them.
  module->SetResponseTimeout((timing & 0x80) != 0 ? 1 : 0);
  Require(module->Initialize(3, "127.0.10.1", 0, "127.0.10.2") == 1);

  const int first = (flags & 3) + ((data[2] & 1) != 0 ? 4 : 0);
  for (int i = 0; i < operations; ++i) {
    const int operation = (first + i) % 6;
    // One spare entry behind the count must never be written.
    const std::size_t entries = static_cast<std::size_t>(regCount) + 1;
    std::unique_ptr<std::uint16_t[]> values(new std::uint16_t[entries]);
    std::memcpy(values.get(), Contents().sentinels.data(),
                entries * sizeof(std::uint16_t));
    std::vector<std::uint8_t> bits(entries, 0xa5);
    const std::string errorBefore = module->LastErrorString();
    int result = -1;
    switch (operation) {
      case 0:
        result = module->ReadHoldRegs(10, values.get(), regCount);
        break;
      case 1:
        result = module->ReadInputRegs(10, values.get(), regCount);
        break;
      case 2: {
        unsigned short value = regCount;
        result = module->WriteSingleHoldReg(10, value);
        Require(value == regCount);
        break;
      }
      case 3:
        std::memcpy(values.get(), Contents().written.data(),
                    regCount * sizeof(std::uint16_t));
        result = module->WriteMultiHoldRegs(10, values.get(), regCount);
        // The values to write are only read.
        Require(Same(values.get(), Contents().written, regCount));
        break;
      case 4:
        result = module->ReadCoils(10, bits.data(), regCount);
        break;
      case 5:
        result = module->ReadWriteMultiHoldRegs(10, values.get(), regCount, 10,
                                                Contents().written.data(), 2);
        break;
    }
    Require(result == 0 || result == 1);
    Require(Terminated(module->LastErrorString()));
    Require(values[regCount] == kSentinel && bits[regCount] == 0xa5);
    const bool readsRegisters = operation <= 1 || operation == 5;
    // Without identifiers no answer is ever made of bytes that arrived
    // before its request; with them, such frames are read and dropped.
    Require(ids || !sockets.ReceivedStaleBytes());
    if (result == 1) {
      // A success leaves the error record as it was.
      Require(errorBefore == module->LastErrorString());
      // The values are those of this request's own answer.
      const int request = sockets.Sends() - 1;
      if (readsRegisters || operation == 4) {
        Require(request >= 0 && static_cast<std::size_t>(request) < own.size());
      }
      const bool heldToOwn = !ids || FramesWhole(own[request]);
      if (readsRegisters && heldToOwn) {
        Require(DeliveredFrom(own[request], values.get(), regCount));
      }
      // With identifiers, whatever frames the answer: never bytes sent for
      // another request, also when answers come split around a send.
      if (readsRegisters && ids) {
        Require(WindowOf(script.answers[request], values.get(), regCount));
      }
      if (operation == 4 && heldToOwn) {
        Require(BitsDeliveredFrom(own[request], bits.data(), regCount));
      }
    } else {
      // A failed read leaves the caller's array untouched.
      if (readsRegisters) {
        Require(Same(values.get(), Contents().sentinels, regCount));
      }
      for (std::size_t b = 0; operation == 4 && b < regCount; ++b) {
        Require(bits[b] == 0xa5);
      }
    }
  }
  module->Close();
  Require(sockets.OpenHandles() == 0);
  return 0;
}
