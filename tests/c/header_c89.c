/* The C interface's header is clean C89: this file is built as strict C89
 * with every warning an error (tests/c/CMakeLists.txt). */
#include "tcpmodbus/tcpmodbus.h"
