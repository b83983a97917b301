// What one object knows of its connection beside the transport's handle,
// which says whether there is one. The front owns it and alone decides when
// the connection is renewed; the protocol client reports into it what each
// exchange saw.
#ifndef TCPMODBUS_COMMON_CONNECTIONSTATE_H_
#define TCPMODBUS_COMMON_CONNECTIONSTATE_H_

#include <cstdint>

namespace tcpmodbus {

struct ConnectionState {
  // Set by the front: a connection found lost before a request is sent is
  // renewed (recovery on), so the protocol client then sends nothing.
  bool renewWhenLost = false;
  // The connection was lost through a failure, not given up by Close: with
  // recovery on, the next operation reconnects.
  bool recoveryDue = false;
  // Why there is no connection, for the failure text of an operation that
  // finds none.
  const char* notConnectedBecause = "Initialize() was not called yet";
  // Exchanges in a row that got no answer at all (identifiers on).
  int timeoutsInARow = 0;
  // The identifiers of requests of this connection that got no answer and
  // whose answer may still come (identifiers on); 0 marks a free place,
  // and the oldest is forgotten when all are taken.
  static constexpr int kLateAnswers = 16;
  std::uint16_t lateAnswers[kLateAnswers] = {};
  int nextLate = 0;

  bool LateAnswerPossible() const {
    for (std::uint16_t id : lateAnswers) {
      if (id != 0) return true;
    }
    return false;
  }
  void AwaitLate(std::uint16_t id) {
    lateAnswers[nextLate] = id;
    nextLate = (nextLate + 1) % kLateAnswers;
  }
  // Whether `id` is a late answer's, which then comes no more.
  bool TakeLate(std::uint16_t id) {
    for (std::uint16_t& late : lateAnswers) {
      if (late == id && id != 0) {
        late = 0;
        return true;
      }
    }
    return false;
  }
  // A new connection: nothing can come late on it.
  void Connected() {
    recoveryDue = false;
    timeoutsInARow = 0;
    for (std::uint16_t& late : lateAnswers) late = 0;
  }
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_COMMON_CONNECTIONSTATE_H_
