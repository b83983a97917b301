#include "map/LearnedRules.h"

namespace tcpmodbus {
namespace map {
namespace {

std::uint32_t EndOf(const Hole& hole) {
  return static_cast<std::uint32_t>(hole.start) + hole.count - 1;
}

}  // namespace

const Hole* TouchingHole(const Learned& learned, PointTable table,
                         std::uint32_t start, std::uint32_t end) {
  for (const Hole& hole : learned.holes) {
    if (hole.table == table && hole.start <= end && start <= EndOf(hole)) {
      return &hole;
    }
  }
  return nullptr;
}

std::vector<Range> Barriers(const Learned& learned, PointTable table) {
  std::vector<Range> barriers;
  for (const Hole& hole : learned.holes) {
    if (hole.table == table) barriers.push_back({hole.start, EndOf(hole)});
  }
  return barriers;
}

unsigned LimitOf(const Learned& learned, PointTable table) {
  for (const LearnedLimit& limit : learned.limits) {
    if (limit.table == table) return limit.count;
  }
  return 0;
}

void AddHole(Learned* learned, PointTable table, const Range& range,
             int exceptionCode) {
  const Hole hole{table, static_cast<std::uint16_t>(range.start),
                  static_cast<std::uint16_t>(range.end - range.start + 1),
                  exceptionCode};
  for (const Hole& known : learned->holes) {
    if (known.table == hole.table && known.start == hole.start &&
        known.count == hole.count) {
      return;
    }
  }
  learned->holes.push_back(hole);
}

void LowerLimit(Learned* learned, PointTable table, unsigned count) {
  for (LearnedLimit& limit : learned->limits) {
    if (limit.table == table) {
      if (count < limit.count) limit.count = count;
      return;
    }
  }
  learned->limits.push_back({table, count});
}

}  // namespace map
}  // namespace tcpmodbus
