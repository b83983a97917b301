#include "RequestLog.h"

#include <modbus.h>

#include <cstdio>

#include "Frame.h"

namespace tcpmodbus::sim {

namespace {

constexpr int kReadDeviceIdentification = 0x2B;
constexpr int kDiagnostics = 0x08;

}  // namespace

std::string DescribeRequest(const std::uint8_t* pdu, std::size_t length) {
  const int function = pdu[0];
  char text[128];
  if (function == kReadDeviceIdentification && length == 4) {
    std::snprintf(text, sizeof(text), "fc=%d mei=%d code=%d object=%d",
                  function, pdu[1], pdu[2], pdu[3]);
    return text;
  }
  if (function == kDiagnostics && length >= 3) {
    std::snprintf(text, sizeof(text), "fc=%d sub=%d length=%zu", function,
                  Word(pdu + 1), length);
    return text;
  }
  // Any other request shorter than an address and a count.
  if (length < 5) {
    std::snprintf(text, sizeof(text), "fc=%d length=%zu", function, length);
    return text;
  }
  const int address = Word(pdu + 1);
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
