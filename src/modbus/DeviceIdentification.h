// Read Device Identification (function code 43, MEI type 14): the request
// of one answer's round and the judgement of that answer's PDU, pure
// functions over bytes.
//
// An answer's PDU: function code 43, MEI type 14, the read device id code,
// the conformity level, "more follows" (0x00 or 0xFF), the next object id,
// the number of objects, then each object as its id, its length N and its N
// bytes, up to the PDU's end.
#ifndef TCPMODBUS_MODBUS_DEVICEIDENTIFICATION_H_
#define TCPMODBUS_MODBUS_DEVICEIDENTIFICATION_H_

#include <cstdint>

#include "modbus/ModbusFrame.h"
#include "tcpmodbus/tcpmodbus.h"

namespace tcpmodbus {
namespace modbusframe {

constexpr std::uint8_t kEncapsulatedInterface = 43;
constexpr std::uint8_t kReadDeviceIdMei = 14;
// The PDU's head before the first object.
constexpr int kIdentHeadSize = 7;
constexpr int kMaxIdentAnswers = TCPMODBUS_MAX_IDENT_ANSWERS;

// The header, 43, 14, `code` and `objectId`: 12 bytes.
int BuildReadDeviceIdRequest(std::uint8_t* frame, std::uint8_t code,
                             std::uint8_t objectId,
                             const RequestHeader& header = {});

// What the answers of one identification have shown so far, which the
// next answer must follow.
struct IdentProgress {
  std::uint8_t code;     // the read device id code, 1 to 4
  std::uint8_t askedId;  // the object id this round's request asks for
  int lastId = -1;       // the last object id received; -1 before any
};

// A judged answer: its conformity level, whether more follows and from
// which object id, and where its objects lie in the PDU.
struct IdentAnswer {
  int conformity = 0;
  bool moreFollows = false;
  std::uint8_t nextId = 0;
  int objectsAt = kIdentHeadSize;
  int objectsSize = 0;
};

// The verdict on an answer's PDU of `length` bytes (function code first,
// which the caller judged), in the order of its fields: the MEI type and
// read device id code echoed, the conformity level (0x01 to 0x03, 0x81 to
// 0x83), "more follows" (0x00 or 0xFF), every object's id (above the one
// before, in this answer and the earlier ones) and length within the PDU,
// the object count filling the PDU exactly; for code 4, one object, the one
// asked for, and nothing to follow; the next object id then above every id
// received and the one asked for, or 0 when nothing follows. The faults of
// content are WrongAnswer verdicts with a message of their own. Accepted:
// `*answer` says what came and progress.lastId moves on.
Judgement JudgeIdentAnswer(const std::uint8_t* pdu, int length,
                           IdentProgress& progress, IdentAnswer* answer);

// The name of a basic or regular object (0 to 6), "" for any other id.
const char* ObjectName(int objectId);

}  // namespace modbusframe
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_DEVICEIDENTIFICATION_H_
