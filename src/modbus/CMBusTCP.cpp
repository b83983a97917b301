#include "modbus/CMBusTCP.h"

#include <cstdarg>

#include "modbus/ModbusFrame.h"
#include "trace/HexDump.h"
#include "trace/PrintTrace.h"

// What tells the four exchanges apart: their function code, the name that
// opens their messages, and their trace and size-mismatch wording.
struct CMBusTCP::Exchange {
  std::uint8_t functionCode;
  const char* name;
  const char* sendingLine;
  const char* receivedLine;
  const char* wrongSizeMessage;
};

namespace {

// The reads and the writes word the size mismatch differently on purpose:
// hosts match on either text.
constexpr char kReadWrongSize[] =
    "%s: Incorrect response size: %d. Expected: %d";
constexpr char kWriteWrongSize[] =
    "%s: Incorrect response size is %d expected %d";

}  // namespace

CMBusTCP::CMBusTCP()
    : ModuleId(0),
      ServerPort(0),
      ServerIPAddr(),
      TcpSocket(nullptr),
      ErrorText(),
      // Spellings such as "requetsed" and code 7's trailing blank are
      // deliberate: hosts match on these texts. Do not correct them.
      ExceptionTexts{
          "",
          "Unallowable or invalid function code received in the query",
          "Unallowable or invalid data address received in the query for the slave",
          "Unallowable or invalid value contained in the query data field for the slave",
          "The server failed during execution due to unrecoverable error",
          "Acknowledge for a long time of request processing",
          "Slave/Server Device Busy",
          "The slave cannot perform the requetsed function ",
          "Memory Parity Error",
          "",
          "Gateway Problem. Gateway path(s) not available",
          "Gateway Problem. The target device failed to respond",
          "",
          "",
          "",
      },
      UnitId(modbusframe::kDefaultUnitId),
      ConnectionLost(false) {}

CMBusTCP::~CMBusTCP() = default;

void CMBusTCP::SetClientError(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  errortext::FormatV(ErrorText, format, args);
  va_end(args);
}

int CMBusTCP::ConnectToServer() {
  static constexpr char kName[] = "CMBusTCP::ConnectToServer";
  if (TcpSocket == nullptr) {
    SetClientError("%s: Null socket (%d)", kName, ModuleId);
    return 1;
  }

  int error = 0;
  if (TcpSocket->Connect(ServerIPAddr.c_str(), ServerPort, &error)) return 0;
  TcpSocket->SetSocketError("WSASocket failed. connect Error(%d)", error);
  TcpSocket->CloseSocket();
  SetClientError("%s", TcpSocket->ErrorText);
  return 1;
}

int CMBusTCP::MbReadHoldingRegs(std::uint16_t startAddr, std::uint16_t regCount,
                                std::uint16_t* regValues) {
  static constexpr Exchange kExchange = {
      modbusframe::kReadHoldingRegisters, "CMBusTCP::MbReadHoldingRegs",
      "%s ==>Sending MbReadHoldingRegs Request...Size=%d\n",
      "%s <==Received MbReadHoldingRegs Response...Size=%d\n", kReadWrongSize};
  return ReadRegisters(kExchange, startAddr, regCount, regValues);
}

int CMBusTCP::MbReadInputRegs(std::uint16_t startAddr, std::uint16_t regCount,
                              std::uint16_t* regValues) {
  static constexpr Exchange kExchange = {
      modbusframe::kReadInputRegisters, "CMBusTCP::MbReadInputRegs",
      "%s ==>Sending MbReadInputRegs Request...Size=%d\n",
      "%s <==Received MbReadInputRegs Response...Size=%d\n", kReadWrongSize};
  return ReadRegisters(kExchange, startAddr, regCount, regValues);
}

int CMBusTCP::ReadRegisters(const Exchange& exchange, std::uint16_t startAddr,
                            std::uint16_t regCount, std::uint16_t* regValues) {
  if (regValues == nullptr) {
    SetClientError("%s: Null register pointer on DIO Module %d", exchange.name,
                   ModuleId);
    return 1;
  }
  if (TcpSocket == nullptr) {
    SetClientError("%s: Null socket (%d)", exchange.name, ModuleId);
    return 1;
  }
  std::uint8_t request[modbusframe::kRequestBufferSize];
  const int size = modbusframe::BuildReadRequest(request, exchange.functionCode,
                                                 startAddr, regCount, UnitId);
  return Transact(exchange, request, size, regCount, regValues);
}

int CMBusTCP::MbPresetSingleReg(std::uint16_t regAddr, std::uint16_t regValue) {
  static constexpr Exchange kExchange = {
      modbusframe::kPresetSingleRegister, "CMBusTCP::MbPresetSingleReg",
      "%s ==>Sending MbPresetSingleReg Request...Size=%d\n",
      "%s <==Received MbPresetSingleReg Response...Size=%d\n", kWriteWrongSize};
  if (TcpSocket == nullptr) {
    SetClientError("%s: Null socket (%d)", kExchange.name, ModuleId);
    return 1;
  }
  std::uint8_t request[modbusframe::kRequestBufferSize];
  const int size =
      modbusframe::BuildPresetSingleRequest(request, regAddr, regValue, UnitId);
  return Transact(kExchange, request, size, 1, nullptr);
}

