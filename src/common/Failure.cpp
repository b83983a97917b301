#include "common/Failure.h"

namespace tcpmodbus {

const char* ErrorCodeName(int code) {
  // Deliberately stable: hosts and scripts compare these names.
  static const char* const kNames[] = {
      "NONE",
      "NOT_CONNECTED",
      "INVALID_ARGUMENT",
      "OPEN",
      "CONNECT",
      "TIMEOUT",
      "CLOSED",
      "SEND",
      "RECEIVE",
      "TOO_SHORT",
      "WRONG_SIZE",
      "WRONG_ANSWER",
      "MODBUS_EXCEPTION",
      "NO_MEMORY",
      "REENTERED",
      "INTERNAL",
  };
  constexpr int kCount = static_cast<int>(sizeof(kNames) / sizeof(kNames[0]));
  static_assert(kCount == static_cast<int>(ErrorCode::kInternal) + 1,
                "a name for every code");
  return code >= 0 && code < kCount ? kNames[code] : "UNKNOWN";
}

}  // namespace tcpmodbus
