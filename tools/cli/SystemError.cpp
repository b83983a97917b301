#include "SystemError.h"

#ifdef _WIN32
// FormatMessageA; winsock2.h includes windows.h itself, after
// the definitions that keep the older winsock.h out.
#include <winsock2.h>
#else
#include <cerrno>
#include <cstring>
#endif

namespace cli {

std::string SystemErrorText(int number) {
  std::string text;
#ifdef _WIN32
  // strerror does not know the Windows Sockets numbers; the system's message
  // table does (wine's has some of them only).
  char buffer[512];
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(number), 0, buffer, sizeof(buffer), nullptr);
  text.assign(buffer, length);
#else
  text = std::strerror(number);
#endif
  // The messages of Windows end in ".\r\n"; the CLI's lines go on after it.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' ||
                           text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

}  // namespace cli
