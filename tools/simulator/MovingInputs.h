// The module's inputs change on their own, so that a host sees fresh values
// from one read to the next: both input tables follow a tick that advances
// with every request served.
#pragma once

#include <modbus.h>

namespace tcpmodbus::sim {

// Input register i reads as i + tick (modulo 2^16).
void RefreshInputRegisters(modbus_mapping_t* map, int address, int count,
                           unsigned tick);

// Discrete input i reads as bit i mod 16 of input register i / 16, least
// significant bit first: discrete inputs 16k to 16k + 15 spell k + tick, as
// a module shows the same digital inputs as bits and as packed registers.
void RefreshDiscreteInputs(modbus_mapping_t* map, int address, int count,
                           unsigned tick);

}  // namespace tcpmodbus::sim
