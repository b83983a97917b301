// The module's log line for a request, by function code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tcpmodbus::sim {

// `pdu` starts at the function code of a request received whole, `length`
// bytes long; each field its function code carries is named, so that the
// line shows every address the request reads or writes.
std::string DescribeRequest(const std::uint8_t* pdu, std::size_t length);

}  // namespace tcpmodbus::sim
