// Fuzzes batches of reads with several requests in flight: the answers come
// in any order, cut anywhere, with copies, frames of identifiers no request
// had and garbage among them, over in-memory socket calls. Besides memory
// safety it checks that a read that succeeds delivers the values of the
// answer to its own request, never another's.
//
// Input layout:
//   byte 0    bits 0-2: reads in the batch, less one (1 to 8), all in one
//             window; bit 3: a response time-out; bit 4: the stream ends in
//             a failed receive instead of a close; bits 5-7: each read's
//             table (holding or coil) from bit (5 + read % 3).
//   byte 1    the register or bit count of every read, 1 to 125 (0 is 1).
//   byte 2    bits 0-3: k = number of receive sizes that follow, then k
//             bytes, each the size of one receive.
//   the rest  the answers of the reads, in the order they are served, each
//             a byte giving the read it answers (its low 3 bits; 0xff: no
//             read's, its identifier left as the fuzzer wrote it), a byte of
//             its length, then its bytes; the identifier of an answer for
//             read r is replaced by r's.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ScriptedSockets.h"
#include "front/CTCPModbus.h"
#include "modbus/AnswerFraming.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

constexpr int kMaxReads = 8;

void Require(bool condition) {
  if (!condition) std::abort();
}

// The values a read of `count` registers takes from `answer`, when it holds
// them.
bool RegistersFrom(const scripted::Bytes& answer, const std::uint16_t* values,
                   std::size_t count) {
  if (answer.size() < 9 + 2 * count) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (values[i] != ((answer[9 + 2 * i] << 8) | answer[10 + 2 * i])) {
      return false;
    }
  }
  return true;
}

bool BitsFrom(const scripted::Bytes& answer, const std::uint8_t* bits,
              std::size_t count) {
  if (answer.size() < 9 + (count + 7) / 8) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (bits[i] != ((answer[9 + i / 8] >> (i % 8)) & 1)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The trace of every exchange goes to standard output.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 3) return 0;
  const int reads = (data[0] & 7) + 1;
  const std::uint16_t count = std::max<std::uint16_t>(1, data[1] % 126);
  const std::size_t chunks = data[2] & 15;
  std::size_t offset = 3;
  if (size < offset + chunks) return 0;
  scripted::Script script;
  script.chunks.assign(data + offset, data + offset + chunks);
  offset += chunks;
  script.failAtEnd = (data[0] & 0x10) != 0;

  // Each read's own answers (every one the peer sends for it), and the one
  // segment that answers the window.
  std::vector<std::vector<scripted::Bytes>> own(kMaxReads);
  scripted::Bytes segment;
  while (offset + 2 <= size) {
    const std::uint8_t target = data[offset];
    const std::size_t length = std::min<std::size_t>(data[offset + 1],
                                                     size - offset - 2);
    scripted::Bytes answer(data + offset + 2, data + offset + 2 + length);
    offset += 2 + length;
    if (target != 0xff && answer.size() >= 2) {
      const int read = target & 7;
      // A fresh object's identifiers: read r's request carries r + 1.
      answer[0] = 0;
      answer[1] = static_cast<std::uint8_t>(read + 1);
      own[static_cast<std::size_t>(read)].push_back(answer);
    }
    segment.insert(segment.end(), answer.begin(), answer.end());
  }
  script.answers = {segment};
  scripted::ScriptedSockets sockets(script);

  std::unique_ptr<TCPModbusIntf> module(new tcpmodbus::CTCPModbus(sockets));
  module->SetTransactionIds(true);
  Require(module->SetMaxInFlight(kMaxReads) == 1);
  module->SetResponseTimeout((data[0] & 0x08) != 0 ? 1 : 0);
  Require(module->Initialize(3, "127.0.10.1", 0, "127.0.10.2") == 1);

  std::vector<std::uint16_t> registers(kMaxReads * 125 + 1, 0xa5c3);
  std::vector<std::uint8_t> bits(kMaxReads * 125 + 1, 0xa5);
  tcpmodbus_read batch[kMaxReads];
  for (int r = 0; r < reads; ++r) {
    const bool coils = ((data[0] >> (5 + r % 3)) & 1) != 0;
    batch[r] = {coils ? TCPMODBUS_TABLE_COIL : TCPMODBUS_TABLE_HOLDING,
                static_cast<unsigned short>(100 * r),
                count,
                coils ? nullptr : registers.data() + 125 * r,
                coils ? bits.data() + 125 * r : nullptr,
                -1,
                -1,
                -1};
  }
  const int result =
      module->ReadBatch(batch, static_cast<unsigned int>(reads));
  Require(result == 0 || result == 1);
  Require(registers.back() == 0xa5c3 && bits.back() == 0xa5);
  for (int r = 0; r < reads; ++r) {
    Require(batch[r].result == 0 || batch[r].result == 1);
    if (batch[r].result != 1) continue;
    // The values are those of one of this read's own answers when it
    // frames whole; in any case they come from a frame that begins with
    // this read's identifier, never from another read's answer.
    bool ownValues = false;
    for (const scripted::Bytes& answer : own[static_cast<std::size_t>(r)]) {
      ownValues = ownValues || (batch[r].bits != nullptr
                                    ? BitsFrom(answer, batch[r].bits, count)
                                    : RegistersFrom(answer, batch[r].registers,
                                                    count));
    }
    for (std::size_t at = 0; !ownValues && at + 1 < segment.size(); ++at) {
      if (segment[at] != 0 || segment[at + 1] != r + 1) continue;
      const scripted::Bytes frame(segment.begin() + static_cast<long>(at),
                                  segment.end());
      ownValues = batch[r].bits != nullptr
                      ? BitsFrom(frame, batch[r].bits, count)
                      : RegistersFrom(frame, batch[r].registers, count);
    }
    Require(ownValues);
  }
  module->Close();
  Require(sockets.OpenHandles() == 0);
  return 0;
}
