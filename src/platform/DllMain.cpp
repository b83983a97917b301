// Entry routine of the DLL.
//
// Loading and unloading do nothing of the library's own: there is no state to
// set up, no thread to start and no per-thread storage to release, and
// Windows Sockets belongs to the host. Every notification succeeds.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD /*reason*/,
                               LPVOID /*reserved*/) {
  return TRUE;
}
