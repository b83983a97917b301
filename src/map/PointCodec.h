// A point's value from the registers or the bit that hold it, and the
// registers that hold a value written: the typed-value codecs, with the
// point's scale applied.
#ifndef TCPMODBUS_MAP_POINTCODEC_H_
#define TCPMODBUS_MAP_POINTCODEC_H_

#include <cstdint>
#include <string>
#include <vector>

#include "map/PointLayout.h"
#include "tcpmodbus/DeviceMap.h"

namespace tcpmodbus {
namespace map {

// `registers` holds the point's layout.width registers.
PointValue DecodeRegisters(const PointLayout& layout,
                           const std::uint16_t* registers);
// The registers of a value written to a register point, unscaled first;
// false with the reason for a value that does not fit the type.
bool EncodeRegisters(const PointLayout& layout, const std::string& name,
                     const PointValue& value,
                     std::vector<std::uint16_t>* registers, std::string* error);
// The bit of a value written to a coil: a bool, or the integer 0 or 1.
bool EncodeBit(const std::string& name, const PointValue& value, bool* on,
               std::string* error);

}  // namespace map
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MAP_POINTCODEC_H_
