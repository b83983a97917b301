// The texts hosts see for Modbus exception codes, spelled out for the tests
// ("requetsed", code 7's trailing blank and "Unknow" included), independent
// of the library's own table.
#ifndef TCPMODBUS_TESTS_SUPPORT_EXPECTEDEXCEPTIONTEXTS_H_
#define TCPMODBUS_TESTS_SUPPORT_EXPECTEDEXCEPTIONTEXTS_H_

namespace testsupport {

// The client's table of texts for the codes 0 to 14. (Parentheses keep a
// text split over two lines from reading as a missing comma.)
constexpr int kExceptionTableSize = 15;
inline const char* const kExpectedExceptionTable[kExceptionTableSize] = {
    "",
    "Unallowable or invalid function code received in the query",
    "Unallowable or invalid data address received in the query for the slave",
    ("Unallowable or invalid value contained in the query data field for the slave"),
    "The server failed during execution due to unrecoverable error",
    "Acknowledge for a long time of request processing",
    "Slave/Server Device Busy",
    "The slave cannot perform the requetsed function ",
    "Memory Parity Error",
    "",
    "Gateway Problem. Gateway path(s) not available",
    "Gateway Problem. The target device failed to respond",
    "",
    "",
    "",
};

}  // namespace testsupport

#endif  // TCPMODBUS_TESTS_SUPPORT_EXPECTEDEXCEPTIONTEXTS_H_
