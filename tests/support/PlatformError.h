// Error numbers as each platform reports them, for expected message texts:
// PlatformError(ECONNREFUSED, 10061) is errno's number on POSIX and the
// Winsock number (WSAECONNREFUSED) on Windows.
#ifndef TCPMODBUS_TESTS_SUPPORT_PLATFORMERROR_H_
#define TCPMODBUS_TESTS_SUPPORT_PLATFORMERROR_H_

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

namespace testsupport {

constexpr int PlatformError(int posixNumber, int windowsNumber) {
#ifdef _WIN32
  return static_cast<void>(posixNumber), windowsNumber;
#else
  return static_cast<void>(windowsNumber), posixNumber;
#endif
}

// True when a Windows build runs under wine, whose sockets differ from
// Windows in a few corners that some tests must leave out.
inline bool RunningUnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr &&
         GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace testsupport

#endif  // TCPMODBUS_TESTS_SUPPORT_PLATFORMERROR_H_