int CMBusTCP::MbPresetMultipleRegs(std::uint16_t startAddr,
                                   std::uint16_t regCount,
                                   const std::uint16_t* regValues) {
  static constexpr Exchange kExchange = {
      modbusframe::kPresetMultipleRegisters, "CMBusTCP::MbPresetMultipleRegs",
      "%s ==>Sending MbPresetMultipleRegs Request...Size=%d\n",
      "%s <==Received MbPresetMultipleRegs Response...Size=%d\n",
      kWriteWrongSize};
  if (regValues == nullptr) {
    SetClientError("%s: Null register value pointer on DIO Module %d",
                   kExchange.name, ModuleId);
    return 1;
  }
  if (TcpSocket == nullptr) {
    SetClientError("%s: Null socket (%d)", kExchange.name, ModuleId);
    return 1;
  }
  if (regCount > modbusframe::kMaxPresetRegisters) {
    SetClientError(
        "%s: Too many registers for one request on DIO Module %d: %d (at most %d)",
        kExchange.name, ModuleId, regCount, modbusframe::kMaxPresetRegisters);
    return 1;
  }
  std::uint8_t request[modbusframe::kRequestBufferSize];
  const int size = modbusframe::BuildPresetMultipleRequest(
      request, startAddr, regCount, regValues, UnitId);
  return Transact(kExchange, request, size, regCount, nullptr);
}

int CMBusTCP::Transact(const Exchange& exchange, const std::uint8_t* request,
                       int requestSize, std::uint16_t regCount,
                       std::uint16_t* readValues) {
  ConnectionLost = false;
  PrintTrace(exchange.sendingLine, exchange.name, requestSize);
  DumpBytes(request, static_cast<std::uint32_t>(requestSize));

  if (TcpSocket->SendData(request, requestSize) != requestSize) {
    SetClientError("%s: Failed to send request to DIO Module %d. Error: %s",
                   exchange.name, ModuleId, TcpSocket->ErrorText);
    ConnectionLost = true;
    return 1;
  }

  std::uint8_t response[CTcpSocket::MaxResponseBytes];
  const int received = TcpSocket->ReceiveData(
      response,
      {modbusframe::ExpectedResponseSize(exchange.functionCode, regCount),
       exchange.functionCode});
  if (received == CTcpSocket::TimedOut) {
    SetClientError("%s: No response from DIO Module %d within %u ms",
                   exchange.name, ModuleId, TcpSocket->ResponseTimeoutMs);
    // A late answer must never be taken for a later request's.
    TcpSocket->AbortSocket();
    ConnectionLost = true;
    return 1;
  }
  if (received > 0) {
    PrintTrace(exchange.receivedLine, exchange.name, received);
    DumpBytes(response, static_cast<std::uint32_t>(received));
  }

  const int result = Judge(exchange, response, received, regCount, readValues);
  if (received <= 0 || TcpSocket->StreamEnded) {
    ConnectionLost = true;  // closed, reset, or not ready
  } else if (result != 0 && TcpSocket->WaitExpired &&
             TcpSocket->ResponseTimeoutMs != 0) {
    // The rest of this answer may still come after the next request.
    TcpSocket->AbortSocket();
    ConnectionLost = true;
  }
  return result;
}

int CMBusTCP::Judge(const Exchange& exchange, const std::uint8_t* response,
                    int received, std::uint16_t regCount,
                    std::uint16_t* readValues) {
  const modbusframe::Judgement judgement = modbusframe::JudgeResponse(
      response, received, exchange.functionCode, regCount);
  switch (judgement.verdict) {
    case modbusframe::Verdict::Closed:
      SetClientError("%s: Unexpected close of connection on DIO Module %d",
                     exchange.name, ModuleId);
      return 1;
    case modbusframe::Verdict::TooShort:
      SetClientError("%s: Response was too short on DIO Module %d. readSize=%d",
                     exchange.name, ModuleId, received);
      return 1;
    case modbusframe::Verdict::Exception:
      SetClientError(
          "%s: MODBUS exception response on DIO Module %d - Code=%d, \"%s\"",
          exchange.name, ModuleId, judgement.exceptionCode,
          ExceptionText(judgement.exceptionCode));
      return 1;
    case modbusframe::Verdict::WrongSize:
      SetClientError(exchange.wrongSizeMessage, exchange.name, received,
                     judgement.expectedSize);
      return 1;
    case modbusframe::Verdict::Accepted:
      break;
  }
  if (readValues != nullptr) {
    modbusframe::DecodeRegisters(response, regCount, readValues);
  }
  return 0;
}

const char* CMBusTCP::ExceptionText(std::uint8_t code) const {
  if (code >= 1 && code <= 11) return ExceptionTexts[code];
  if (code == 255) return "Extended Exception Response";
  // "Unknow" is deliberate: hosts match on this text. Do not correct it.
  return "Unknow exception";
}
