// The point operations of the interface (library 1.2): coils and discrete
// inputs, one bit a byte in the host's arrays, a mask write and a read/write
// of registers in one transaction. Each runs as the register operations do.
#include "front/CTCPModbus.h"
#include "front/Operation.h"

namespace tcpmodbus {

int CTCPModbus::ReadCoils(unsigned short startAddr, unsigned char* bits,
                          unsigned short count) {
  static constexpr OperationTexts kTexts = {
      "CTCPModbus::ReadCoils", kReadNotConnected,
      "%s: Failed to read Modbus Server (Read Coil Status). Error: \"%s\"\n",
      "%s: Succeed to read data from Modbus Server (Read Coil Status) !\n",
      kReadHeading};
  return RunOperation(kTexts, {nullptr, bits, count}, [&] {
    return ModbusClient.MbReadCoilStatus(startAddr, count, bits);
  });
}

int CTCPModbus::ReadDiscreteInputs(unsigned short startAddr,
                                   unsigned char* bits, unsigned short count) {
  static constexpr OperationTexts kTexts = {
      "CTCPModbus::ReadDiscreteInputs", kReadNotConnected,
      "%s: Failed to read Modbus Server (Read Input Status). Error: \"%s\"\n",
      "%s: Succeed to read data from Modbus Server (Read Input Status) !\n",
      kReadHeading};
  return RunOperation(kTexts, {nullptr, bits, count}, [&] {
    return ModbusClient.MbReadInputStatus(startAddr, count, bits);
  });
}

int CTCPModbus::WriteSingleCoil(unsigned short addr, bool on) {
  static constexpr OperationTexts kTexts = {
      "CTCPModbus::WriteSingleCoil", kWriteNotConnected,
      "%s: Failed to write to Modbus Server (Force Single Coil). Error: \"%s\"\n",
      "%s: Succeed to write data to Modbus Server (Force Single Coil) !\n",
      kWrittenHeading};
  const unsigned char bit = on ? 1 : 0;
  return RunOperation(kTexts, {nullptr, &bit, 1},
                      [&] { return ModbusClient.MbForceSingleCoil(addr, on); });
}

int CTCPModbus::WriteMultiCoils(unsigned short startAddr,
                                const unsigned char* bits,
                                unsigned short count) {
  static constexpr OperationTexts kTexts = {
      "CTCPModbus::WriteMultiCoils", kWriteNotConnected,
      "%s: Failed to write to Modbus Server (Force Multiple Coils). Error: \"%s\"\n",
      "%s: Succeed to write data to Modbus Server (Force Multiple Coils) !\n",
      kWrittenHeading};
  return RunOperation(kTexts, {nullptr, bits, count}, [&] {
    return ModbusClient.MbForceMultipleCoils(startAddr, count, bits);
  });
}

int CTCPModbus::MaskWriteHoldReg(unsigned short addr, unsigned short andMask,
                                 unsigned short orMask) {
  static constexpr OperationTexts kTexts = {
      "CTCPModbus::MaskWriteHoldReg", kWriteNotConnected,
      "%s: Failed to write to Modbus Server (Mask Write Register). Error: \"%s\"\n",
      "%s: Succeed to write data to Modbus Server (Mask Write Register) !\n",
      kWrittenHeading};
  const unsigned short masks[2] = {andMask, orMask};
  return RunOperation(kTexts, {masks, nullptr, 2}, [&] {
    return ModbusClient.MbMaskWriteReg(addr, andMask, orMask);
  });
}

int CTCPModbus::ReadWriteMultiHoldRegs(unsigned short readAddr,
                                       unsigned short* readValues,
                                       unsigned short readCount,
                                       unsigned short writeAddr,
                                       const unsigned short* writeValues,
                                       unsigned short writeCount) {
  static constexpr OperationTexts kTexts = {
      "CTCPModbus::ReadWriteMultiHoldRegs", kWriteNotConnected,
      "%s: Failed to write and read Modbus Server (Read/Write Multiple Registers). Error: \"%s\"\n",
      "%s: Succeed to write and read data on Modbus Server (Read/Write Multiple Registers) !\n",
      kReadHeading};
  return RunOperation(kTexts, {readValues, nullptr, readCount}, [&] {
    return ModbusClient.MbReadWriteMultipleRegs(
        readAddr, readCount, readValues, writeAddr, writeCount, writeValues);
  });
}

}  // namespace tcpmodbus
