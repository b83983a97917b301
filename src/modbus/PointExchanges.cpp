// The point exchanges of the protocol client: coils and discrete inputs
// (function codes 1, 2, 5, 15), mask write of a register (22) and read/write
// of registers in one transaction (23). They trace, send and receive as the
// register exchanges do; their answers are judged strictly.
#include <cstdint>

#include "modbus/CMBusTCP.h"
#include "modbus/Exchange.h"
#include "modbus/PointFrames.h"

namespace tcpmodbus {

bool CMBusTCP::RefusedValues(const Exchange& exchange, const void* values,
                             std::uint16_t quantity, std::uint16_t most) {
  if (values == nullptr) {
    Fail(Failure::Of(ErrorCode::kInvalidArgument),
         "%s: Null value array on DIO Module %d", exchange.name, ModuleId);
    return true;
  }
  if (quantity >= 1 && quantity <= most) return false;
  Fail(
      Failure::Of(ErrorCode::kInvalidArgument),
      "%s: Quantity %d out of range for one request on DIO Module %d (1 to %d)",
      exchange.name, quantity, ModuleId, most);
  return true;
}

Status CMBusTCP::MbReadCoilStatus(std::uint16_t startAddr,
                                  std::uint16_t bitCount, std::uint8_t* bits) {
  static constexpr Exchange kExchange = {
      modbusframe::kReadCoilStatus, "CMBusTCP::MbReadCoilStatus",
      "%s ==>Sending MbReadCoilStatus Request...Size=%d\n",
      "%s <==Received MbReadCoilStatus Response...Size=%d\n", kReadWrongSize};
  return ReadBits(kExchange, startAddr, bitCount, bits);
}

Status CMBusTCP::MbReadInputStatus(std::uint16_t startAddr,
                                   std::uint16_t bitCount, std::uint8_t* bits) {
  static constexpr Exchange kExchange = {
      modbusframe::kReadInputStatus, "CMBusTCP::MbReadInputStatus",
      "%s ==>Sending MbReadInputStatus Request...Size=%d\n",
      "%s <==Received MbReadInputStatus Response...Size=%d\n", kReadWrongSize};
  return ReadBits(kExchange, startAddr, bitCount, bits);
}

Status CMBusTCP::ReadBits(const Exchange& exchange, std::uint16_t startAddr,
                          std::uint16_t bitCount, std::uint8_t* bits) {
  if (RefusedValues(exchange, bits, bitCount, modbusframe::kMaxReadBits) ||
      RefusedWithoutTransport(exchange)) {
    return Status::Failed();
  }
  return Request(exchange, Answer::Bits(bitCount, bits),
                 [&](std::uint8_t* frame, const modbusframe::RequestHeader& h) {
                   return modbusframe::BuildReadBitsRequest(
                       frame, exchange.functionCode, startAddr, bitCount, h);
                 });
}

Status CMBusTCP::MbForceSingleCoil(std::uint16_t addr, bool on) {
  static constexpr Exchange kExchange = {
      modbusframe::kForceSingleCoil, "CMBusTCP::MbForceSingleCoil",
      "%s ==>Sending MbForceSingleCoil Request...Size=%d\n",
      "%s <==Received MbForceSingleCoil Response...Size=%d\n", kWriteWrongSize};
  if (RefusedWithoutTransport(kExchange)) return Status::Failed();
  return Request(kExchange, Answer(),
                 [&](std::uint8_t* frame, const modbusframe::RequestHeader& h) {
                   return modbusframe::BuildForceSingleCoilRequest(frame, addr,
                                                                   on, h);
                 });
}

Status CMBusTCP::MbForceMultipleCoils(std::uint16_t startAddr,
                                      std::uint16_t bitCount,
                                      const std::uint8_t* bits) {
  static constexpr Exchange kExchange = {
      modbusframe::kForceMultipleCoils, "CMBusTCP::MbForceMultipleCoils",
      "%s ==>Sending MbForceMultipleCoils Request...Size=%d\n",
      "%s <==Received MbForceMultipleCoils Response...Size=%d\n",
      kWriteWrongSize};
  if (RefusedValues(kExchange, bits, bitCount, modbusframe::kMaxWriteBits) ||
      RefusedWithoutTransport(kExchange)) {
    return Status::Failed();
  }
  return Request(kExchange, Answer(),
                 [&](std::uint8_t* frame, const modbusframe::RequestHeader& h) {
                   return modbusframe::BuildForceMultipleCoilsRequest(
                       frame, startAddr, bits, bitCount, h);
                 });
}

Status CMBusTCP::MbMaskWriteReg(std::uint16_t addr, std::uint16_t andMask,
                                std::uint16_t orMask) {
  static constexpr Exchange kExchange = {
      modbusframe::kMaskWriteRegister, "CMBusTCP::MbMaskWriteReg",
      "%s ==>Sending MbMaskWriteReg Request...Size=%d\n",
      "%s <==Received MbMaskWriteReg Response...Size=%d\n", kWriteWrongSize};
  if (RefusedWithoutTransport(kExchange)) return Status::Failed();
  return Request(kExchange, Answer(),
                 [&](std::uint8_t* frame, const modbusframe::RequestHeader& h) {
                   return modbusframe::BuildMaskWriteRequest(
                       frame, addr, andMask, orMask, h);
                 });
}

Status CMBusTCP::MbReadWriteMultipleRegs(std::uint16_t readAddr,
                                         std::uint16_t readCount,
                                         std::uint16_t* readValues,
                                         std::uint16_t writeAddr,
                                         std::uint16_t writeCount,
                                         const std::uint16_t* writeValues) {
  static constexpr Exchange kExchange = {
      modbusframe::kReadWriteMultipleRegisters,
      "CMBusTCP::MbReadWriteMultipleRegs",
      "%s ==>Sending MbReadWriteMultipleRegs Request...Size=%d\n",
      "%s <==Received MbReadWriteMultipleRegs Response...Size=%d\n",
      kReadWrongSize};
  if (RefusedValues(kExchange, writeValues, writeCount,
                    modbusframe::kMaxReadWriteWriteRegisters) ||
      RefusedValues(kExchange, readValues, readCount,
                    modbusframe::kMaxReadWriteReadRegisters) ||
      RefusedWithoutTransport(kExchange)) {
    return Status::Failed();
  }
  return Request(kExchange, Answer::Registers(readCount, readValues),
                 [&](std::uint8_t* frame, const modbusframe::RequestHeader& h) {
                   return modbusframe::BuildReadWriteRegistersRequest(
                       frame, readAddr, readCount, writeAddr, writeValues,
                       writeCount, h);
                 });
}

}  // namespace tcpmodbus
