// What the simulated module reads from a Modbus/TCP request frame.
#pragma once

#include <cstdint>

namespace tcpmodbus::sim {

constexpr int kTcpHeaderLength = 7;  // MBAP header, unit identifier included

// A big-endian 16-bit field, as the protocol sends every number.
inline std::uint16_t Word(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

}  // namespace tcpmodbus::sim
