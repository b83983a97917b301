// The planner: one row per bug of hand-written read plans, hostile inputs,
// and the fewest requests checked against a brute force over random small
// maps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "tcpmodbus/DeviceMap.h"

namespace {

using tcpmodbus::DeviceMap;
using tcpmodbus::Learned;
using tcpmodbus::Plan;
using tcpmodbus::PlanLimits;
using tcpmodbus::Point;
using tcpmodbus::PointTable;

Point P(const std::string& name, PointTable table, std::uint16_t address,
        const std::string& type) {
  Point point;
  point.name = name;
  point.table = table;
  point.address = address;
  point.type = type;
  return point;
}

// `count` points of `type` named prefix0, prefix1, ... one after another.
std::vector<Point> Consecutive(const std::string& prefix, std::uint16_t first,
                       int count, const std::string& type, int width) {
  std::vector<Point> points;
  for (int i = 0; i < count; ++i) {
    points.push_back(P(prefix + std::to_string(i), PointTable::kHolding,
                       static_cast<std::uint16_t>(first + i * width), type));
  }
  return points;
}

DeviceMap MapOf(const std::vector<Point>& points) {
  DeviceMap map;
  for (const Point& point : points) {
    std::string error;
    EXPECT_TRUE(map.Add(point, &error)) << error;
  }
  return map;
}

// "holding 0+39:39 | coil 5+1:1": table, start, count and how many points.
std::string Render(const Plan& plan) {
  std::string text;
  for (const tcpmodbus::PlannedRequest& request : plan.requests()) {
    if (!text.empty()) text += " | ";
    text += std::string(tcpmodbus::TableName(request.table)) + " " +
            std::to_string(request.start) + "+" +
            std::to_string(request.count) + ":" +
            std::to_string(request.points.size());
  }
  return text;
}

// Every point not skipped is served by exactly one request, whole.
void ExpectServedOnce(const DeviceMap& map, const Plan& plan) {
  std::vector<int> served(map.points().size(), 0);
  for (const std::size_t skipped : plan.skipped()) ++served[skipped];
  for (const tcpmodbus::PlannedRequest& request : plan.requests()) {
    for (const std::size_t index : request.points) {
      ++served[index];
      const Point& point = map.points()[index];
      EXPECT_EQ(point.table, request.table) << point.name;
      EXPECT_GE(point.address, request.start) << point.name;
    }
  }
  for (std::size_t i = 0; i < served.size(); ++i) {
    EXPECT_EQ(served[i], 1) << map.points()[i].name;
  }
}

TEST(PlannerTest, EachBugOfHandWrittenPlansHasARow) {
  struct Row {
    const char* what;
    std::vector<Point> points;
    PlanLimits limits;
    Learned learned;
    std::string requests;
    std::size_t skipped;
  };
  PlanLimits gap2;
  gap2.maxGap = 2;
  PlanLimits gap1;
  gap1.maxGap = 1;
  PlanLimits forty;
  forty.maxRegisters = 40;
  PlanLimits one;
  one.maxRegisters = 1;
  Learned hole;
  hole.holes.push_back({PointTable::kHolding, 1, 1, 2});
  Learned limited;
  limited.limits.push_back({PointTable::kHolding, 4});
  std::vector<Point> shortOfI32 = Consecutive("r", 0, 39, "u16", 1);
  shortOfI32.push_back(P("total", PointTable::kHolding, 39, "i32"));
  std::vector<Point> bits;
  for (int i = 0; i <= 2000; ++i) {
    bits.push_back(P("c" + std::to_string(i), PointTable::kCoil,
                     static_cast<std::uint16_t>(i), "bit"));
  }
  const std::vector<Row> rows = {
      {"a merged block never spans an undeclared register",
       {P("a", PointTable::kHolding, 0, "u16"),
        P("b", PointTable::kHolding, 2, "u16")},
       {},
       {},
       "holding 0+1:1 | holding 2+1:1",
       0},
      {"max_gap: a stretch of exactly that many undeclared is spanned",
       {P("a", PointTable::kHolding, 0, "u16"),
        P("b", PointTable::kHolding, 3, "u16")},
       gap2,
       {},
       "holding 0+4:2",
       0},
      {"max_gap: one more is not",
       {P("a", PointTable::kHolding, 0, "u16"),
        P("b", PointTable::kHolding, 3, "u16")},
       gap1,
       {},
       "holding 0+1:1 | holding 3+1:1",
       0},
      {"a device that takes at most 40 registers a request",
       Consecutive("r", 0, 60, "u16", 1),
       forty,
       {},
       "holding 0+40:40 | holding 40+20:20",
       0},
      {"a block one register short of an i32 at its end",
       shortOfI32,
       forty,
       {},
       "holding 0+39:39 | holding 39+2:1",
       0},
      {"points in any order",
       {P("c", PointTable::kHolding, 4, "u16"),
        P("a", PointTable::kHolding, 0, "u32"),
        P("b", PointTable::kHolding, 2, "u16"),
        P("d", PointTable::kHolding, 3, "u16")},
       {},
       {},
       "holding 0+5:4",
       0},
      {"overlapping points are served once",
       {P("whole", PointTable::kHolding, 10, "f64"),
        P("low", PointTable::kHolding, 12, "u32"),
        P("word", PointTable::kHolding, 11, "u16"),
        P("same", PointTable::kHolding, 12, "i32")},
       {},
       {},
       "holding 10+4:4",
       0},
      {"a learned hole is skipped and never spanned",
       {P("a", PointTable::kHolding, 0, "u16"),
        P("h", PointTable::kHolding, 1, "u16"),
        P("b", PointTable::kHolding, 2, "u16")},
       gap2,
       hole,
       "holding 0+1:1 | holding 2+1:1",
       1},
      {"a point that touches a hole is skipped with it",
       {P("wide", PointTable::kHolding, 0, "u32"),
        P("b", PointTable::kHolding, 2, "u16")},
       {},
       hole,
       "holding 2+1:1",
       1},
      {"each table is planned apart, coils first",
       {P("h", PointTable::kHolding, 0, "u16"),
        P("i", PointTable::kInput, 1, "u16"),
        P("d", PointTable::kDiscrete, 0, "bit"),
        P("c", PointTable::kCoil, 0, "bit"),
        P("c2", PointTable::kCoil, 1, "bit")},
       {},
       {},
       "coil 0+2:2 | discrete 0+1:1 | holding 0+1:1 | input 1+1:1",
       0},
      {"bits up to 2000 a request",
       bits,
       {},
       {},
       "coil 0+2000:2000 | coil 2000+1:1",
       0},
      {"a learned limit lowers the table's",
       Consecutive("r", 0, 10, "u16", 1),
       {},
       limited,
       "holding 0+4:4 | holding 4+4:4 | holding 8+2:2",
       0},
      {"terminates: a value at the last addresses",
       {P("last", PointTable::kHolding, 65535, "u16"),
        P("wide", PointTable::kHolding, 65532, "f64")},
       {},
       {},
       "holding 65532+4:2",
       0},
      {"terminates: one register a request",
       Consecutive("r", 0, 3, "u16", 1),
       one,
       {},
       "holding 0+1:1 | holding 1+1:1 | holding 2+1:1",
       0},
      {"terminates: an empty map", {}, {}, {}, "", 0},
      {"terminates: every point a hole",
       {P("h", PointTable::kHolding, 1, "u16"),
        P("again", PointTable::kHolding, 1, "i16")},
       {},
       hole,
       "",
       2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const DeviceMap map = MapOf(row.points);
    Plan plan;
    std::string error;
    ASSERT_TRUE(
        tcpmodbus::MakePlan(map, row.limits, row.learned, &plan, &error))
        << error;
    EXPECT_EQ(Render(plan), row.requests);
    EXPECT_EQ(plan.skipped().size(), row.skipped);
    ExpectServedOnce(map, plan);
  }
}

TEST(PlannerTest, LimitsAndWidthsItCannotMeetAreRefused) {
  struct Row {
    PlanLimits limits;
    std::vector<Point> points;
    const char* error;
  };
  auto limits = [](unsigned registers, unsigned maxBits) {
    PlanLimits chosen;
    chosen.maxRegisters = registers;
    chosen.maxBits = maxBits;
    return chosen;
  };
  const std::vector<Row> rows = {
      {limits(0, 2000), {}, "max_registers must be 1 to 125, not 0"},
      {limits(126, 2000), {}, "max_registers must be 1 to 125, not 126"},
      {limits(125, 0), {}, "max_bits must be 1 to 2000, not 0"},
      {limits(125, 2001), {}, "max_bits must be 1 to 2000, not 2001"},
      {limits(40, 2000),
       {P("text", PointTable::kInput, 0, "string:41")},
       "point 'text': string:41 takes 41 registers, more than the 40 one request may read (max_registers)"},
      {limits(1, 2000),
       {P("wide", PointTable::kHolding, 0, "u32")},
       "point 'wide': u32 takes 2 registers, more than the 1 one request may read (max_registers)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.error);
    Plan plan;
    std::string error;
    EXPECT_FALSE(
        tcpmodbus::MakePlan(MapOf(row.points), row.limits, {}, &plan, &error));
    EXPECT_EQ(error, row.error);
  }
}

// The address line of a random map: which addresses points declare, which
// are holes, and whether a request may read a stretch, address by address.
struct Line {
  std::vector<std::pair<int, int>> spans;  // the points not skipped
  std::vector<bool> barrier = std::vector<bool>(32, false);
  int maxCount;
  int maxGap;

  bool Valid(int start, int end) const {
    if (end - start + 1 > maxCount) return false;
    int stretch = 0;
    for (int a = start; a <= end; ++a) {
      bool declared = false;
      for (const auto& [first, last] : spans) {
        declared = declared || (first <= a && a <= last);
      }
      if (barrier[a]) return false;
      stretch = declared ? 0 : stretch + 1;
      if (stretch > maxGap) return false;
    }
    return true;
  }

  // The fewest requests, by breadth-first search over the sets of points
  // served, each request any valid stretch from a point's start to a
  // point's end.
  std::size_t FewestRequests() const {
    std::vector<unsigned> windows;
    for (const auto& [start, unused] : spans) {
      for (const auto& [unusedStart, end] : spans) {
        if (start > end || !Valid(start, end)) continue;
        unsigned covered = 0;
        for (std::size_t i = 0; i < spans.size(); ++i) {
          if (spans[i].first >= start && spans[i].second <= end) {
            covered |= 1u << i;
          }
        }
        windows.push_back(covered);
      }
    }
    const unsigned all = (1u << spans.size()) - 1;
    std::vector<int> distance(all + 1, -1);
    std::queue<unsigned> next;
    distance[0] = 0;
    next.push(0);
    while (!next.empty()) {
      const unsigned at = next.front();
      next.pop();
      for (const unsigned window : windows) {
        if (distance[at | window] < 0) {
          distance[at | window] = distance[at] + 1;
          next.push(at | window);
        }
      }
    }
    return static_cast<std::size_t>(distance[all]);
  }
};

TEST(PlannerTest, RandomSmallMapsTakeTheFewestRequestsABruteForceFinds) {
  const char* const kTypes[] = {"u16", "u32", "f64"};
  const int kWidths[] = {1, 2, 4};
  std::mt19937 random(20240611);
  for (int round = 0; round < 3000; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    auto pick = [&](int low, int high) {
      return std::uniform_int_distribution<int>(low, high)(random);
    };
    const int count = pick(1, 7);
    Line line;
    line.maxCount = pick(4, 12);
    line.maxGap = pick(0, 3);
    PlanLimits limits;
    limits.maxRegisters = static_cast<unsigned>(line.maxCount);
    limits.maxGap = static_cast<unsigned>(line.maxGap);
    Learned learned;
    for (int h = pick(0, 2); h > 0; --h) {
      const int start = pick(0, 24);
      const int length = pick(1, 2);
      learned.holes.push_back({PointTable::kHolding,
                               static_cast<std::uint16_t>(start),
                               static_cast<std::uint16_t>(length), 2});
      for (int a = start; a < start + length; ++a) line.barrier[a] = true;
    }
    std::vector<Point> points;
    for (int i = 0; i < count; ++i) {
      const int kind = pick(0, 2);
      const int start = pick(0, 24);
      const int end = start + kWidths[kind] - 1;
      points.push_back(P("p" + std::to_string(i), PointTable::kHolding,
                         static_cast<std::uint16_t>(start), kTypes[kind]));
      bool touches = false;
      for (int a = start; a <= end; ++a) touches = touches || line.barrier[a];
      if (!touches) line.spans.emplace_back(start, end);
    }
    const DeviceMap map = MapOf(points);
    Plan plan;
    std::string error;
    ASSERT_TRUE(tcpmodbus::MakePlan(map, limits, learned, &plan, &error))
        << error;
    ExpectServedOnce(map, plan);
    EXPECT_EQ(plan.skipped().size(), points.size() - line.spans.size());
    EXPECT_EQ(plan.requests().size(), line.FewestRequests()) << Render(plan);
    for (const tcpmodbus::PlannedRequest& request : plan.requests()) {
      EXPECT_TRUE(line.Valid(request.start, request.start + request.count - 1))
          << Render(plan);
    }
  }
}

}  // namespace
