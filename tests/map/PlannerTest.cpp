// The planner: one row per bug of hand-written read plans, hostile inputs,
// and the fewest requests checked against a brute force over random small
// maps.
#include <gtest/gtest.h>

#include <cstdint>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "MapText.h"
#include "tcpmodbus/DeviceMap.h"

namespace {

using tcpmodbus::DeviceMap;
using tcpmodbus::Learned;
using tcpmodbus::Plan;
using tcpmodbus::PlanLimits;
using tcpmodbus::PointTable;
using testsupport::MapOf;

// `count` points of `type` one after another from `first` on, in the short
// notation of MapText.h.
std::string Consecutive(char table, int first, int count, const char* type,
                        int width) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += " r" + std::to_string(i) + "@" + table +
            std::to_string(first + i * width) + ":" + type;
  }
  return text;
}

PlanLimits Limits(unsigned gap, unsigned registers = 125,
                  unsigned bits = 2000) {
  PlanLimits limits;
  limits.maxGap = gap;
  limits.maxRegisters = registers;
  limits.maxBits = bits;
  return limits;
}

// "holding 0+39:39 | coil 5+1:1": table, start, count and how many points.
std::string Render(const Plan& plan) {
  std::string text;
  for (const tcpmodbus::PlannedRequest& request : plan.requests()) {
    text += std::string(text.empty() ? "" : " | ") +
            tcpmodbus::TableName(request.table) + " " +
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
      EXPECT_EQ(map.points()[index].table, request.table);
      EXPECT_GE(map.points()[index].address, request.start);
    }
  }
  for (std::size_t i = 0; i < served.size(); ++i) {
    EXPECT_EQ(served[i], 1) << map.points()[i].name;
  }
}

