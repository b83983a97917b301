// Error numbers as each platform reports them, for expected message texts:
// PlatformError(ECONNREFUSED, 10061) is errno's number on POSIX and the
// Winsock number (WSAECONNREFUSED) on Windows.
#ifndef TCPMODBUS_TESTS_SUPPORT_PLATFORMERROR_H_
#define TCPMODBUS_TESTS_SUPPORT_PLATFORMERROR_H_

#include <cerrno>

namespace testsupport {

constexpr int PlatformError(int posixNumber, int windowsNumber) {
#ifdef _WIN32
  return static_cast<void>(posixNumber), windowsNumber;
#else
  return static_cast<void>(windowsNumber), posixNumber;
#endif
}

}  // namespace testsupport

#endif  // TCPMODBUS_TESTS_SUPPORT_PLATFORMERROR_H_
