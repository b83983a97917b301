// The transaction identifiers of one object, when the host turned them on:
// 1 for its first request, then rising across every connection it makes,
// 65535 followed by 1. 0 is never used, so nothing sent with identifiers off
// can match a request; and a gateway that hands a pending answer to a new
// connection cannot have it taken for the new connection's first request.
// It also remembers the last answers it accepted, so that a copy of one (a
// gateway that sends an answer twice) is told from an answer to another
// request that carries a used identifier.
#ifndef TCPMODBUS_MODBUS_TRANSACTIONIDS_H_
#define TCPMODBUS_MODBUS_TRANSACTIONIDS_H_

#include <cstdint>

namespace tcpmodbus {

class TransactionIds {
 public:
  // The identifier of the next request.
  std::uint16_t Next() {
    const std::uint16_t id = next_;
    next_ = next_ == 65535 ? 1 : static_cast<std::uint16_t>(next_ + 1);
    return id;
  }
  // An answer accepted for the request with `id`.
  void Answered(std::uint16_t id, const std::uint8_t* frame, int size) {
    recent_[nextRecent_] = {id, Fingerprint(frame, size)};
    nextRecent_ = (nextRecent_ + 1) % kRecent;
  }
  // Whether the frame is byte for byte an answer accepted before.
  bool IsCopy(std::uint16_t id, const std::uint8_t* frame, int size) const {
    const std::uint64_t fingerprint = Fingerprint(frame, size);
    for (const Recent& answer : recent_) {
      if (answer.id == id && id != 0 && answer.fingerprint == fingerprint) {
        return true;
      }
    }
    return false;
  }

 private:
  static constexpr int kRecent = 4;
  struct Recent {
    std::uint16_t id;
    std::uint64_t fingerprint;
  };
  // FNV-1a over the frame: a copy has the same, and two answers with one
  // identifier and different bytes differ but by a 2^-64 chance (which
  // could only drop a frame, never deliver one).
  static std::uint64_t Fingerprint(const std::uint8_t* frame, int size) {
    std::uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < size; ++i) hash = (hash ^ frame[i]) * 1099511628211ull;
    return hash;
  }

  std::uint16_t next_ = 1;
  Recent recent_[kRecent] = {};
  int nextRecent_ = 0;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_TRANSACTIONIDS_H_
