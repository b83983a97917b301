// The opaque handle of the C interface (tcpmodbus.h): the object itself.
// Shared by the files that define the C functions.
#ifndef TCPMODBUS_FRONT_CHANDLE_H_
#define TCPMODBUS_FRONT_CHANDLE_H_

#include "front/CTCPModbus.h"
#include "tcpmodbus/tcpmodbus.h"

struct tcpmodbus_module {
  tcpmodbus::CTCPModbus object;
};

#endif  // TCPMODBUS_FRONT_CHANDLE_H_
