// How the front runs one operation of the interface: the guards before its
// exchange, a second run after a reconnect when the connection was found
// gone before anything was sent, and the trace of its outcome. Shared by the
// files that define the operations.
#ifndef TCPMODBUS_FRONT_OPERATION_H_
#define TCPMODBUS_FRONT_OPERATION_H_

#include "front/CTCPModbus.h"

namespace tcpmodbus {

// The trace texts of one operation; each takes the operation's name as its
// first %s, and the failure line the client's error text as its second.
struct CTCPModbus::OperationTexts {
  const char* name;
  const char* notConnected;
  const char* failure;
  const char* success;
  const char* dumpHeading;
};

// The values a successful operation dumps: registers, or bits one a byte.
struct CTCPModbus::DumpedValues {
  const unsigned short* registers;
  const unsigned char* bits;
  unsigned count;
};

constexpr char kWriteNotConnected[] =
    "%s: Not connected to Modbus Server yet. Please call Initialize() first.\n";
constexpr char kReadNotConnected[] =
    "%s: Not connected to Modbus Server yet.\n";
// The heading of written data has a blank before its newline on purpose:
// hosts match on it.
constexpr char kWrittenHeading[] = "%s - written Data as below: \n";
constexpr char kReadHeading[] = "%s - Read data as below:\n";

template <typename Exchange>
int CTCPModbus::RunOperation(const OperationTexts& texts,
                             const DumpedValues& values, Exchange exchange) {
  if (!ReadyToRun(texts)) return 0;
  Status status = exchange();
  if (status.lostBeforeSend()) {
    if (!Reconnected(texts)) return 0;
    status = exchange();
  }
  return Finish(texts, status, values);
}

}  // namespace tcpmodbus

#endif  // TCPMODBUS_FRONT_OPERATION_H_
