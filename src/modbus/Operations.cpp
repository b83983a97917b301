#include "modbus/Operations.h"

#include "tcpmodbus/tcpmodbus.h"

namespace tcpmodbus {
namespace {

// The reads and the writes word the size mismatch differently on purpose:
// hosts match on either text.
constexpr char kReadWrongSize[] =
    "%s: Incorrect response size: %d. Expected: %d";
constexpr char kWriteWrongSize[] =
    "%s: Incorrect response size is %d expected %d";
constexpr char kWriteNotConnected[] =
    "%s: Not connected to Modbus Server yet. Please call Initialize() first.\n";
constexpr char kReadNotConnected[] =
    "%s: Not connected to Modbus Server yet.\n";
// The heading of written data has a blank before its newline on purpose:
// hosts match on it.
constexpr char kWrittenHeading[] = "%s - written Data as below: \n";
constexpr char kReadHeading[] = "%s - Read data as below:\n";

// "Failed to write Modbus Server" (without "to") of the single write is
// deliberate, and so is the multiple write's "write to": hosts match on both.
constexpr Operation kOperations[] = {
    {3, "CMBusTCP::MbReadHoldingRegs",
     "%s ==>Sending MbReadHoldingRegs Request...Size=%d\n",
     "%s <==Received MbReadHoldingRegs Response...Size=%d\n", kReadWrongSize,
     "CTCPModbus::ReadHoldRegs", kReadNotConnected,
     "%s: Failed to read Modbus Server (Read Multiple Holding Register). Error: \"%s\"\n",
     "%s: Succeed to read data from Modbus Server (Read Multiple Holding Register) !\n",
     kReadHeading, 0, 0, false},
    {4, "CMBusTCP::MbReadInputRegs",
     "%s ==>Sending MbReadInputRegs Request...Size=%d\n",
     "%s <==Received MbReadInputRegs Response...Size=%d\n", kReadWrongSize,
     "CTCPModbus::ReadInputRegs", kReadNotConnected,
     "%s: Failed to read Modbus Server (Read Input Register). Error: \"%s\"\n",
     "%s: Succeed to read data from Modbus Server (Read Input Register) !\n",
     kReadHeading, 0, 0, false},
    {6, "CMBusTCP::MbPresetSingleReg",
     "%s ==>Sending MbPresetSingleReg Request...Size=%d\n",
     "%s <==Received MbPresetSingleReg Response...Size=%d\n", kWriteWrongSize,
     "CTCPModbus::WriteSingleHoldReg", kWriteNotConnected,
     "%s: Failed to write Modbus Server (Preset Single Register). Error: \"%s\"\n",
     "%s: Succeed to write data to Modbus Server (Preset Single Register) !\n",
     kWrittenHeading, 0, 0, false},
    {16, "CMBusTCP::MbPresetMultipleRegs",
     "%s ==>Sending MbPresetMultipleRegs Request...Size=%d\n",
     "%s <==Received MbPresetMultipleRegs Response...Size=%d\n",
     kWriteWrongSize, "CTCPModbus::WriteMultiHoldRegs", kWriteNotConnected,
     "%s: Failed to write to Modbus Server (Preset Multiple Registers). Error: \"%s\"\n",
     "%s: Succeed to write data to Modbus Server (Preset Multiple Registers) !\n",
     kWrittenHeading, 0, 0, false},
    {1, "CMBusTCP::MbReadCoilStatus",
     "%s ==>Sending MbReadCoilStatus Request...Size=%d\n",
     "%s <==Received MbReadCoilStatus Response...Size=%d\n", kReadWrongSize,
     "CTCPModbus::ReadCoils", kReadNotConnected,
     "%s: Failed to read Modbus Server (Read Coil Status). Error: \"%s\"\n",
     "%s: Succeed to read data from Modbus Server (Read Coil Status) !\n",
     kReadHeading, TCPMODBUS_MAX_READ_BITS, 0, true},
    {2, "CMBusTCP::MbReadInputStatus",
     "%s ==>Sending MbReadInputStatus Request...Size=%d\n",
     "%s <==Received MbReadInputStatus Response...Size=%d\n", kReadWrongSize,
     "CTCPModbus::ReadDiscreteInputs", kReadNotConnected,
     "%s: Failed to read Modbus Server (Read Input Status). Error: \"%s\"\n",
     "%s: Succeed to read data from Modbus Server (Read Input Status) !\n",
     kReadHeading, TCPMODBUS_MAX_READ_BITS, 0, true},
    {5, "CMBusTCP::MbForceSingleCoil",
     "%s ==>Sending MbForceSingleCoil Request...Size=%d\n",
     "%s <==Received MbForceSingleCoil Response...Size=%d\n", kWriteWrongSize,
     "CTCPModbus::WriteSingleCoil", kWriteNotConnected,
     "%s: Failed to write to Modbus Server (Force Single Coil). Error: \"%s\"\n",
     "%s: Succeed to write data to Modbus Server (Force Single Coil) !\n",
     kWrittenHeading, 0, 0, true},
    {15, "CMBusTCP::MbForceMultipleCoils",
     "%s ==>Sending MbForceMultipleCoils Request...Size=%d\n",
     "%s <==Received MbForceMultipleCoils Response...Size=%d\n",
     kWriteWrongSize, "CTCPModbus::WriteMultiCoils", kWriteNotConnected,
     "%s: Failed to write to Modbus Server (Force Multiple Coils). Error: \"%s\"\n",
     "%s: Succeed to write data to Modbus Server (Force Multiple Coils) !\n",
     kWrittenHeading, TCPMODBUS_MAX_WRITE_BITS, 0, true},
    {22, "CMBusTCP::MbMaskWriteReg",
     "%s ==>Sending MbMaskWriteReg Request...Size=%d\n",
     "%s <==Received MbMaskWriteReg Response...Size=%d\n", kWriteWrongSize,
     "CTCPModbus::MaskWriteHoldReg", kWriteNotConnected,
     "%s: Failed to write to Modbus Server (Mask Write Register). Error: \"%s\"\n",
     "%s: Succeed to write data to Modbus Server (Mask Write Register) !\n",
     kWrittenHeading, 0, 0, true},
    {23, "CMBusTCP::MbReadWriteMultipleRegs",
     "%s ==>Sending MbReadWriteMultipleRegs Request...Size=%d\n",
     "%s <==Received MbReadWriteMultipleRegs Response...Size=%d\n",
     kReadWrongSize, "CTCPModbus::ReadWriteMultiHoldRegs", kWriteNotConnected,
     "%s: Failed to write and read Modbus Server (Read/Write Multiple Registers). Error: \"%s\"\n",
     "%s: Succeed to write and read data on Modbus Server (Read/Write Multiple Registers) !\n",
     kReadHeading, TCPMODBUS_MAX_READ_REGISTERS,
     TCPMODBUS_MAX_READ_WRITE_REGISTERS, true},
    // Read Device Identification: several answers when more follows, each
    // an exchange; its objects judged apart (DeviceIdentification.h).
    {43, "CMBusTCP::MbReadDeviceIdentification",
     "%s ==>Sending MbReadDeviceIdentification Request...Size=%d\n",
     "%s <==Received MbReadDeviceIdentification Response...Size=%d\n",
     kReadWrongSize, "CTCPModbus::ReadDeviceIdentification", kReadNotConnected,
     "%s: Failed to read Modbus Server (Read Device Identification). Error: \"%s\"\n",
     "%s: Succeed to read data from Modbus Server (Read Device Identification) !\n",
     kReadHeading, 0, 0, false},
    // A raw request: its quantity is the data bytes after the function code.
    {kRawRequestRow, "CMBusTCP::MbRawRequest",
     "%s ==>Sending MbRawRequest Request...Size=%d\n",
     "%s <==Received MbRawRequest Response...Size=%d\n", kReadWrongSize,
     "CTCPModbus::RawRequest", kWriteNotConnected,
     "%s: Failed to exchange with Modbus Server (Raw Request). Error: \"%s\"\n",
     "%s: Succeed to exchange with Modbus Server (Raw Request) !\n",
     "%s - Answer as below:\n", TCPMODBUS_MAX_PDU_SIZE - 1, 0, false},
};

}  // namespace

const Operation& OperationOf(std::uint8_t functionCode) {
  for (const Operation& operation : kOperations) {
    if (operation.functionCode == functionCode) return operation;
  }
  return kOperations[0];  // never reached: every caller names one of them
}

}  // namespace tcpmodbus
