// The interface's own bodies, which a host reaches only by instantiating the
// base class itself, and the factory.
#include "tcpmodbus/TCPModbusIntf.h"

#include "common/Failure.h"
#include "front/BatchRead.h"
#include "front/CTCPModbus.h"
#include "trace/TraceOutput.h"

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

int TCPModbusIntf::SetConnectTimeout(unsigned int) { return 1; }

int TCPModbusIntf::SetResponseTimeout(unsigned int) { return 1; }

int TCPModbusIntf::SetRecovery(bool) { return 1; }

int TCPModbusIntf::SetServerPort(unsigned short) { return 1; }

int TCPModbusIntf::SetUnitId(unsigned char) { return 1; }

unsigned int TCPModbusIntf::Reconnects() { return 0; }

int TCPModbusIntf::SetTransactionIds(bool) { return 1; }

int TCPModbusIntf::SetTraceSink(TraceSink, void*) { return 1; }

int TCPModbusIntf::LastErrorCode() { return ErrorNone; }

int TCPModbusIntf::LastExceptionCode() { return 0; }

int TCPModbusIntf::LastSystemError() { return 0; }

int TCPModbusIntf::ReadCoils(unsigned short, unsigned char*, unsigned short) {
  return 1;
}

int TCPModbusIntf::ReadDiscreteInputs(unsigned short, unsigned char*,
                                      unsigned short) {
  return 1;
}

int TCPModbusIntf::WriteSingleCoil(unsigned short, bool) { return 1; }

int TCPModbusIntf::WriteMultiCoils(unsigned short, const unsigned char*,
                                   unsigned short) {
  return 1;
}

int TCPModbusIntf::MaskWriteHoldReg(unsigned short, unsigned short,
                                    unsigned short) {
  return 1;
}

int TCPModbusIntf::ReadWriteMultiHoldRegs(unsigned short, unsigned short*,
                                          unsigned short, unsigned short,
                                          const unsigned short*,
                                          unsigned short) {
  return 1;
}

const char* TCPModbusIntf::LastFailureText() { return nullptr; }

int TCPModbusIntf::SetMaxInFlight(unsigned int) { return 1; }

int TCPModbusIntf::ReadBatch(tcpmodbus_read* reads, unsigned int count) {
  if (reads == nullptr) return count == 0 ? 1 : 0;
  return tcpmodbus::ReadInTurn(*this, reads, count);
}

unsigned int TCPModbusIntf::StepDowns() { return 0; }

const char* TCPModbusIntf::ErrorName(int code) {
  return tcpmodbus::ErrorCodeName(code);
}

void TCPModbusIntf::TraceToStdout(void* context, const char* text,
                                  std::size_t length) {
  tcpmodbus::WriteTraceToStdout(context, text, length);
}

TCPModbusIntf* TCPModbusIntf::GetInstance() {
  return new tcpmodbus::CTCPModbus();
}

const char* TCPModbusIntf::Version() { return TCPMODBUS_VERSION; }
