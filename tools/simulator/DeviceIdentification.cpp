#include "DeviceIdentification.h"

#include <modbus.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace tcpmodbus::sim {

namespace {

constexpr int kFunction = 0x2B;
constexpr int kMeiType = 0x0E;
// Read device id codes: a category as a stream, or one object.
constexpr int kStreamBasic = 1, kStreamRegular = 2, kStreamExtended = 3;
constexpr int kSingleObject = 4;
constexpr int kSingleAccess = 0x80;  // conformity flag: single objects too
constexpr int kFirstExtended = 0x80;
constexpr int kFirstReserved = 7;  // 7 to 0x7F are reserved
constexpr int kFirstRegular = 3;
// Function code, MEI type, code, conformity, more follows, next object id,
// number of objects; then each object's id, length and value.
constexpr std::size_t kAnswerHeader = 7;
constexpr std::size_t kLongestValue = MODBUS_MAX_PDU_LENGTH - kAnswerHeader - 2;

constexpr const char* kObjectNames[kFirstReserved] = {
    "VendorName",  "ProductCode", "MajorMinorRevision", "VendorUrl",
    "ProductName", "ModelName",   "UserApplicationName"};

// The object ids a category holds: its own and those of the ones below.
int LastIdOf(int category) {
  return category == kStreamBasic      ? kFirstRegular - 1
         : category == kStreamExtended ? 0xFF
                                       : kFirstExtended - 1;
}

int ObjectId(const std::string& name) {
  for (int id = 0; id < kFirstReserved; ++id) {
    if (name == kObjectNames[id]) return id;
  }
  if (name.empty()) return -1;
  char* end = nullptr;
  errno = 0;
  const long id = std::strtol(name.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || id < 0 || id > 0xFF) return -1;
  if (id >= kFirstReserved && id < kFirstExtended) return -1;
  return static_cast<int>(id);
}

std::vector<std::uint8_t> Exception(int code) {
  return {kFunction | 0x80, static_cast<std::uint8_t>(code)};
}

}  // namespace

DeviceIdentification::DeviceIdentification(const std::string& vendorName,
                                           const std::string& productCode,
                                           const std::string& revision)
    : objects_{{0, vendorName}, {1, productCode}, {2, revision}} {}

bool DeviceIdentification::Set(const std::string& assignment) {
  const std::size_t equals = assignment.find('=');
  if (equals == assignment.npos) return false;
  const int id = ObjectId(assignment.substr(0, equals));
  const std::string value = assignment.substr(equals + 1);
  if (id < 0 || value.size() > kLongestValue) return false;
  objects_[id] = value;
  return true;
}

bool DeviceIdentification::SetConformity(int level) {
  const int category = level & ~kSingleAccess;
  if ((level & ~(kSingleAccess | 3)) != 0 || category < kStreamBasic ||
      category > kStreamExtended) {
    return false;
  }
  conformity_ = level;
  return true;
}

int DeviceIdentification::Conformity() const {
  if (conformity_ != 0) return conformity_;
  const int highest = objects_.rbegin()->first;
  return kSingleAccess | (highest >= kFirstExtended  ? kStreamExtended
                          : highest >= kFirstRegular ? kStreamRegular
                                                     : kStreamBasic);
}

std::vector<std::uint8_t> DeviceIdentification::Answer(
    const std::uint8_t* pdu, std::size_t length) const {
  // Function code, MEI type, read device id code, object id.
  if (length >= 2 && pdu[1] != kMeiType) {
    return Exception(MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
  }
  const int code = length == 4 ? pdu[2] : 0;
  const int conformity = Conformity();
  const bool singleAllowed = (conformity & kSingleAccess) != 0;
  if (code < kStreamBasic || code > kSingleObject ||
      (code == kSingleObject && !singleAllowed)) {
    return Exception(MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
  }
  return Objects(code, conformity, pdu[3]);
}

// A category above the module's level is answered at its level; a stream
// asked from an object the category does not hold starts at its first.
std::vector<std::uint8_t> DeviceIdentification::Objects(int code,
                                                        int conformity,
                                                        int firstId) const {
  const int level = conformity & ~kSingleAccess;
  const int lastId =
      LastIdOf(code == kSingleObject ? level : std::min(code, level));
  const auto first = objects_.find(firstId);
  if (code == kSingleObject && (first == objects_.end() || firstId > lastId)) {
    return Exception(MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
  }
  auto next =
      first == objects_.end() || firstId > lastId ? objects_.begin() : first;
  std::vector<std::uint8_t> answer = {kFunction,
                                      kMeiType,
                                      static_cast<std::uint8_t>(code),
                                      static_cast<std::uint8_t>(conformity),
                                      0,
                                      0,
                                      0};
  int count = 0;
  for (; next != objects_.end() && next->first <= lastId; ++next) {
    const std::string& value = next->second;
    if (count == perAnswer_ ||
        answer.size() + 2 + value.size() > MODBUS_MAX_PDU_LENGTH) {
      break;
    }
    answer.push_back(static_cast<std::uint8_t>(next->first));
    answer.push_back(static_cast<std::uint8_t>(value.size()));
    answer.insert(answer.end(), value.begin(), value.end());
    ++count;
    if (code == kSingleObject) break;
  }
  const bool more =
      code != kSingleObject && next != objects_.end() && next->first <= lastId;
  answer[4] = more ? 0xFF : 0x00;
  answer[5] = more ? static_cast<std::uint8_t>(next->first) : 0;
  answer[6] = static_cast<std::uint8_t>(count);
  return answer;
}

}  // namespace tcpmodbus::sim
