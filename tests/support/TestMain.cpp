// main() of every test executable. The library never starts the sockets
// subsystem, a host does: on Windows this main starts Winsock before any
// test runs, as a host would; POSIX sockets need nothing.
#ifdef _WIN32
#include <winsock2.h>
#endif

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
#ifdef _WIN32
  WSADATA data;
  const int started = WSAStartup(MAKEWORD(2, 2), &data);
  if (started != 0) {
    std::fprintf(stderr, "WSAStartup failed: %d\n", started);
    return 1;
  }
#endif
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
#ifdef _WIN32
  WSACleanup();
#endif
  return result;
}
