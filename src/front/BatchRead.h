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
// A read a batch did not send, after a failure that lost the connection.
void NotSent(tcpmodbus_read& read);
// Whether a failure leaves the connection unable to carry the next request
// of the batch: closed, reset, not there, failed, or silent.
bool LosesConnection(int errorCode);
// `count` reads one at a time from `reads`, through ReadOne, until one
// loses the connection: the rest are not sent. 1 when all were read.
int ReadInTurn(TCPModbusIntf& module, tcpmodbus_read* reads,
               unsigned int count);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_FRONT_BATCHREAD_H_
