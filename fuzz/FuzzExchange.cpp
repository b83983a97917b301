// Fuzzes whole register operations: the front, the protocol client and the
// transport's frame gathering, over a scripted socket layer that hands the
// fuzzer's bytes to the receives, split wherever the input says.
//
// Input layout:
//   byte 0    bits 0-1: first operation (read holding, read input, write one,
//             write several); the following ones rotate through the four.
//             bit 2: the stream ends in a failed receive instead of a close.
//             bit 3: the first send is accepted only in part.
//             bit 4: the first receive's readiness check times out.
//             bits 5-6: number of operations on the connection, less one.
//   bytes 1-2 register count (big-endian), any value.
//   byte 3    k = number of receive sizes that follow (0 to 15), then k
//             bytes, each the size of one receive.
//   the rest  the bytes the server sends.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedSockets.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

constexpr std::uint16_t kSentinel = 0xa5c3;

void Require(bool condition) {
  if (!condition) std::abort();
}

bool Terminated(const char* text) {
  return text != nullptr && ::strnlen(text, 256) < 256;
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
  const std::uint16_t regCount =
      static_cast<std::uint16_t>((data[1] << 8) | data[2]);
  std::size_t offset = 3;
  const std::size_t chunkCount = data[offset++] % 16;
  if (size < offset + chunkCount) return 0;

  scripted::Script script;
  script.chunks.assign(data + offset, data + offset + chunkCount);
  offset += chunkCount;
  script.stream.assign(data + offset, data + size);
  script.failAtEnd = (flags & 0x04) != 0;
  script.shortSendAt = (flags & 0x08) != 0 ? 0 : -1;
  // Checks alternate send, receive: check 1 is the first receive's.
  script.notReadyAt = (flags & 0x10) != 0 ? 1 : -1;
  scripted::Load(script);

  std::unique_ptr<TCPModbusIntf> module(TCPModbusIntf::GetInstance());
  Require(module->Initialize(3, "127.0.10.1", 0, "127.0.10.2") == 1);

  const int operations = ((flags >> 5) & 3) + 1;
  for (int i = 0; i < operations; ++i) {
    const int operation = ((flags & 3) + i) % 4;
    // One spare entry behind the count must never be written.
    std::vector<std::uint16_t> values(static_cast<std::size_t>(regCount) + 1,
                                      kSentinel);
    const std::string errorBefore = module->LastErrorString();
    int result = -1;
    switch (operation) {
      case 0:
        result = module->ReadHoldRegs(10, values.data(), regCount);
        break;
      case 1:
        result = module->ReadInputRegs(10, values.data(), regCount);
        break;
      case 2: {
        unsigned short value = regCount;
        result = module->WriteSingleHoldReg(10, value);
        Require(value == regCount);
        break;
      }
      case 3:
        for (std::size_t v = 0; v < regCount; ++v) {
          values[v] = static_cast<std::uint16_t>(v * 257);
        }
        result = module->WriteMultiHoldRegs(10, values.data(), regCount);
        for (std::size_t v = 0; v < regCount; ++v) {
          Require(values[v] == static_cast<std::uint16_t>(v * 257));
        }
        break;
    }
    Require(result == 0 || result == 1);
    Require(Terminated(module->LastErrorString()));
    Require(values[regCount] == kSentinel);
    if (result == 1) {
      // A success leaves the error record as it was.
      Require(errorBefore == module->LastErrorString());
    } else if (operation <= 1) {
      // A failed read leaves the caller's array untouched.
      for (std::size_t v = 0; v < regCount; ++v)
        Require(values[v] == kSentinel);
    }
    Require(scripted::Consumed() <= script.stream.size());
  }
  module->Close();
  Require(scripted::OpenHandles() == 0);
  return 0;
}
