#include "map/WritePlan.h"

#include <algorithm>

#include "map/Format.h"
#include "map/Tables.h"

namespace tcpmodbus {
namespace map {
namespace {

std::uint32_t Width(const WriteItem& item) {
  return HoldsBits(item.table)
             ? 1
             : static_cast<std::uint32_t>(item.registers.size());
}

std::uint32_t MaxWrite(PointTable table) {
  return HoldsBits(table) ? TCPMODBUS_MAX_WRITE_BITS
                          : TCPMODBUS_MAX_WRITE_REGISTERS;
}

}  // namespace

bool PlanWrites(std::vector<WriteItem> items,
                const std::vector<std::string>& names,
                std::vector<WriteRequest>* requests, std::string* error) {
  std::stable_sort(
      items.begin(), items.end(), [](const WriteItem& a, const WriteItem& b) {
        if (a.table != b.table) {
          return std::find(std::begin(kTables), std::end(kTables), a.table) <
                 std::find(std::begin(kTables), std::end(kTables), b.table);
        }
        return a.start < b.start;
      });
  requests->clear();
  const WriteItem* previous = nullptr;
  for (const WriteItem& item : items) {
    const bool sameTable = previous != nullptr && previous->table == item.table;
    const std::uint32_t previousEnd =
        sameTable ? previous->start + Width(*previous) - 1 : 0;
    if (sameTable && item.start <= previousEnd) {
      if (error != nullptr) {
        *error =
            Format("points '%s' and '%s' are both written at address %u",
                   names[previous->point].c_str(), names[item.point].c_str(),
                   static_cast<unsigned>(item.start));
      }
      return false;
    }
    WriteRequest* last = requests->empty() ? nullptr : &requests->back();
    const bool joins =
        sameTable && item.start == previousEnd + 1 && last != nullptr &&
        last->registers.size() + last->bits.size() + Width(item) <=
            MaxWrite(item.table);
    if (!joins) {
      requests->push_back(
          {item.table, static_cast<std::uint16_t>(item.start), {}, {}});
      last = &requests->back();
    }
    if (HoldsBits(item.table)) {
      last->bits.push_back(item.on ? 1 : 0);
    } else {
      last->registers.insert(last->registers.end(), item.registers.begin(),
                             item.registers.end());
    }
    previous = &item;
  }
  return true;
}

}  // namespace map
}  // namespace tcpmodbus
