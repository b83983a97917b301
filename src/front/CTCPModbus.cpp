#include "front/CTCPModbus.h"

#include "front/HexDump.h"
#include "front/PrintTrace.h"

CTCPModbus::CTCPModbus()
    : ModuleId(0),
      TcpSocket(),
      LocalIpAddr(),
      LocalPort(0),
      ServerIPAddr(),
      ServerPort(0),
      ModbusClient() {}

CTCPModbus::~CTCPModbus() { TcpSocket.CloseSocket(); }

int CTCPModbus::Initialize(unsigned short ModuleId, std::string LocalIpAddr,
                           unsigned short LocalPort, std::string ServerIPAddr) {
  static constexpr char kName[] = "CTCPModbus::Initialize";
  this->ModuleId = ModuleId;
  this->LocalIpAddr = LocalIpAddr;
  this->LocalPort = LocalPort;
  this->ServerIPAddr = ServerIPAddr;
  ServerPort = ModbusServerPort;

  TcpSocket.CloseSocket();
  if (TcpSocket.OpenSocket(this->LocalIpAddr, this->LocalPort) == 0) {
    PrintTrace(
        "%s - Failed to Open TCP socket. LocalIpAddr=%s, LocalPort=%u. "
        "Error: %s\n",
        kName, this->LocalIpAddr.c_str(), this->LocalPort, TcpSocket.ErrorText);
    return 0;
  }
  PrintTrace("%s: Succeed to open TCP socket. LocalIpAddr=%s, LocalPort=%u\n",
             kName, this->LocalIpAddr.c_str(), this->LocalPort);

  ModbusClient.ServerIPAddr = this->ServerIPAddr.c_str();
  ModbusClient.ServerPort = ModbusServerPort;
  ModbusClient.ModuleId = this->ModuleId;
  ModbusClient.TcpSocket = &TcpSocket;
  if (ModbusClient.ConnectToServer() != 0) {
    PrintTrace(
        "%s - Failed to Connect to Modbus Server (ServerIPAddr=%s, "
        "ClientPort=%u)\nError: %s\n",
        kName, this->ServerIPAddr.c_str(), this->LocalPort,
        ModbusClient.ErrorText);
    return 0;
  }
  PrintTrace("%s: Succeed to connect to Modbus/TCP Server\n", kName);
  return 1;
}

void CTCPModbus::Close() { TcpSocket.CloseSocket(); }

const char* CTCPModbus::LastErrorString() { return ModbusClient.ErrorText; }

bool CTCPModbus::IsConnected() const {
  return ModbusClient.TcpSocket != nullptr &&
         ModbusClient.TcpSocket->SocketHandle != 0;
}

int CTCPModbus::WriteSingleHoldReg(unsigned short regAddr,
                                   unsigned short& regValue) {
  static constexpr char kName[] = "CTCPModbus::WriteSingleHoldReg";
  if (!IsConnected()) {
    PrintTrace(
        "%s: Not connected to Modbus Server yet. Please call Initialize() "
        "first.\n",
        kName);
    return 0;
  }
  if (ModbusClient.MbPresetSingleReg(regAddr, regValue) != 0) {
    PrintTrace(
        "%s: Failed to write Modbus Server (Preset Single Register). Error: "
        "\"%s\"\n",
        kName, ModbusClient.ErrorText);
    return 0;
  }
  PrintTrace(
      "%s: Succeed to write data to Modbus Server (Preset Single Register) "
      "!\n",
      kName);
  PrintTrace("%s - written Data as below: \n", kName);
  DumpRegisters(&regValue, 1);
  return 1;
}

int CTCPModbus::WriteMultiHoldRegs(unsigned short startAddr,
                                   unsigned short* regValues,
                                   unsigned short regCount) {
  static constexpr char kName[] = "CTCPModbus::WriteMultiHoldRegs";
  if (!IsConnected()) {
    PrintTrace(
        "%s: Not connected to Modbus Server yet. Please call Initialize() "
        "first.\n",
        kName);
    return 0;
  }
  if (ModbusClient.MbPresetMultipleRegs(startAddr, regCount, regValues) != 0) {
    PrintTrace(
        "%s: Failed to write to Modbus Server (Preset Multiple Registers). "
        "Error: \"%s\"\n",
        kName, ModbusClient.ErrorText);
    return 0;
  }
  PrintTrace(
      "%s: Succeed to write data to Modbus Server (Preset Multiple Registers) "
      "!\n",
      kName);
  PrintTrace("%s - written Data as below: \n", kName);
  DumpRegisters(regValues, regCount);
  return 1;
}

int CTCPModbus::ReadHoldRegs(unsigned short startAddr,
                             unsigned short* regValues,
                             unsigned short regCount) {
  static constexpr char kName[] = "CTCPModbus::ReadHoldRegs";
  if (!IsConnected()) {
    PrintTrace("%s: Not connected to Modbus Server yet.\n", kName);
    return 0;
  }
  if (ModbusClient.MbReadHoldingRegs(startAddr, regCount, regValues) != 0) {
    PrintTrace(
        "%s: Failed to read Modbus Server (Read Multiple Holding Register). "
        "Error: \"%s\"\n",
        kName, ModbusClient.ErrorText);
    return 0;
  }
  PrintTrace(
      "%s: Succeed to read data from Modbus Server (Read Multiple Holding "
      "Register) !\n",
      kName);
  PrintTrace("%s - Read data as below:\n", kName);
  DumpRegisters(regValues, regCount);
  return 1;
}

int CTCPModbus::ReadInputRegs(unsigned short startAddr,
                              unsigned short* regValues,
                              unsigned short regCount) {
  static constexpr char kName[] = "CTCPModbus::ReadInputRegs";
  if (!IsConnected()) {
    PrintTrace("%s: Not connected to Modbus Server yet.\n", kName);
    return 0;
  }
  if (ModbusClient.MbReadInputRegs(startAddr, regCount, regValues) != 0) {
    PrintTrace(
        "%s: Failed to read Modbus Server (Read Input Register). Error: "
        "\"%s\"\n",
        kName, ModbusClient.ErrorText);
    return 0;
  }
  PrintTrace(
      "%s: Succeed to read data from Modbus Server (Read Input Register) !\n",
      kName);
  PrintTrace("%s - Read data as below:\n", kName);
  DumpRegisters(regValues, regCount);
  return 1;
}
