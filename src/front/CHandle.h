// The opaque handle of the C interface (tcpmodbus.h): the object itself.
// Shared by the files that define the C functions, with the guard their
// calls run under.
#ifndef TCPMODBUS_FRONT_CHANDLE_H_
#define TCPMODBUS_FRONT_CHANDLE_H_

#include <new>

#include "front/CTCPModbus.h"
#include "tcpmodbus/tcpmodbus.h"

struct tcpmodbus_module {
  tcpmodbus::CTCPModbus object;
};

namespace tcpmodbus {

// Runs `call` on the handle's object and returns its result; `refused` for
// a null handle. An exception must not unwind into a C caller, so each one
// ends here as `refused` with a text. The library throws none of its own;
// only the standard library's allocations can fail this way.
template <typename Result, typename Call>
Result GuardedCall(tcpmodbus_module* module, const char* name, Result refused,
                   Call call) {
  if (module == nullptr) return refused;
  try {
    return call(module->object);
  } catch (const std::bad_alloc&) {
    module->object.ModbusClient.Fail(Failure::Of(ErrorCode::kNoMemory),
                                     "%s: Out of memory", name);
  } catch (...) {
    module->object.ModbusClient.Fail(Failure::Of(ErrorCode::kInternal),
                                     "%s: Unexpected failure", name);
  }
  return refused;
}

}  // namespace tcpmodbus

#endif  // TCPMODBUS_FRONT_CHANDLE_H_
