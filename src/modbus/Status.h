// How an operation of the protocol client ended: the one result its
// connect and its exchanges return. Why one failed is in the client's
// ErrorText; the status says what the failure means for the connection.
#ifndef TCPMODBUS_MODBUS_STATUS_H_
#define TCPMODBUS_MODBUS_STATUS_H_

#include <cstdint>

namespace tcpmodbus {

class Status {
 public:
  static constexpr Status Ok() { return Status(Kind::kOk); }
  // Refused or judged wrong; the connection stays as it was.
  static constexpr Status Failed() { return Status(Kind::kFailed); }
  // The connection cannot carry the next exchange as it is: the send
  // failed, the module closed or reset it, or the wait for the answer ended
  // without one. Recovery, when on, reconnects before the next operation.
  static constexpr Status ConnectionLost() {
    return Status(Kind::kConnectionLost);
  }
  // With recovery on: the connection was found gone before the request was
  // traced or sent. The front reconnects and runs the exchange again; no
  // message is written, since the operation has not failed yet.
  static constexpr Status LostBeforeSend() {
    return Status(Kind::kLostBeforeSend);
  }

  bool ok() const { return kind_ == Kind::kOk; }
  bool connectionLost() const {
    return kind_ == Kind::kConnectionLost || kind_ == Kind::kLostBeforeSend;
  }
  bool lostBeforeSend() const { return kind_ == Kind::kLostBeforeSend; }

 private:
  enum class Kind : std::uint8_t {
    kOk,
    kFailed,
    kConnectionLost,
    kLostBeforeSend
  };
  explicit constexpr Status(Kind kind) : kind_(kind) {}
  Kind kind_;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_STATUS_H_
