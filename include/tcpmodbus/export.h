/*
 * Symbol visibility of the library's interface.
 *
 * Building the library (shared object or DLL) defines
 * TCPMODBUS_COMPILE_LIBRARY, so the interface is exported; everything else is
 * compiled with hidden visibility and stays internal. Hosts see the interface
 * as imported from the DLL on Windows and as an ordinary declaration
 * elsewhere. C comments only: the C interface (tcpmodbus.h) includes this
 * header, and C89 has no line comments.
 */
#ifndef TCPMODBUS_EXPORT_H_
#define TCPMODBUS_EXPORT_H_

#if !defined(TCPMODBUS_EXPORT)
#if defined(_WIN32)
#if defined(TCPMODBUS_COMPILE_LIBRARY)
#define TCPMODBUS_EXPORT __declspec(dllexport)
#else
#define TCPMODBUS_EXPORT __declspec(dllimport)
#endif
#else
#define TCPMODBUS_EXPORT __attribute__((visibility("default")))
#endif
#endif

#endif /* TCPMODBUS_EXPORT_H_ */
