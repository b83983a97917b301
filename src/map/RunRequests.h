// The one place that sends a map's planned requests: as the object's batch
// of reads, one at a time or with several in flight as the object is set.
#ifndef TCPMODBUS_MAP_RUNREQUESTS_H_
#define TCPMODBUS_MAP_RUNREQUESTS_H_

#include <chrono>
#include <cstdint>
#include <vector>

#include "front/BatchRead.h"
#include "tcpmodbus/DeviceMap.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace tcpmodbus {
namespace map {

struct RequestOutcome {
  bool sent = false;
  int errorCode = 0;  // TCPMODBUS_ERROR_*; 0: answered with values
  int exceptionCode = 0;
  std::chrono::system_clock::time_point time{};
  std::vector<std::uint16_t> registers;  // a register table's values
  std::vector<unsigned char> bits;       // a bit table's, 0 or 1 each
};

// One outcome per request; after the first failure that loses the
// connection the rest are not sent (LosesConnection of front/BatchRead.h).
// `inFlight`: the object sends several requests before the first answer, so
// they go as one batch, each outcome timed when the batch ended; otherwise
// each goes alone and is timed when its own answer came.
std::vector<RequestOutcome> RunRequests(
    TCPModbusIntf& module, const std::vector<PlannedRequest>& requests,
    bool inFlight);

}  // namespace map
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MAP_RUNREQUESTS_H_
