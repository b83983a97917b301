// What an object records about its last failure beside the text, as one
// value a table row can hold and a check can compare (and print by name):
//
//   EXPECT_EQ(FailureRecordOf(client), row.failure);
//   row.failure = {TCPModbusIntf::ErrorConnect, PlatformError(111, 10061)};
#ifndef TCPMODBUS_TESTS_SUPPORT_FAILURERECORD_H_
#define TCPMODBUS_TESTS_SUPPORT_FAILURERECORD_H_

#include <ostream>

#include "tcpmodbus/TCPModbusIntf.h"

namespace testsupport {

struct FailureRecord {
  int code = TCPModbusIntf::ErrorNone;
  int systemError = 0;
  int exceptionCode = 0;

  friend bool operator==(const FailureRecord& a, const FailureRecord& b) {
    return a.code == b.code && a.systemError == b.systemError &&
           a.exceptionCode == b.exceptionCode;
  }
  friend std::ostream& operator<<(std::ostream& out,
                                  const FailureRecord& record) {
    return out << TCPModbusIntf::ErrorName(record.code) << " (" << record.code
               << "), system error " << record.systemError
               << ", exception code " << record.exceptionCode;
  }
};

inline FailureRecord FailureRecordOf(TCPModbusIntf& object) {
  return {object.LastErrorCode(), object.LastSystemError(),
          object.LastExceptionCode()};
}

// A Modbus exception answer with `exceptionCode`.
inline FailureRecord ModbusException(int exceptionCode) {
  return {TCPModbusIntf::ErrorModbusException, 0, exceptionCode};
}

}  // namespace testsupport

#endif  // TCPMODBUS_TESTS_SUPPORT_FAILURERECORD_H_
