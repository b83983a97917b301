// The gathering of one answer from the transport: a first receive, then
// further pieces only while the framing rule (AnswerFraming.h) asks for
// them, each within a bounded wait.
#ifndef TCPMODBUS_MODBUS_ANSWERGATHERING_H_
#define TCPMODBUS_MODBUS_ANSWERGATHERING_H_

#include <cstdint>

#include "modbus/AnswerFraming.h"
#include "platform/IoResult.h"
#include "transport/CTcpSocket.h"

namespace tcpmodbus {

// Longest wait for each further piece of an answer that arrived in part.
// libmodbus allows the same between the bytes of a frame.
constexpr int kContinuationWaitMs = 500;

struct GatheredAnswer {
  // The count the verdict judges: the bytes received (1 to 261); 0 when
  // none arrived (the stream ended, the socket was not ready, or nothing
  // came within the response time-out); -1 when the first receive failed.
  int received;
  // How the last step ended: done when the answer is whole or no more bytes
  // can belong to it; timed out when a wait expired (before the first byte,
  // only the response time-out's); closed, reset or failed when the
  // connection ended or the readiness check failed.
  IoResult ending;
};

// Takes the answer to the request just sent into `buffer` (at least
// CTcpSocket::MaxResponseBytes): the readiness check, one receive of up to
// 261 bytes, then the missing pieces, each within kContinuationWaitMs and,
// when `responseTimeoutMs` is not 0, all within that time from the start.
GatheredAnswer GatherAnswer(CTcpSocket& transport, std::uint8_t* buffer,
                            const modbusframe::ExpectedAnswer& answer,
                            unsigned responseTimeoutMs);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_ANSWERGATHERING_H_
