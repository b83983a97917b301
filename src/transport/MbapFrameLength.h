// Where one Modbus/TCP frame ends in a byte stream, judged from its 7-byte
// MBAP header alone (pure function, no I/O).
#ifndef TCPMODBUS_TRANSPORT_MBAPFRAMELENGTH_H_
#define TCPMODBUS_TRANSPORT_MBAPFRAMELENGTH_H_

#include <cstdint>

namespace mbap {

constexpr int kHeaderBytes = 7;
constexpr int kUnknown = 0;
constexpr int kNotModbus = -1;

// For the `have` bytes received so far: kUnknown while the header is not
// complete; kNotModbus when the header cannot start an answer (protocol
// identifier not 0, or a length outside 2..255); otherwise the frame's whole
// size, 6 + length (8 to 261 bytes).
int FrameLength(const std::uint8_t* bytes, int have);

}  // namespace mbap

#endif  // TCPMODBUS_TRANSPORT_MBAPFRAMELENGTH_H_
