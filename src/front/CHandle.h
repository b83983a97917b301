// The opaque handle of the C interface (tcpmodbus.h): the object itself.
// Shared by the files that define the C functions.
#ifndef TCPMODBUS_FRONT_CHANDLE_H_
#define TCPMODBUS_FRONT_CHANDLE_H_

#include <new>

#include "common/Attributes.h"
#include "front/CTCPModbus.h"
#include "tcpmodbus/tcpmodbus.h"

struct tcpmodbus_module {
  tcpmodbus::CTCPModbus object;
};

namespace tcpmodbus {

// Runs `call` on the handle's object and returns its result; 0 for a null
// handle. An exception must not unwind into a C caller, so each one ends
// here as result 0 with a text. The library throws none of its own; only
// the standard library's allocations can fail this way.
template <typename Call>
int Guarded(tcpmodbus_module* module, const char* name, Call call) {
  if (module == nullptr) return 0;
  try {
    return call(module->object);
  } catch (const std::bad_alloc&) {
    module->object.ModbusClient.Fail(Failure::Of(ErrorCode::kNoMemory),
                                     "%s: Out of memory", name);
  }
  TCPMODBUS_RETHROW_FORCED_UNWIND
  catch (...) {
    module->object.ModbusClient.Fail(Failure::Of(ErrorCode::kInternal),
                                     "%s: Unexpected failure", name);
  }
  return 0;
}

}  // namespace tcpmodbus

#endif  // TCPMODBUS_FRONT_CHANDLE_H_
