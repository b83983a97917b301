#include "transport/MbapFrameLength.h"

namespace mbap {

int FrameLength(const std::uint8_t* bytes, int have) {
  if (have < kHeaderBytes) return kUnknown;
  // bytes 2-3: protocol identifier, 0 for Modbus
  if (bytes[2] != 0 || bytes[3] != 0) return kNotModbus;
  // bytes 4-5: count of the bytes that follow, unit identifier included; an
  // answer holds at least the unit identifier and a function code
  const int length = (bytes[4] << 8) | bytes[5];
  if (length < 2 || length > 255) return kNotModbus;
  return 6 + length;
}

}  // namespace mbap
