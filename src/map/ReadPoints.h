// A read of a map: its plan's requests run, a request refused with
// exception 2 or 3 split until the points that cause the refusal are found,
// and every point's reading in the snapshot.
#ifndef TCPMODBUS_MAP_READPOINTS_H_
#define TCPMODBUS_MAP_READPOINTS_H_

#include <vector>

#include "map/Planner.h"
#include "map/PointLayout.h"
#include "map/RunRequests.h"
#include "tcpmodbus/DeviceMap.h"

namespace tcpmodbus {
namespace map {

class MapReader {
 public:
  // `inFlight`: the object sends several requests before the first answer
  // (RunRequests).
  MapReader(TCPModbusIntf& module, const DeviceMap& map, Learned* learned,
            Snapshot* snapshot, bool inFlight);
  // Runs `plan`, made of the map under `limits` and what was learned, then
  // the requests of the plan of what this read learned, until none is new.
  void Read(const Plan& plan, const PlanLimits& limits);

 private:
  // A span refused alone, learned as a hole once the read is over, less
  // the addresses that other requests of the read were answered for.
  struct Culprit {
    PointTable table;
    Range range;
    int exceptionCode;
  };

  // Sends `requests`, splits those refused, and learns what the splits
  // found.
  void Run(const std::vector<PlannedRequest>& requests);
  // Whether this read tried a request of that table, start and count,
  // sent or not.
  bool WasTried(const PlannedRequest& request) const;
  // Runs `requests` and settles each; those refused with exception 2 or 3
  // go to `refused`, with their codes.
  void Send(const std::vector<PlannedRequest>& requests,
            std::vector<std::pair<PlannedRequest, int>>* refused,
            std::vector<RequestOutcome>* outcomes = nullptr);
  void Settle(const PlannedRequest& request, const RequestOutcome& outcome);
  // Bisects a refused request over its points.
  void Split(const PlannedRequest& request, int exceptionCode);
  PlannedRequest RequestFor(
      PointTable table, std::vector<std::size_t>::const_iterator first,
      std::vector<std::size_t>::const_iterator last) const;
  void LearnCulprits();

  TCPModbusIntf& module_;
  const DeviceMap& map_;
  bool inFlight_;
  std::vector<PointLayout> layouts_;
  Learned* learned_;
  Snapshot* snapshot_;
  bool lost_ = false;
  std::vector<Culprit> culprits_;
  // Every request this read tried.
  std::vector<PlannedRequest> tried_;
  // The addresses answered in this read, per table.
  std::vector<std::pair<PointTable, Range>> answered_;
};

}  // namespace map
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MAP_READPOINTS_H_
