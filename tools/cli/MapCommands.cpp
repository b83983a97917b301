#include "MapCommands.h"

#include <algorithm>
#include <cstdarg>

#include "FailureText.h"

namespace cli {
namespace {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
UsageError
Refused(const char* format, ...) {
  char text[512];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  return UsageError(text);
}

using tcpmodbus::Reading;
using tcpmodbus::ReadingStatus;

// "exception 2", "failed: WRONG_ANSWER", "hole (exception 2)": a reading's
// status as the table shows it.
std::string StatusText(const Reading& reading) {
  char text[64];
  switch (reading.status) {
    case ReadingStatus::kException:
      std::snprintf(text, sizeof(text), "exception %d", reading.exceptionCode);
      return text;
    case ReadingStatus::kFailed:
      std::snprintf(text, sizeof(text), "failed: %s",
                    TCPModbusIntf::ErrorName(reading.errorCode));
      return text;
    case ReadingStatus::kHole:
      std::snprintf(text, sizeof(text), "hole (exception %d)",
                    reading.exceptionCode);
      return text;
    default:
      return tcpmodbus::ReadingStatusName(reading.status);
  }
}

// Rows of cells, each column as wide as its widest cell, two blanks apart;
// the last column unpadded.
void PrintTable(std::FILE* stream,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  for (const auto& row : rows) {
    for (std::size_t i = 0; i + 1 < row.size(); ++i) {
      std::fprintf(stream, "%-*s  ", static_cast<int>(widths[i]),
                   row[i].c_str());
    }
    std::fprintf(stream, "%s\n", row.back().c_str());
  }
}

// NAME=VALUE operands, each value read for its point.
void ReadValues(const Arguments& args, MapJob* job) {
  for (std::size_t i = 1; i < args.operands.size(); ++i) {
    const std::string& operand = args.operands[i];
    const std::size_t equals = operand.find('=');
    if (equals == std::string::npos) {
      throw Refused("write-map takes NAME=VALUE, not '%s'", operand.c_str());
    }
    const std::string name = operand.substr(0, equals);
    const std::optional<std::size_t> index = job->map.Find(name);
    if (!index) {
      throw Refused("no point named '%s' in %s", name.c_str(),
                    args.operands[0].c_str());
    }
    tcpmodbus::PointValue value;
    std::string error;
    if (!tcpmodbus::ParseValue(job->map.points()[*index],
                               operand.substr(equals + 1), &value, &error)) {
      throw UsageError(error);
    }
    job->values.emplace_back(name, std::move(value));
  }
  // Every other refusal (a value out of range, two for one register), from
  // an object that sends nothing: the interface's own bodies.
  TCPModbusIntf dryRun;
  std::string refusal;
  if (tcpmodbus::WritePoints(dryRun, job->map, job->values, &refusal) != 1) {
    throw UsageError(refusal);
  }
}

}  // namespace

bool IsMapCommand(const std::string& command) {
  return command == "read-map" || command == "write-map";
}

MapJob CheckMapOperands(const Arguments& args) {
  MapJob job;
  job.write = args.command == "write-map";
  if (job.write && args.operands.size() < 2) {
    throw UsageError("write-map takes FILE NAME=VALUE...");
  }
  if (!job.write && args.operands.size() != 1) {
    throw UsageError("read-map takes FILE");
  }
  if (!args.valueType.empty() || args.oneBased) {
    throw Refused("%s takes each point's type and address from its map",
                  args.command.c_str());
  }
  std::string error;
  if (!tcpmodbus::LoadMap(args.operands[0], &job.map, &error)) {
    throw UsageError(error);
  }
  job.limits.maxGap = static_cast<unsigned>(args.maxGap);
  job.limits.maxRegisters = static_cast<unsigned>(args.maxRegisters);
  job.limits.maxBits = static_cast<unsigned>(args.maxBits);
  tcpmodbus::Plan plan;
  if (!tcpmodbus::MakePlan(job.map, job.limits, {}, &plan, &error)) {
    throw UsageError(error);
  }
  if (job.write) ReadValues(args, &job);
  return job;
}

void PrintPlan(std::FILE* stream, const MapJob& job) {
  tcpmodbus::Plan plan;
  tcpmodbus::MakePlan(job.map, job.limits, {}, &plan, nullptr);
  unsigned number = 0;
  for (const tcpmodbus::PlannedRequest& request : plan.requests()) {
    std::fprintf(stream, "%u %s %u count %u:", ++number,
                 tcpmodbus::TableName(request.table),
                 static_cast<unsigned>(request.start),
                 static_cast<unsigned>(request.count));
    for (const std::size_t point : request.points) {
      std::fprintf(stream, " %s", job.map.points()[point].name.c_str());
    }
    std::fprintf(stream, "\n");
  }
}

bool RunMapJob(TCPModbusIntf& module, const Arguments& args, const MapJob& job,
               std::FILE* stream) {
  const std::vector<tcpmodbus::Point>& points = job.map.points();
  if (job.write) {
    if (tcpmodbus::WritePoints(module, job.map, job.values, nullptr) != 1) {
      std::fprintf(stderr, "tcpmodbus-cli: write-map failed: %s\n",
                   OperationFailure(module).c_str());
      return false;
    }
    for (const auto& [name, value] : job.values) {
      std::fprintf(stream, "%s %s\n", name.c_str(),
                   tcpmodbus::ValueText(value).c_str());
    }
    return true;
  }
  tcpmodbus::Snapshot snapshot;
  std::string error;
  if (!tcpmodbus::ReadMap(module, job.map, job.limits, &snapshot, &error)) {
    std::fprintf(stderr, "tcpmodbus-cli: read-map failed: %s\n", error.c_str());
    return false;
  }
  std::vector<std::vector<std::string>> rows = {
      {"name", "value", "unit", "status"}};
  bool answered = true;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Reading& reading = snapshot.readings[i];
    rows.push_back({points[i].name, tcpmodbus::ValueText(reading.value),
                    points[i].unit, StatusText(reading)});
    answered = answered && (reading.status == ReadingStatus::kOk ||
                            reading.status == ReadingStatus::kException ||
                            reading.status == ReadingStatus::kHole);
  }
  PrintTable(stream, rows);
  if (!answered) {
    std::fprintf(stderr, "tcpmodbus-cli: %s failed: %s\n", args.command.c_str(),
                 OperationFailure(module).c_str());
  }
  return answered;
}

}  // namespace cli
