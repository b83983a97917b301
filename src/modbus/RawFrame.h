// Requests of any function code and the verdict on answers that only their
// MBAP length sizes (raw requests, device identification): pure functions
// over bytes.
#ifndef TCPMODBUS_MODBUS_RAWFRAME_H_
#define TCPMODBUS_MODBUS_RAWFRAME_H_

#include <cstdint>

#include "common/MbapFrame.h"
#include "modbus/ModbusFrame.h"
#include "tcpmodbus/tcpmodbus.h"

namespace tcpmodbus {
namespace modbusframe {

// The function code and data of one request or answer, and the data a
// request of any function code carries: a frame of at most 260 bytes.
constexpr int kMaxPduSize = TCPMODBUS_MAX_PDU_SIZE;
constexpr int kMaxRequestData = kMaxPduSize - 1;
// The function codes a request may carry: 0 is none, and the high bit marks
// an exception answer.
constexpr std::uint8_t kLastFunctionCode = 0x7f;
// The shortest answer: the header and a function code.
constexpr int kSmallestPduFrame = mbap::kHeaderSize + 1;

// The header, `functionCode` and `length` bytes of `data` (length at most
// kMaxRequestData): 8 + length bytes.
int BuildRawRequest(std::uint8_t* frame, std::uint8_t functionCode,
                    const std::uint8_t* data, int length,
                    const RequestHeader& header = {});

// The verdict on `received` bytes answering a request of `functionCode` to
// unit `unitId`, in this order: closed, too short (fewer than 8 bytes),
// protocol identifier 0, the unit identifier, the function code or its
// exception form, an exception (9 bytes or more), and a length field that
// counts the bytes received exactly (else the wrong size, 6 + length). On
// acceptance the PDU is the bytes from 7 on.
Judgement JudgePduAnswer(const std::uint8_t* response, int received,
                         std::uint8_t functionCode, std::uint8_t unitId);

}  // namespace modbusframe
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_RAWFRAME_H_
