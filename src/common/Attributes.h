// Compiler attributes shared by the library's sources.
#ifndef TCPMODBUS_COMMON_ATTRIBUTES_H_
#define TCPMODBUS_COMMON_ATTRIBUTES_H_

// Lets the compiler check printf-style arguments against their format.
// Indices count from 1; an implicit `this` counts as 1.
#if defined(__GNUC__) || defined(__clang__)
#define TCPMODBUS_PRINTF_FORMAT(formatIndex, firstArg) \
  __attribute__((format(printf, formatIndex, firstArg)))
#else
#define TCPMODBUS_PRINTF_FORMAT(formatIndex, firstArg)
#endif

#endif  // TCPMODBUS_COMMON_ATTRIBUTES_H_
