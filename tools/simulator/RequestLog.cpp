#include "RequestLog.h"

#include <modbus.h>

#include <cstdio>

#include "Frame.h"

namespace tcpmodbus::sim {

std::string DescribeRequest(const std::uint8_t* pdu) {
  const int function = pdu[0];
  const int address = Word(pdu + 1);
  char text[128];
  switch (function) {
    case MODBUS_FC_WRITE_SINGLE_COIL:
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
      std::snprintf(text, sizeof(text), "fc=%d addr=%d value=%d", function,
                    address, Word(pdu + 3));
      break;
    case MODBUS_FC_MASK_WRITE_REGISTER:
      std::snprintf(text, sizeof(text), "fc=%d addr=%d and=0x%04x or=0x%04x",
                    function, address, Word(pdu + 3), Word(pdu + 5));
      break;
    case MODBUS_FC_WRITE_AND_READ_REGISTERS:
      std::snprintf(text, sizeof(text),
                    "fc=%d addr=%d count=%d write-addr=%d write-count=%d",
                    function, address, Word(pdu + 3), Word(pdu + 5),
                    Word(pdu + 7));
      break;
    default:
      std::snprintf(text, sizeof(text), "fc=%d addr=%d count=%d", function,
                    address, Word(pdu + 3));
      break;
  }
  return text;
}

}  // namespace tcpmodbus::sim
