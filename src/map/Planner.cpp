#include "map/Planner.h"

#include <algorithm>
#include <tuple>

namespace tcpmodbus {
namespace map {
namespace {

constexpr std::uint32_t kLastAddress = 65535;

// The declared addresses as disjoint blocks, in order: each a run of
// addresses that some point takes.
std::vector<Range> DeclaredBlocks(const std::vector<Span>& sorted) {
  std::vector<Range> blocks;
  for (const Span& span : sorted) {
    if (blocks.empty() || span.start > blocks.back().end + 1) {
      blocks.push_back({span.start, span.end});
    } else {
      blocks.back().end = std::max(blocks.back().end, span.end);
    }
  }
  return blocks;
}

}  // namespace

std::vector<PlannedRequest> PlanTable(PointTable table, std::vector<Span> spans,
                                      const TableRule& rule,
                                      std::vector<Range> barriers) {
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
    return std::tie(a.start, a.end, a.point) <
           std::tie(b.start, b.end, b.point);
  });
  std::sort(barriers.begin(), barriers.end(),
            [](const Range& a, const Range& b) { return a.start < b.start; });
  const std::vector<Range> blocks = DeclaredBlocks(spans);
  std::vector<bool> served(spans.size(), false);
  std::vector<PlannedRequest> requests;
  std::size_t first = 0;    // the first span not served
  std::size_t block = 0;    // the block that holds it
  std::size_t barrier = 0;  // the first barrier that may lie ahead
  while (true) {
    while (first < spans.size() && served[first]) ++first;
    if (first == spans.size()) break;
    const Span& lead = spans[first];
    // How far a request that starts with `lead` may reach.
    std::uint32_t limit =
        std::min(lead.start + rule.maxCount - 1, kLastAddress);
    while (barrier < barriers.size() && barriers[barrier].end < lead.start) {
      ++barrier;
    }
    if (barrier < barriers.size()) {
      limit = std::min(limit, barriers[barrier].start - 1);
    }
    while (blocks[block].end < lead.start) ++block;
    std::size_t last = block;
    while (last + 1 < blocks.size() && blocks[last + 1].start <= limit &&
           blocks[last + 1].start - blocks[last].end - 1 <= rule.maxGap) {
      ++last;
    }
    limit = std::min(limit, blocks[last].end);

    PlannedRequest request{
        table, static_cast<std::uint16_t>(lead.start), 0, {}};
    std::uint32_t end = lead.end;
    for (std::size_t i = first; i < spans.size() && spans[i].start <= limit;
         ++i) {
      if (served[i] || spans[i].end > limit) continue;
      served[i] = true;
      request.points.push_back(spans[i].point);
      end = std::max(end, spans[i].end);
    }
    request.count = static_cast<std::uint16_t>(end - lead.start + 1);
    requests.push_back(std::move(request));
  }
  return requests;
}

}  // namespace map
}  // namespace tcpmodbus
