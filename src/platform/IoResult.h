// How one call on a socket ended: the one result shape of the sockets layer
// and of the transport's steps above it. A call either did what it was
// asked (with a byte count where it moves bytes), or says exactly why not:
// the peer ended the stream, the peer reset the connection, nothing
// happened within the wait, or the system refused with an error number.
#ifndef TCPMODBUS_PLATFORM_IORESULT_H_
#define TCPMODBUS_PLATFORM_IORESULT_H_

#include <cstdint>

namespace tcpmodbus {

struct IoResult {
  enum class Kind : std::uint8_t {
    kDone,      // done: `count` bytes moved, or the wait found the socket ready
    kClosed,    // the peer ended the stream in order (a receive got no byte)
    kReset,     // the peer reset or aborted the connection; `error` says how
    kTimedOut,  // nothing within the wait; `error` is the thread's last number
    kFailed,    // any other failure; `error` is the system's number
    // A readiness check found the socket not ready to send (or failed);
    // `error` is the thread's last number. Made by the transport.
    kNotReady,
    kCancelled,  // the host cancelled the wait from another thread
  };

  Kind kind;
  int count;  // bytes moved (kDone of a send or receive); 0 otherwise
  int error;  // the system's error number, 0 with kDone and kClosed

  static constexpr IoResult Done(int count = 0) {
    return {Kind::kDone, count, 0};
  }
  static constexpr IoResult Closed() { return {Kind::kClosed, 0, 0}; }
  static constexpr IoResult Reset(int error) {
    return {Kind::kReset, 0, error};
  }
  static constexpr IoResult TimedOut(int error) {
    return {Kind::kTimedOut, 0, error};
  }
  static constexpr IoResult Failed(int error) {
    return {Kind::kFailed, 0, error};
  }
  static constexpr IoResult NotReady(int error) {
    return {Kind::kNotReady, 0, error};
  }
  static constexpr IoResult Cancelled() { return {Kind::kCancelled, 0, 0}; }

  bool done() const { return kind == Kind::kDone; }
  bool timedOut() const { return kind == Kind::kTimedOut; }
  bool cancelled() const { return kind == Kind::kCancelled; }
  // The connection cannot carry the exchange: ended, reset, failed, or
  // not ready.
  bool ended() const { return !done() && !timedOut() && !cancelled(); }
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_PLATFORM_IORESULT_H_
