#include "modbus/DeviceIdentification.h"

namespace tcpmodbus {
namespace modbusframe {
namespace {

constexpr int kMeiAt = 1, kCodeAt = 2, kConformityAt = 3, kMoreFollowsAt = 4,
              kNextIdAt = 5, kCountAt = 6;
constexpr std::uint8_t kMoreFollows = 0xff;
constexpr std::uint8_t kSingleObject = TCPMODBUS_IDENT_ONE_OBJECT;
constexpr int kSingleAccess = 0x80;  // conformity: single objects too

// Each takes the exchange's name, the module number and two numbers.
constexpr char kTooShort[] =
    "%s: Answer from DIO Module %d is too short for an identification: %d bytes from its function code on (at least %d)";
constexpr char kBadConformity[] =
    "%s: Answer from DIO Module %d gives conformity level %d; a level is 1 to 3 or 129 to 131";
constexpr char kBadMoreFollows[] =
    "%s: Answer from DIO Module %d gives more follows %d; it is 0 or 255";
constexpr char kMissingObjects[] =
    "%s: Answer from DIO Module %d counts %d objects but holds %d";
constexpr char kPastTheEnd[] =
    "%s: Answer from DIO Module %d holds object %d of %d bytes past its end";
constexpr char kBytesLeft[] =
    "%s: Answer from DIO Module %d has %d bytes past its %d objects";
constexpr char kFallingIds[] =
    "%s: Answer from DIO Module %d gives object %d after object %d; object ids rise";
constexpr char kNotAdvancing[] =
    "%s: Answer from DIO Module %d gives next object id %d, not above %d; the objects would not advance";

constexpr const char* kObjectNames[] = {
    "VendorName",  "ProductCode", "MajorMinorRevision", "VendorUrl",
    "ProductName", "ModelName",   "UserApplicationName"};

Judgement Fault(const char* message, int first, int second) {
  Judgement judgement = WrongAnswer(nullptr, first, second);
  judgement.message = message;
  return judgement;
}

bool ValidConformity(int level) {
  const int category = level & ~kSingleAccess;
  return (level & ~(kSingleAccess | 3)) == 0 && category >= 1 && category <= 3;
}

}  // namespace

int BuildReadDeviceIdRequest(std::uint8_t* frame, std::uint8_t code,
                             std::uint8_t objectId,
                             const RequestHeader& header) {
  PutRequestHeader(frame, 5, kEncapsulatedInterface, header);
  frame[8] = kReadDeviceIdMei;
  frame[9] = code;
  frame[10] = objectId;
  return 11;
}

Judgement JudgeIdentAnswer(const std::uint8_t* pdu, int length,
                           IdentProgress& progress, IdentAnswer* answer) {
  if (length < kIdentHeadSize) {
    return Fault(kTooShort, length, kIdentHeadSize);
  }
  if (pdu[kMeiAt] != kReadDeviceIdMei) {
    return WrongAnswer("MEI type", pdu[kMeiAt], kReadDeviceIdMei);
  }
  if (pdu[kCodeAt] != progress.code) {
    return WrongAnswer("read device id code", pdu[kCodeAt], progress.code);
  }
  if (!ValidConformity(pdu[kConformityAt])) {
    return Fault(kBadConformity, pdu[kConformityAt], 0);
  }
  const std::uint8_t more = pdu[kMoreFollowsAt];
  if (more != 0 && more != kMoreFollows) {
    return Fault(kBadMoreFollows, more, 0);
  }
  const int count = pdu[kCountAt];
  int lastId = progress.lastId;
  int at = kIdentHeadSize;
  for (int object = 0; object < count; ++object) {
    if (at + 2 > length) return Fault(kMissingObjects, count, object);
    const int id = pdu[at];
    const int size = pdu[at + 1];
    if (at + 2 + size > length) return Fault(kPastTheEnd, id, size);
    if (id <= lastId) return Fault(kFallingIds, id, lastId);
    lastId = id;
    at += 2 + size;
  }
  if (at != length) return Fault(kBytesLeft, length - at, count);
  const int next = pdu[kNextIdAt];
  if (progress.code == kSingleObject) {
    if (count != 1) return WrongAnswer("number of objects", count, 1);
    if (pdu[kIdentHeadSize] != progress.askedId) {
      return WrongAnswer("object id", pdu[kIdentHeadSize], progress.askedId);
    }
    if (more != 0) return WrongAnswer("more follows", more, 0);
  }
  if (more == 0 && next != 0) return WrongAnswer("next object id", next, 0);
  // The next request must ask for more than came: past the last object,
  // or past the one asked for when none came (a module may start a stream
  // it does not hold the asked object of at its first object).
  const int floor =
      count > 0 || lastId > progress.askedId ? lastId : progress.askedId;
  if (more != 0 && next <= floor) return Fault(kNotAdvancing, next, floor);
  progress.lastId = lastId;
  answer->conformity = pdu[kConformityAt];
  answer->moreFollows = more != 0;
  answer->nextId = static_cast<std::uint8_t>(next);
  answer->objectsAt = kIdentHeadSize;
  answer->objectsSize = length - kIdentHeadSize;
  return {Verdict::Accepted, 0, 0};
}

const char* ObjectName(int objectId) {
  constexpr int kNamed = sizeof kObjectNames / sizeof kObjectNames[0];
  return objectId >= 0 && objectId < kNamed ? kObjectNames[objectId] : "";
}

}  // namespace modbusframe
}  // namespace tcpmodbus
