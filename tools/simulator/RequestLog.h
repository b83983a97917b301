// The module's log line for a request, by function code.
#pragma once

#include <cstdint>
#include <string>

namespace tcpmodbus::sim {

// `pdu` starts at the function code of a request libmodbus has received
// whole, so every field its function code carries is there.
std::string DescribeRequest(const std::uint8_t* pdu);

}  // namespace tcpmodbus::sim
