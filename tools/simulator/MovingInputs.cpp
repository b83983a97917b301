#include "MovingInputs.h"

#include <algorithm>
#include <cstdint>

namespace tcpmodbus::sim {

namespace {

std::uint16_t InputRegisterValue(int address, unsigned tick) {
  return static_cast<std::uint16_t>(static_cast<unsigned>(address) + tick);
}

}  // namespace

// Only the part of a read inside the table is refreshed; libmodbus answers
// the rest with exception 2.
void RefreshInputRegisters(modbus_mapping_t* map, int address, int count,
                           unsigned tick) {
  const int end = std::min(address + count, map->nb_input_registers);
  for (int i = address; i < end; ++i) {
    map->tab_input_registers[i] = InputRegisterValue(i, tick);
  }
}

void RefreshDiscreteInputs(modbus_mapping_t* map, int address, int count,
                           unsigned tick) {
  const int end = std::min(address + count, map->nb_input_bits);
  for (int i = address; i < end; ++i) {
    const std::uint16_t packed = InputRegisterValue(i / 16, tick);
    map->tab_input_bits[i] =
        static_cast<std::uint8_t>((packed >> (i % 16)) & 1);
  }
}

}  // namespace tcpmodbus::sim
