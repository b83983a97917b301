// SKIP_UNLESS_LISTENING(server): skips the current test when the fake server
// could not listen on port 502, with the reason the bind failed. Only root or
// a private network namespace may bind that port; a test that cannot run
// there must say so instead of passing.
//
// Expands to a GTEST_SKIP, which returns from the enclosing function: use it
// in the test body (or a function returning void), before the client
// connects.
#ifndef TCPMODBUS_TESTS_SUPPORT_SKIPUNLESSLISTENING_H_
#define TCPMODBUS_TESTS_SUPPORT_SKIPUNLESSLISTENING_H_

#include <gtest/gtest.h>

#include <string>

#include "FakeModbusServer.h"

namespace testsupport {

inline std::string NotListeningReason(const FakeModbusServer& server) {
  // BindError() says when the port needs root or a network namespace.
  return "the fake server cannot listen: " + server.BindError();
}

}  // namespace testsupport

#define SKIP_UNLESS_LISTENING(server)                            \
  do {                                                           \
    if (!(server).Listening()) {                                 \
      GTEST_SKIP() << testsupport::NotListeningReason((server)); \
    }                                                            \
  } while (0)

#endif  // TCPMODBUS_TESTS_SUPPORT_SKIPUNLESSLISTENING_H_
