#include "map/ReadPoints.h"

#include <algorithm>

#include "map/LearnedRules.h"
#include "map/PointCodec.h"

namespace tcpmodbus {
namespace map {
namespace {

constexpr int kIllegalAddress = 2;
constexpr int kIllegalValue = 3;

bool Refusal(const RequestOutcome& outcome) {
  return outcome.errorCode == TCPMODBUS_ERROR_MODBUS_EXCEPTION &&
         (outcome.exceptionCode == kIllegalAddress ||
          outcome.exceptionCode == kIllegalValue);
}

bool Answered(const RequestOutcome& outcome) {
  return outcome.sent && outcome.errorCode == TCPMODBUS_ERROR_NONE;
}

ReadingStatus StatusOf(int errorCode) {
  if (errorCode == TCPMODBUS_ERROR_MODBUS_EXCEPTION) {
    return ReadingStatus::kException;
  }
  if (errorCode == TCPMODBUS_ERROR_TIMEOUT) return ReadingStatus::kTimeout;
  return ReadingStatus::kFailed;
}

std::uint32_t EndOf(const PlannedRequest& request) {
  return static_cast<std::uint32_t>(request.start) + request.count - 1;
}

// `range` less every answered range of `table`.
std::vector<Range> Unanswered(
    const Range& range, PointTable table,
    const std::vector<std::pair<PointTable, Range>>& answered) {
  std::vector<Range> left = {range};
  for (const auto& [answeredTable, done] : answered) {
    if (answeredTable != table) continue;
    std::vector<Range> next;
    for (const Range& piece : left) {
      if (done.end < piece.start || piece.end < done.start) {
        next.push_back(piece);
        continue;
      }
      if (piece.start < done.start)
        next.push_back({piece.start, done.start - 1});
      if (done.end < piece.end) next.push_back({done.end + 1, piece.end});
    }
    left = std::move(next);
  }
  return left;
}

}  // namespace

MapReader::MapReader(TCPModbusIntf& module, const DeviceMap& map,
                     Learned* learned, Snapshot* snapshot, bool inFlight)
    : module_(module),
      map_(map),
      inFlight_(inFlight),
      learned_(learned),
      snapshot_(snapshot) {
  for (const Point& point : map.points()) layouts_.push_back(LayoutOf(point));
}

void MapReader::Read(const Plan& plan, const PlanLimits& limits) {
  *snapshot_ = Snapshot();
  snapshot_->readings.assign(layouts_.size(), Reading());
  for (const std::size_t skipped : plan.skipped()) {
    const PointLayout& layout = layouts_[skipped];
    Reading& reading = snapshot_->readings[skipped];
    reading.status = ReadingStatus::kHole;
    const Hole* hole =
        TouchingHole(*learned_, layout.table, layout.start, layout.end());
    reading.exceptionCode = hole != nullptr ? hole->exceptionCode : 0;
  }
  Run(plan.requests());
  // A request refused for two causes shows one of them: a half answered
  // lowers the limit, and the plan under the new limit joins points across
  // an address the device lacks; a hole found in one half leaves the gap
  // beside it untried. So the plan of what was learned is asked until it
  // holds no request this read has not tried, and the next read sends none
  // that is refused. Each round learns something or ends, and what can be
  // learned of a map is finite.
  while (!lost_) {
    Plan next;
    if (!MakePlan(map_, limits, *learned_, &next, nullptr)) break;
    std::vector<PlannedRequest> untried;
    for (const PlannedRequest& request : next.requests()) {
      if (!WasTried(request)) untried.push_back(request);
    }
    if (untried.empty()) break;
    Run(untried);
  }
}

void MapReader::Run(const std::vector<PlannedRequest>& requests) {
  std::vector<std::pair<PlannedRequest, int>> refused;
  Send(requests, &refused);
  for (const auto& [request, code] : refused) {
    // Their points keep the refusal of the request that served them.
    if (lost_) break;
    Split(request, code);
  }
  LearnCulprits();
}

bool MapReader::WasTried(const PlannedRequest& request) const {
  return std::any_of(
      tried_.begin(), tried_.end(), [&](const PlannedRequest& tried) {
        return tried.table == request.table && tried.start == request.start &&
               tried.count == request.count;
      });
}

void MapReader::Send(const std::vector<PlannedRequest>& requests,
                     std::vector<std::pair<PlannedRequest, int>>* refused,
                     std::vector<RequestOutcome>* outcomes) {
  tried_.insert(tried_.end(), requests.begin(), requests.end());
  std::vector<RequestOutcome> results =
      RunRequests(module_, requests, inFlight_);
  for (std::size_t i = 0; i < requests.size(); ++i) {
    Settle(requests[i], results[i]);
    if (Refusal(results[i])) {
      refused->emplace_back(requests[i], results[i].exceptionCode);
    }
  }
  if (outcomes != nullptr) *outcomes = std::move(results);
}

void MapReader::Settle(const PlannedRequest& request,
                       const RequestOutcome& outcome) {
  if (!outcome.sent) {
    for (const std::size_t point : request.points) {
      snapshot_->readings[point] = Reading();
    }
    return;
  }
  snapshot_->requests.push_back({request.table, request.start, request.count,
                                 outcome.errorCode, outcome.exceptionCode});
  const std::size_t number = snapshot_->requests.size();
  if (LosesConnection(outcome.errorCode)) lost_ = true;
  if (Answered(outcome)) {
    answered_.push_back({request.table, {request.start, EndOf(request)}});
  }
  for (const std::size_t point : request.points) {
    const PointLayout& layout = layouts_[point];
    Reading reading;
    reading.time = outcome.time;
    reading.request = number;
    if (Answered(outcome)) {
      const std::size_t offset = layout.start - request.start;
      reading.status = ReadingStatus::kOk;
      reading.value = layout.bit
                          ? PointValue(outcome.bits[offset] != 0)
                          : DecodeRegisters(layout, &outcome.registers[offset]);
    } else {
      reading.status = StatusOf(outcome.errorCode);
      reading.errorCode = outcome.errorCode;
      reading.exceptionCode = outcome.exceptionCode;
    }
    snapshot_->readings[point] = std::move(reading);
  }
}

PlannedRequest MapReader::RequestFor(
    PointTable table, std::vector<std::size_t>::const_iterator first,
    std::vector<std::size_t>::const_iterator last) const {
  PlannedRequest request{table, 0, 0, {first, last}};
  std::uint32_t start = layouts_[*first].start;
  std::uint32_t end = layouts_[*first].end();
  for (auto it = first; it != last; ++it) {
    start = std::min(start, layouts_[*it].start);
    end = std::max(end, layouts_[*it].end());
  }
  request.start = static_cast<std::uint16_t>(start);
  request.count = static_cast<std::uint16_t>(end - start + 1);
  return request;
}

void MapReader::Split(const PlannedRequest& request, int exceptionCode) {
  if (lost_) return;
  const std::vector<std::size_t>& points = request.points;
  const PointLayout& lead = layouts_[points.front()];
  const bool oneSpan =
      std::all_of(points.begin(), points.end(), [&](std::size_t point) {
        return layouts_[point].start == lead.start &&
               layouts_[point].end() == lead.end();
      });
  if (oneSpan) {
    culprits_.push_back(
        {request.table, {lead.start, lead.end()}, exceptionCode});
    return;
  }
  // Points that share a span stay together, so both halves hold points.
  auto middle = points.begin() + static_cast<std::ptrdiff_t>(points.size() / 2);
  while (middle != points.begin() &&
         layouts_[*middle].start == layouts_[*(middle - 1)].start &&
         layouts_[*middle].end() == layouts_[*(middle - 1)].end()) {
    --middle;
  }
  if (middle == points.begin()) {
    middle = points.begin() + 1;
    while (layouts_[*middle].start == lead.start &&
           layouts_[*middle].end() == lead.end()) {
      ++middle;
    }
  }
  const std::vector<PlannedRequest> halves = {
      RequestFor(request.table, points.begin(), middle),
      RequestFor(request.table, middle, points.end())};
  std::vector<std::pair<PlannedRequest, int>> refused;
  std::vector<RequestOutcome> outcomes;
  Send(halves, &refused, &outcomes);
  for (const auto& [half, code] : refused) Split(half, code);
  if (lost_) return;

  // Both halves answered: the refusal came from what joined them, the
  // addresses between them or the size of the whole.
  const PlannedRequest& low = halves[0];
  const PlannedRequest& high = halves[1];
  const bool lowAnswered = Answered(outcomes[0]);
  const bool highAnswered = Answered(outcomes[1]);
  if (lowAnswered && highAnswered && exceptionCode == kIllegalAddress &&
      high.start > EndOf(low) + 1) {
    culprits_.push_back(
        {request.table, {EndOf(low) + 1, high.start - 1u}, exceptionCode});
  } else if ((lowAnswered && highAnswered) || (exceptionCode == kIllegalValue &&
                                               (lowAnswered || highAnswered))) {
    unsigned largest = 0;
    if (lowAnswered) largest = low.count;
    if (highAnswered) largest = std::max<unsigned>(largest, high.count);
    LowerLimit(learned_, request.table, largest);
  }
}

void MapReader::LearnCulprits() {
  std::vector<Culprit> culprits;
  culprits.swap(culprits_);
  for (const Culprit& culprit : culprits) {
    std::vector<Range> left =
        Unanswered(culprit.range, culprit.table, answered_);
    // Answered elsewhere, every address: the span as a whole is refused.
    if (left.empty()) left.push_back(culprit.range);
    for (const Range& range : left) {
      AddHole(learned_, culprit.table, range, culprit.exceptionCode);
    }
  }
}

}  // namespace map
}  // namespace tcpmodbus
