// One read of a batch through the read operations of any object of the
// interface, and what it records of the outcome: the base class's batch,
// and the reads a batch sends again one at a time.
#ifndef TCPMODBUS_FRONT_BATCHREAD_H_
#define TCPMODBUS_FRONT_BATCHREAD_H_

#include "tcpmodbus/TCPModbusIntf.h"
#include "tcpmodbus/tcpmodbus.h"

namespace tcpmodbus {

// The read operation of `read`'s table; 1 for success. An unknown table
// fails as an invalid argument.
int ReadOne(TCPModbusIntf& module, tcpmodbus_read& read);
// Fills in how `read` ended, `result` and, on failure, the object's codes.
int RecordOutcome(TCPModbusIntf& module, tcpmodbus_read& read, int result);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_FRONT_BATCHREAD_H_
