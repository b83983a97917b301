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

// The handler that lets a thread's forced unwinding (a thread ended while
// it runs a host's callback, as Python ends its daemon threads at exit) go
// on through a `catch (...)` that follows it: it must never be swallowed.
#if defined(__GLIBCXX__)
#include <cxxabi.h>
#define TCPMODBUS_RETHROW_FORCED_UNWIND \
  catch (abi::__forced_unwind&) {       \
    throw;                              \
  }
#else
#define TCPMODBUS_RETHROW_FORCED_UNWIND
#endif

#endif  // TCPMODBUS_COMMON_ATTRIBUTES_H_
