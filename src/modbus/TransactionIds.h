// The transaction identifiers of one connection, when the host turned them
// on: 1 for its first request, then rising, 65535 followed by 1. 0 is never
// used, so nothing sent with identifiers off can match a request.
#ifndef TCPMODBUS_MODBUS_TRANSACTIONIDS_H_
#define TCPMODBUS_MODBUS_TRANSACTIONIDS_H_

#include <cstdint>

namespace tcpmodbus {

class TransactionIds {
 public:
  // The identifier of the next request.
  std::uint16_t Next() {
    const std::uint16_t id = next_;
    if (next_ == 65535) {
      next_ = 1;
      wrapped_ = true;
    } else {
      ++next_;
    }
    return id;
  }
  // Whether `id` belongs to a request sent on this connection before the
  // one with `current`: a late answer, or a copy of one.
  bool Earlier(std::uint16_t id, std::uint16_t current) const {
    return id != 0 && id != current && (wrapped_ || id < current);
  }

 private:
  std::uint16_t next_ = 1;
  bool wrapped_ = false;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_TRANSACTIONIDS_H_
