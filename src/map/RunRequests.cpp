#include "map/RunRequests.h"

namespace tcpmodbus {
namespace map {
std::vector<RequestOutcome> RunRequests(
    TCPModbusIntf& module, const std::vector<PlannedRequest>& requests,
    bool inFlight) {
  std::vector<RequestOutcome> outcomes(requests.size());
  std::vector<tcpmodbus_read> reads(requests.size());
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const PlannedRequest& request = requests[i];
    RequestOutcome& outcome = outcomes[i];
    tcpmodbus_read& read = reads[i];
    read = {static_cast<int>(request.table), request.start, request.count,
            nullptr, nullptr, 0, 0, 0};
    if (request.table == PointTable::kHolding ||
        request.table == PointTable::kInput) {
      outcome.registers.assign(request.count, 0);
      read.registers = outcome.registers.data();
    } else {
      outcome.bits.assign(request.count, 0);
      read.bits = outcome.bits.data();
    }
  }
  if (inFlight) {
    // The object's batch, several in flight as it is set; it stops at a
    // failure that loses the connection.
    module.ReadBatch(reads.data(), static_cast<unsigned int>(reads.size()));
    const auto now = std::chrono::system_clock::now();
    for (RequestOutcome& outcome : outcomes) outcome.time = now;
  } else {
    // One at a time, as the batch would send them, so that each reading
    // has the time its own answer came, not that of the last.
    bool lost = false;
    for (std::size_t i = 0; i < requests.size(); ++i) {
      if (lost) {
        NotSent(reads[i]);
        continue;
      }
      module.ReadBatch(&reads[i], 1);
      outcomes[i].time = std::chrono::system_clock::now();
      lost = reads[i].result != 1 && LosesConnection(reads[i].error_code);
    }
  }
  for (std::size_t i = 0; i < requests.size(); ++i) {
    RequestOutcome& outcome = outcomes[i];
    const tcpmodbus_read& read = reads[i];
    outcome.sent = true;
    if (read.result == 1) continue;
    outcome.sent = read.error_code != TCPMODBUS_ERROR_NOT_CONNECTED;
    // An object that fails without a code still failed.
    outcome.errorCode = read.error_code != TCPMODBUS_ERROR_NONE
                            ? read.error_code
                            : TCPMODBUS_ERROR_INTERNAL;
    outcome.exceptionCode = read.exception_code;
  }
  return outcomes;
}

}  // namespace map
}  // namespace tcpmodbus
