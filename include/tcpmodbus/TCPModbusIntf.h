// Modbus/TCP client for remote I/O modules.
//
// A host obtains one object per module connection from GetInstance(), calls
// Initialize() to bind a local address and port and connect to the module's
// port 502, then reads and writes registers. Every operation is synchronous
// and returns 1 for success and 0 for failure; LastErrorString() tells why
// the last protocol operation failed. The library traces every step,
// including hex dumps of each frame, on standard output.
//
// The order of the virtual functions below is part of the binary interface:
// hosts call through the vtable, so it never changes.
#ifndef TCPMODBUS_TCPMODBUSINTF_H_
#define TCPMODBUS_TCPMODBUSINTF_H_

#include <string>

#include "tcpmodbus/export.h"

class TCPMODBUS_EXPORT TCPModbusIntf {
 public:
  TCPModbusIntf();
  TCPModbusIntf(const TCPModbusIntf& other);
  TCPModbusIntf& operator=(const TCPModbusIntf& other);
  virtual ~TCPModbusIntf();

  // Opens and binds a TCP socket on LocalIpAddr:LocalPort (an empty address
  // means this machine's host name) and connects it to ServerIPAddr:502.
  // May be called again at any time; it closes the old connection first.
  virtual int Initialize(unsigned short ModuleId, std::string LocalIpAddr,
                         unsigned short LocalPort, std::string ServerIPAddr);
  virtual void Close();
  // The reason for the last failed protocol operation; empty until the first
  // failure, never cleared by a success. Lives as long as the object.
  virtual const char* LastErrorString();

  virtual int WriteSingleHoldReg(unsigned short regAddr,
                                 unsigned short& regValue);
  // At most 124 registers fit one request.
  virtual int WriteMultiHoldRegs(unsigned short startAddr,
                                 unsigned short* regValues,
                                 unsigned short regCount);
  // regValues must hold regCount entries; it is written only on success.
  virtual int ReadHoldRegs(unsigned short startAddr, unsigned short* regValues,
                           unsigned short regCount);
  virtual int ReadInputRegs(unsigned short startAddr, unsigned short* regValues,
                            unsigned short regCount);

  // A new, independent object on every call; the caller deletes it.
  static TCPModbusIntf* GetInstance();
};

#endif  // TCPMODBUS_TCPMODBUSINTF_H_
