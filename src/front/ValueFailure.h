// The one place where the typed values record a failure on an object: the
// code and the text, in one call.
#ifndef TCPMODBUS_FRONT_VALUEFAILURE_H_
#define TCPMODBUS_FRONT_VALUEFAILURE_H_

#include "common/Attributes.h"
#include "common/Failure.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace tcpmodbus {

// Records `code` and the text of `format` as the last failure of `module`
// when it is an object of this library (another object's record is its
// own); returns 0, the result of a failed operation. LastErrorString is
// left as it was; inside the object's own trace sink, the record is the
// sink's alone, so the operation in progress keeps its own.
int RecordValueFailure(TCPModbusIntf& module, ErrorCode code,
                       const char* format, ...) TCPMODBUS_PRINTF_FORMAT(3, 4);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_FRONT_VALUEFAILURE_H_
