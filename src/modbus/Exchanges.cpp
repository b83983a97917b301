// The exchanges of the protocol client: each checks its arguments, builds
// its request and runs it (CMBusTCP::Transact). Their names, trace lines and
// limits come from the table of operations.
#include <cstdint>
#include <cstring>

#include "modbus/CMBusTCP.h"
#include "modbus/DeviceIdentification.h"
#include "modbus/ModbusFrame.h"
#include "modbus/RawFrame.h"

namespace tcpmodbus {

namespace mf = modbusframe;

template <typename Build>
Status CMBusTCP::Request(const Operation& operation, Answer answer,
                         Build build) {
  if (TcpSocket == nullptr) {
    Fail(Failure::Of(ErrorCode::kNotConnected), "%s: Null socket (%d)",
         operation.exchangeName, ModuleId);
    return Status::Failed();
  }
  mf::RequestHeader header;
  header.unitId = Settings.unitId;
  if (Settings.transactionIds) header.transactionId = Ids.Next();
  std::uint8_t request[mf::kRequestBufferSize];
  const int size = build(request, header);
  mf::StrictAnswer strict;
  if (operation.strict) {
    strict = mf::AnswerTo(request);
    answer.strict = &strict;
  }
  return Transact(operation, header, request, size, answer);
}

bool CMBusTCP::Refused(const Operation& operation, const void* values,
                       const char* nullMessage) {
  if (values != nullptr) return false;
  Fail(Failure::Of(ErrorCode::kInvalidArgument), nullMessage,
       operation.exchangeName, ModuleId);
  return true;
}

bool CMBusTCP::RefusedQuantity(const Operation& operation,
                               std::uint16_t quantity, std::uint16_t most) {
  if (quantity >= 1 && quantity <= most) return false;
  Fail(
      Failure::Of(ErrorCode::kInvalidArgument),
      "%s: Quantity %d out of range for one request on DIO Module %d (1 to %d)",
      operation.exchangeName, quantity, ModuleId, most);
  return true;
}

namespace {

constexpr char kNullRegisters[] = "%s: Null register pointer on DIO Module %d";
constexpr char kNullValues[] = "%s: Null value array on DIO Module %d";

}  // namespace

Status CMBusTCP::MbReadHoldingRegs(std::uint16_t startAddr,
                                   std::uint16_t regCount,
                                   std::uint16_t* regValues) {
  return ReadRegisters(OperationOf(mf::kReadHoldingRegisters), startAddr,
                       regCount, regValues);
}

Status CMBusTCP::MbReadInputRegs(std::uint16_t startAddr,
                                 std::uint16_t regCount,
                                 std::uint16_t* regValues) {
  return ReadRegisters(OperationOf(mf::kReadInputRegisters), startAddr,
                       regCount, regValues);
}

Status CMBusTCP::ReadRegisters(const Operation& operation,
                               std::uint16_t startAddr, std::uint16_t regCount,
                               std::uint16_t* regValues) {
  if (Refused(operation, regValues, kNullRegisters)) return Status::Failed();
  Answer answer;
  answer.count = regCount;
  answer.registers = regValues;
  return Request(operation, answer,
                 [&](std::uint8_t* frame, const mf::RequestHeader& header) {
                   return mf::BuildReadRequest(frame, operation.functionCode,
                                               startAddr, regCount, header);
                 });
}

Status CMBusTCP::MbPresetSingleReg(std::uint16_t regAddr,
                                   std::uint16_t regValue) {
  return Request(OperationOf(mf::kPresetSingleRegister), Answer(),
                 [&](std::uint8_t* frame, const mf::RequestHeader& header) {
                   return mf::BuildPresetSingleRequest(frame, regAddr,
                                                       regValue, header);
                 });
}

Status CMBusTCP::MbPresetMultipleRegs(std::uint16_t startAddr,
                                      std::uint16_t regCount,
                                      const std::uint16_t* regValues) {
  const Operation& operation = OperationOf(mf::kPresetMultipleRegisters);
  if (Refused(operation, regValues,
              "%s: Null register value pointer on DIO Module %d")) {
    return Status::Failed();
  }
  if (TcpSocket != nullptr && regCount > mf::kMaxPresetRegisters) {
    Fail(
        Failure::Of(ErrorCode::kInvalidArgument),
        "%s: Too many registers for one request on DIO Module %d: %d (at most %d)",
        operation.exchangeName, ModuleId, regCount, mf::kMaxPresetRegisters);
    return Status::Failed();
  }
  return Request(operation, Answer(),
                 [&](std::uint8_t* frame, const mf::RequestHeader& header) {
                   return mf::BuildPresetMultipleRequest(
                       frame, startAddr, regCount, regValues, header);
                 });
}

Status CMBusTCP::MbReadCoilStatus(std::uint16_t startAddr,
                                  std::uint16_t bitCount, std::uint8_t* bits) {
  return ReadBits(OperationOf(mf::kReadCoilStatus), startAddr, bitCount, bits);
}

Status CMBusTCP::MbReadInputStatus(std::uint16_t startAddr,
                                   std::uint16_t bitCount, std::uint8_t* bits) {
  return ReadBits(OperationOf(mf::kReadInputStatus), startAddr, bitCount,
                  bits);
}

Status CMBusTCP::ReadBits(const Operation& operation, std::uint16_t startAddr,
                          std::uint16_t bitCount, std::uint8_t* bits) {
  if (Refused(operation, bits, kNullValues) ||
      RefusedQuantity(operation, bitCount, operation.maxQuantity)) {
    return Status::Failed();
  }
  Answer answer;
  answer.count = bitCount;
  answer.bits = bits;
  return Request(operation, answer,
                 [&](std::uint8_t* frame, const mf::RequestHeader& header) {
                   return mf::BuildReadBitsRequest(
                       frame, operation.functionCode, startAddr, bitCount,
                       header);
                 });
}

Status CMBusTCP::MbForceSingleCoil(std::uint16_t addr, bool on) {
  return Request(OperationOf(mf::kForceSingleCoil), Answer(),
                 [&](std::uint8_t* frame, const mf::RequestHeader& header) {
                   return mf::BuildForceSingleCoilRequest(frame, addr, on,
                                                          header);
                 });
}

Status CMBusTCP::MbForceMultipleCoils(std::uint16_t startAddr,
                                      std::uint16_t bitCount,
                                      const std::uint8_t* bits) {
  const Operation& operation = OperationOf(mf::kForceMultipleCoils);
  if (Refused(operation, bits, kNullValues) ||
      RefusedQuantity(operation, bitCount, operation.maxQuantity)) {
    return Status::Failed();
  }
  return Request(operation, Answer(),
                 [&](std::uint8_t* frame, const mf::RequestHeader& header) {
                   return mf::BuildForceMultipleCoilsRequest(
                       frame, startAddr, bits, bitCount, header);
                 });
}

Status CMBusTCP::MbMaskWriteReg(std::uint16_t addr, std::uint16_t andMask,
                                std::uint16_t orMask) {
  return Request(OperationOf(mf::kMaskWriteRegister), Answer(),
                 [&](std::uint8_t* frame, const mf::RequestHeader& header) {
                   return mf::BuildMaskWriteRequest(frame, addr, andMask,
                                                    orMask, header);
                 });
}

Status CMBusTCP::MbReadWriteMultipleRegs(std::uint16_t readAddr,
                                         std::uint16_t readCount,
                                         std::uint16_t* readValues,
                                         std::uint16_t writeAddr,
                                         std::uint16_t writeCount,
                                         const std::uint16_t* writeValues) {
  const Operation& operation = OperationOf(mf::kReadWriteMultipleRegisters);
  if (Refused(operation, writeValues, kNullValues) ||
      RefusedQuantity(operation, writeCount, operation.maxWriteQuantity) ||
      Refused(operation, readValues, kNullValues) ||
      RefusedQuantity(operation, readCount, operation.maxQuantity)) {
    return Status::Failed();
  }
  Answer answer;
  answer.count = readCount;
  answer.registers = readValues;
  return Request(operation, answer,
                 [&](std::uint8_t* frame, const mf::RequestHeader& header) {
                   return mf::BuildReadWriteRegistersRequest(
                       frame, readAddr, readCount, writeAddr, writeValues,
                       writeCount, header);
                 });
}

template <typename Build>
Status CMBusTCP::RequestPdu(const Operation& operation, Answer::Pdu& pdu,
                            Build build) {
  pdu.unitId = Settings.unitId;
  Answer answer;
  answer.pdu = &pdu;
  return Request(operation, answer, build);
}

Status CMBusTCP::MbReadDeviceIdentification(int code, std::uint8_t objectId,
                                            std::uint8_t* records,
                                            std::size_t size,
                                            std::size_t* length,
                                            int* conformity) {
  const Operation& operation = OperationOf(mf::kEncapsulatedInterface);
  if (Refused(operation, records, kNullValues)) return Status::Failed();
  if (code < TCPMODBUS_IDENT_BASIC || code > TCPMODBUS_IDENT_ONE_OBJECT) {
    Fail(
        Failure::Of(ErrorCode::kInvalidArgument),
        "%s: Read device id code %d refused on DIO Module %d; the codes are 1 to 4",
        operation.exchangeName, code, ModuleId);
    return Status::Failed();
  }
  mf::IdentProgress progress = {static_cast<std::uint8_t>(code), objectId};
  std::size_t written = 0;
  for (int answers = 1;; ++answers) {
    std::uint8_t pdu[mf::kMaxPduSize];
    Answer::Pdu received = {pdu, 0, 0};
    const Status status =
        RequestPdu(operation, received,
                   [&](std::uint8_t* frame, const mf::RequestHeader& header) {
                     return mf::BuildReadDeviceIdRequest(
                         frame, progress.code, progress.askedId, header);
                   });
    if (!status.ok()) return status;
    mf::IdentAnswer answer;
    const mf::Judgement judgement =
        mf::JudgeIdentAnswer(pdu, received.length, progress, &answer);
    if (judgement.verdict != mf::Verdict::Accepted) {
      FailWrongAnswer(operation.exchangeName, judgement);
      return Status::Failed();
    }
    const auto objects = static_cast<std::size_t>(answer.objectsSize);
    if (objects > size - written) {
      Fail(
          Failure::Of(ErrorCode::kInvalidArgument),
          "%s: The objects of DIO Module %d take more than the %lu bytes given",
          operation.exchangeName, ModuleId, static_cast<unsigned long>(size));
      return Status::Failed();
    }
    std::memcpy(records + written, pdu + answer.objectsAt, objects);
    written += objects;
    if (!answer.moreFollows) {
      if (length != nullptr) *length = written;
      if (conformity != nullptr) *conformity = answer.conformity;
      return Status::Ok();
    }
    if (answers == mf::kMaxIdentAnswers) {
      Fail(Failure::Of(ErrorCode::kWrongAnswer),
           "%s: DIO Module %d still had objects to follow after %d answers",
           operation.exchangeName, ModuleId, answers);
      return Status::Failed();
    }
    progress.askedId = answer.nextId;
  }
}

Status CMBusTCP::MbRawRequest(std::uint8_t functionCode,
                              const std::uint8_t* data, std::size_t length,
                              std::uint8_t* answer, std::size_t size,
                              std::size_t* answerLength) {
  // The row's texts, with the request's own function code for the framing
  // and the verdict.
  Operation operation = OperationOf(kRawRequestRow);
  operation.functionCode = functionCode;
  if ((length > 0 && Refused(operation, data, kNullValues)) ||
      Refused(operation, answer, kNullValues)) {
    return Status::Failed();
  }
  if (functionCode == 0 || functionCode > mf::kLastFunctionCode) {
    Fail(
        Failure::Of(ErrorCode::kInvalidArgument),
        "%s: Function code %d cannot be sent to DIO Module %d; a request carries 1 to 127",
        operation.exchangeName, functionCode, ModuleId);
    return Status::Failed();
  }
  if (length > operation.maxQuantity) {
    Fail(
        Failure::Of(ErrorCode::kInvalidArgument),
        "%s: Too many data bytes for one request on DIO Module %d: %lu (at most %d)",
        operation.exchangeName, ModuleId, static_cast<unsigned long>(length),
        operation.maxQuantity);
    return Status::Failed();
  }
  std::uint8_t pdu[mf::kMaxPduSize];
  Answer::Pdu received = {pdu, 0, 0};
  const Status status =
      RequestPdu(operation, received,
                 [&](std::uint8_t* frame, const mf::RequestHeader& header) {
                   return mf::BuildRawRequest(frame, functionCode, data,
                                              static_cast<int>(length), header);
                 });
  if (!status.ok()) return status;
  const auto answered = static_cast<std::size_t>(received.length);
  if (answered > size) {
    Fail(Failure::Of(ErrorCode::kInvalidArgument),
         "%s: The answer of DIO Module %d takes %d bytes; the buffer holds %lu",
         operation.exchangeName, ModuleId, received.length,
         static_cast<unsigned long>(size));
    return Status::Failed();
  }
  std::memcpy(answer, pdu, answered);
  if (answerLength != nullptr) *answerLength = answered;
  return Status::Ok();
}

}  // namespace tcpmodbus
