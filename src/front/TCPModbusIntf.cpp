// The interface's own bodies, which a host reaches only by instantiating the
// base class itself, and the factory.
#include "tcpmodbus/TCPModbusIntf.h"

#include "front/CTCPModbus.h"

TCPModbusIntf::TCPModbusIntf() = default;
TCPModbusIntf::TCPModbusIntf(const TCPModbusIntf&) = default;
TCPModbusIntf& TCPModbusIntf::operator=(const TCPModbusIntf&) = default;
TCPModbusIntf::~TCPModbusIntf() = default;

int TCPModbusIntf::Initialize(unsigned short, std::string, unsigned short,
                              std::string) {
  return 1;
}

void TCPModbusIntf::Close() {}

const char* TCPModbusIntf::LastErrorString() { return nullptr; }

int TCPModbusIntf::WriteSingleHoldReg(unsigned short, unsigned short&) {
  return 1;
}

int TCPModbusIntf::WriteMultiHoldRegs(unsigned short, unsigned short*,
                                      unsigned short) {
  return 1;
}

int TCPModbusIntf::ReadHoldRegs(unsigned short, unsigned short*,
                                unsigned short) {
  return 1;
}

int TCPModbusIntf::ReadInputRegs(unsigned short, unsigned short*,
                                 unsigned short) {
  return 1;
}

TCPModbusIntf* TCPModbusIntf::GetInstance() { return new CTCPModbus(); }
