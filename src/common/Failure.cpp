#include "common/Failure.h"

namespace tcpmodbus {

const char* ErrorCodeName(int code) {
  // Deliberately stable, as the constants' names: hosts and scripts compare
  // these names.
  switch (code) {
#define TCPMODBUS_NAME_OF(name) \
  case TCPMODBUS_ERROR_##name:  \
    return #name;
    TCPMODBUS_ERROR_NAMES(TCPMODBUS_NAME_OF)
#undef TCPMODBUS_NAME_OF
    default:
      return "UNKNOWN";
  }
}

}  // namespace tcpmodbus
