// The one reader of map files: CSV with the header
// name,table,address,type,order,scale,unit, one point a line. Fields are
// split at every comma (there is no quoting) and trimmed of blanks; blank
// lines and lines whose first character is '#' are skipped; missing
// trailing fields are empty. A refusal names the line and the column (of
// the field's first character, both from 1).
#include <fstream>
#include <sstream>
#include <vector>

#include "map/Format.h"
#include "map/PointLayout.h"
#include "map/Tables.h"
#include "tcpmodbus/DeviceMap.h"

namespace tcpmodbus {
namespace {

using map::Format;
using map::PointField;

constexpr char kHeader[] = "name,table,address,type,order,scale,unit";
constexpr std::size_t kFields = 7;

struct Field {
  std::string text;
  std::size_t column;  // from 1
};

bool Blank(char c) { return c == ' ' || c == '\t'; }

// A line, a column or a number of fields for a message: %zu is not every
// C library's.
unsigned Count(std::size_t count) { return static_cast<unsigned>(count); }

std::vector<Field> SplitLine(const std::string& line) {
  std::vector<Field> fields;
  std::size_t begin = 0;
  while (true) {
    std::size_t end = line.find(',', begin);
    if (end == std::string::npos) end = line.size();
    std::size_t first = begin;
    std::size_t last = end;
    while (first < last && Blank(line[first])) ++first;
    while (last > first && Blank(line[last - 1])) --last;
    fields.push_back({line.substr(first, last - first), first + 1});
    if (end == line.size()) break;
    begin = end + 1;
  }
  return fields;
}

bool IsBlankLine(const std::string& line) {
  for (const char c : line) {
    if (!Blank(c)) return false;
  }
  return true;
}

class MapParser {
 public:
  MapParser(const std::string& source, DeviceMap* map, std::string* error)
      : source_(source), map_(map), error_(error) {}

  bool Line(std::size_t number, const std::string& line) {
    number_ = number;
    std::vector<Field> fields = SplitLine(line);
    if (!headerSeen_) {
      headerSeen_ = true;
      std::string joined;
      for (const Field& field : fields) {
        joined += (joined.empty() ? "" : ",") + field.text;
      }
      if (joined != kHeader) {
        return Fail(1, Format("the first line is not the header %s", kHeader));
      }
      return true;
    }
    if (fields.size() > kFields) {
      return Fail(fields[kFields].column,
                  Format("a line holds 7 fields (%s), not %u", kHeader,
                         Count(fields.size())));
    }
    // The column of a missing field is the line's end.
    while (fields.size() < kFields) fields.push_back({"", line.size() + 1});
    return Point(fields);
  }

  bool Finish() {
    if (!headerSeen_) {
      number_ = 1;
      return Fail(1, Format("the first line is not the header %s", kHeader));
    }
    return true;
  }

 private:
  bool Point(const std::vector<Field>& fields) {
    tcpmodbus::Point point;
    point.name = fields[0].text;
    if (!map::ParseTable(fields[1].text, &point.table)) {
      return Fail(
          fields[1].column,
          Format("table '%s' is not one of coil, discrete, holding, input",
                 fields[1].text.c_str()));
    }
    std::uint64_t address = 0;
    if (!map::ParseUnsigned(fields[2].text, 65535, &address)) {
      return Fail(fields[2].column,
                  Format("address '%s' is not a number from 0 to 65535",
                         fields[2].text.c_str()));
    }
    point.address = static_cast<std::uint16_t>(address);
    point.type = fields[3].text;
    if (point.type.empty()) {
      point.type = map::HoldsBits(point.table) ? "bit" : "u16";
    }
    point.order = fields[4].text;
    if (!fields[5].text.empty()) {
      double scale = 0;
      if (!map::ParseReal(fields[5].text, &scale)) {
        return Fail(fields[5].column, Format("scale '%s' is not a number",
                                             fields[5].text.c_str()));
      }
      point.scale = scale;
    }
    point.unit = fields[6].text;

    std::string reason;
    PointField field = PointField::kName;
    map::PointLayout layout;
    if (!map::ResolvePoint(point, &layout, &reason, &field)) {
      return Fail(fields[static_cast<std::size_t>(field)].column, reason);
    }
    if (!map_->Add(point, &reason)) return Fail(fields[0].column, reason);
    return true;
  }

  bool Fail(std::size_t column, const std::string& reason) {
    if (error_ != nullptr) {
      *error_ = Format("%s:%u:%u: %s", source_.c_str(), Count(number_),
                       Count(column), reason.c_str());
    }
    return false;
  }

  const std::string& source_;
  DeviceMap* map_;
  std::string* error_;
  std::size_t number_ = 0;
  bool headerSeen_ = false;
};

}  // namespace

bool ParseMap(const std::string& text, const std::string& source,
              DeviceMap* map, std::string* error) {
  DeviceMap grown = *map;
  MapParser parser(source, &grown, error);
  std::istringstream lines(text);
  std::string line;
  std::size_t number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      line.erase(0, 3);  // a byte order mark some editors write
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsBlankLine(line) || line[0] == '#') continue;
    if (!parser.Line(number, line)) return false;
  }
  if (!parser.Finish()) return false;
  *map = std::move(grown);
  return true;
}

bool LoadMap(const std::string& path, DeviceMap* map, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  // A directory opens on some systems and fails only at the first read;
  // the peek tells that from an empty file.
  if (file && file.peek() != std::ifstream::traits_type::eof()) {
    text << file.rdbuf();
  }
  if (!file.is_open() || file.bad()) {
    if (error != nullptr)
      *error = Format("%s: cannot read the file", path.c_str());
    return false;
  }
  return ParseMap(text.str(), path, map, error);
}

}  // namespace tcpmodbus