TEST(PlannerTest, EachBugOfHandWrittenPlansHasARow) {
  struct Row {
    const char* what;
    std::string points;
    unsigned maxGap, maxRegisters;
    const char* learned;  // "hole": holding 1 refused; "limit": 4 a request
    const char* requests;
    std::size_t skipped;
  };
  const std::vector<Row> rows = {
      {"a merged block never spans an undeclared register", "a@h0 b@h2", 0, 125,
       "", "holding 0+1:1 | holding 2+1:1", 0},
      {"max_gap: a stretch of exactly that many undeclared is spanned",
       "a@h0 b@h3", 2, 125, "", "holding 0+4:2", 0},
      {"max_gap: one more is not", "a@h0 b@h3", 1, 125, "",
       "holding 0+1:1 | holding 3+1:1", 0},
      {"a device that takes at most 40 registers a request",
       Consecutive('h', 0, 60, "u16", 1), 0, 40, "",
       "holding 0+40:40 | holding 40+20:20", 0},
      {"a block one register short of an i32 at its end",
       Consecutive('h', 0, 39, "u16", 1) + " total@h39:i32", 0, 40, "",
       "holding 0+39:39 | holding 39+2:1", 0},
      {"points in any order", "c@h4 a@h0:u32 b@h2 d@h3", 0, 125, "",
       "holding 0+5:4", 0},
      {"overlapping points are served once",
       "whole@h10:f64 low@h12:u32 word@h11 same@h12:i32", 0, 125, "",
       "holding 10+4:4", 0},
      {"a learned hole is skipped and never spanned", "a@h0 h@h1 b@h2", 2, 125,
       "hole", "holding 0+1:1 | holding 2+1:1", 1},
      {"a point that touches a hole is skipped with it", "wide@h0:u32 b@h2", 0,
       125, "hole", "holding 2+1:1", 1},
      {"each table is planned apart, coils first",
       "h@h0 i@i1 d@d0:bit c@c0:bit c2@c1:bit", 0, 125, "",
       "coil 0+2:2 | discrete 0+1:1 | holding 0+1:1 | input 1+1:1", 0},
      {"bits up to 2000 a request", Consecutive('c', 0, 2001, "bit", 1), 0, 125,
       "", "coil 0+2000:2000 | coil 2000+1:1", 0},
      {"a learned limit lowers the table's", Consecutive('h', 0, 10, "u16", 1),
       0, 125, "limit", "holding 0+4:4 | holding 4+4:4 | holding 8+2:2", 0},
      {"terminates: values at the last addresses",
       "last@h65535 wide@h65532:f64", 0, 125, "", "holding 65532+4:2", 0},
      {"terminates: one register a request", Consecutive('h', 0, 3, "u16", 1),
       0, 1, "", "holding 0+1:1 | holding 1+1:1 | holding 2+1:1", 0},
      {"terminates: an empty map", "", 0, 125, "", "", 0},
      {"terminates: every point a hole", "h@h1 again@h1:i16", 0, 125, "hole",
       "", 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Learned learned;
    if (row.learned == std::string("hole")) {
      learned.holes.push_back({PointTable::kHolding, 1, 1, 2});
    } else if (row.learned == std::string("limit")) {
      learned.limits.push_back({PointTable::kHolding, 4});
    }
    const DeviceMap map = MapOf(row.points);
    Plan plan;
    std::string error;
    ASSERT_TRUE(tcpmodbus::MakePlan(map, Limits(row.maxGap, row.maxRegisters),
                                    learned, &plan, &error))
        << error;
    EXPECT_EQ(Render(plan), row.requests);
    EXPECT_EQ(plan.skipped().size(), row.skipped);
    ExpectServedOnce(map, plan);
  }
}

TEST(PlannerTest, LimitsAndWidthsItCannotMeetAreRefused) {
  const std::vector<std::pair<PlanLimits, const char*>> rows = {
      {Limits(0, 0), "max_registers must be 1 to 125, not 0"},
      {Limits(0, 126), "max_registers must be 1 to 125, not 126"},
      {Limits(0, 125, 0), "max_bits must be 1 to 2000, not 0"},
      {Limits(0, 125, 2001), "max_bits must be 1 to 2000, not 2001"},
      {Limits(0, 40),
       "point 'text': string:41 takes 41 registers, more than the 40 one request may read (max_registers)"},
      {Limits(0, 1),
       "point 'wide': u32 takes 2 registers, more than the 1 one request may read (max_registers)"},
  };
  for (const auto& [limits, message] : rows) {
    SCOPED_TRACE(message);
    Plan plan;
    std::string error;
    const char* points = limits.maxRegisters == 40  ? "text@i0:string:41"
                         : limits.maxRegisters == 1 ? "wide@h0:u32"
                                                    : "";
    EXPECT_FALSE(tcpmodbus::MakePlan(MapOf(points), limits, {}, &plan, &error));
    EXPECT_EQ(error, message);
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
    int stretch = 0;
    for (int a = start; a <= end; ++a) {
      bool declared = false;
      for (const auto& [first, last] : spans) {
        declared = declared || (first <= a && a <= last);
      }
      stretch = declared ? 0 : stretch + 1;
      if (barrier[a] || stretch > maxGap) return false;
    }
    return end - start + 1 <= maxCount;
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
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int round = 0; round < 3000; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Line line;
    line.maxCount = pick(4, 12);
    line.maxGap = pick(0, 3);
    const PlanLimits limits = Limits(static_cast<unsigned>(line.maxGap),
                                     static_cast<unsigned>(line.maxCount));
    Learned learned;
    for (int h = pick(0, 2); h > 0; --h) {
      const int start = pick(0, 24);
      const int length = pick(1, 2);
      learned.holes.push_back({PointTable::kHolding,
                               static_cast<std::uint16_t>(start),
                               static_cast<std::uint16_t>(length), 2});
      for (int a = start; a < start + length; ++a) line.barrier[a] = true;
    }
    std::string points;
    const int count = pick(1, 7);
    for (int i = 0; i < count; ++i) {
      const int kind = pick(0, 2);
      const int start = pick(0, 24);
      points += " p" + std::to_string(i) + "@h" + std::to_string(start) + ":" +
                kTypes[kind];
      bool touches = false;
      for (int a = start; a < start + kWidths[kind]; ++a) {
        touches = touches || line.barrier[a];
      }
      if (!touches) line.spans.emplace_back(start, start + kWidths[kind] - 1);
    }
    const DeviceMap map = MapOf(points);
    Plan plan;
    std::string error;
    ASSERT_TRUE(tcpmodbus::MakePlan(map, limits, learned, &plan, &error))
        << error;
    ExpectServedOnce(map, plan);
    EXPECT_EQ(plan.skipped().size(),
              static_cast<std::size_t>(count) - line.spans.size());
    EXPECT_EQ(plan.requests().size(), line.FewestRequests()) << Render(plan);
    for (const tcpmodbus::PlannedRequest& request : plan.requests()) {
      EXPECT_TRUE(line.Valid(request.start, request.start + request.count - 1))
          << Render(plan);
    }
  }
}

}  // namespace
