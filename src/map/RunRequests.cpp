#include "map/RunRequests.h"

namespace tcpmodbus {
namespace map {
namespace {

int Read(TCPModbusIntf& module, const PlannedRequest& request,
         RequestOutcome* outcome) {
  switch (request.table) {
    case PointTable::kHolding:
      outcome->registers.assign(request.count, 0);
      return module.ReadHoldRegs(request.start, outcome->registers.data(),
                                 request.count);
    case PointTable::kInput:
      outcome->registers.assign(request.count, 0);
      return module.ReadInputRegs(request.start, outcome->registers.data(),
                                  request.count);
    case PointTable::kCoil:
      outcome->bits.assign(request.count, 0);
      return module.ReadCoils(request.start, outcome->bits.data(),
                              request.count);
    case PointTable::kDiscrete:
      outcome->bits.assign(request.count, 0);
      return module.ReadDiscreteInputs(request.start, outcome->bits.data(),
                                       request.count);
  }
  return 0;
}

}  // namespace

bool LosesConnection(int errorCode) {
  return errorCode == TCPMODBUS_ERROR_NOT_CONNECTED ||
         errorCode == TCPMODBUS_ERROR_TIMEOUT ||
         errorCode == TCPMODBUS_ERROR_CLOSED ||
         errorCode == TCPMODBUS_ERROR_SEND ||
         errorCode == TCPMODBUS_ERROR_RECEIVE;
}

std::vector<RequestOutcome> RunRequests(
    TCPModbusIntf& module, const std::vector<PlannedRequest>& requests) {
  std::vector<RequestOutcome> outcomes(requests.size());
  for (std::size_t i = 0; i < requests.size(); ++i) {
    RequestOutcome& outcome = outcomes[i];
    outcome.sent = true;
    const int ok = Read(module, requests[i], &outcome);
    outcome.time = std::chrono::system_clock::now();
    if (ok == 1) continue;
    outcome.errorCode = module.LastErrorCode();
    // An object that fails without a code still failed.
    if (outcome.errorCode == TCPMODBUS_ERROR_NONE) {
      outcome.errorCode = TCPMODBUS_ERROR_INTERNAL;
    }
    outcome.exceptionCode = module.LastExceptionCode();
    if (LosesConnection(outcome.errorCode)) break;
  }
  return outcomes;
}

}  // namespace map
}  // namespace tcpmodbus
