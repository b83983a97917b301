// The C interface (tcpmodbus.h): each function forwards to the same member
// of the object behind TCPModbusIntf, so results, trace lines, frames and
// texts are the C++ interface's. What it adds is the C side of the boundary:
// null handles and texts, const register values, and no exception leaving.
#include <cstring>
#include <new>

#include "front/CHandle.h"
#include "front/CTCPModbus.h"
#include "tcpmodbus/tcpmodbus.h"

namespace {

using tcpmodbus::CTCPModbus;
using tcpmodbus::Guarded;
using tcpmodbus::ErrorCode;
using tcpmodbus::Failure;

// The constants of tcpmodbus.h by their names, for tcpmodbus_constant.
struct NamedConstant {
  const char* name;
  long value;
};
#define TCPMODBUS_CONSTANT(name) {#name, TCPMODBUS_##name},
#define TCPMODBUS_ERROR_CONSTANT(name) TCPMODBUS_CONSTANT(ERROR_##name)
constexpr NamedConstant kConstants[] = {
    TCPMODBUS_ERROR_NAMES(TCPMODBUS_ERROR_CONSTANT)
    TCPMODBUS_CONSTANT(MAX_FRAME_SIZE)
    TCPMODBUS_CONSTANT(MAX_READ_REGISTERS)
    TCPMODBUS_CONSTANT(MAX_WRITE_REGISTERS)
    TCPMODBUS_CONSTANT(MAX_PRESET_REGISTERS)
    TCPMODBUS_CONSTANT(MAX_READ_WRITE_REGISTERS)
    TCPMODBUS_CONSTANT(MAX_READ_BITS)
    TCPMODBUS_CONSTANT(MAX_WRITE_BITS)
    TCPMODBUS_CONSTANT(MAX_IN_FLIGHT)
    TCPMODBUS_CONSTANT(DEFAULT_SERVER_PORT)
    TCPMODBUS_CONSTANT(DEFAULT_UNIT_ID)
    TCPMODBUS_CONSTANT(TYPE_U16)
    TCPMODBUS_CONSTANT(TYPE_I16)
    TCPMODBUS_CONSTANT(TYPE_U32)
    TCPMODBUS_CONSTANT(TYPE_I32)
    TCPMODBUS_CONSTANT(TYPE_U64)
    TCPMODBUS_CONSTANT(TYPE_I64)
    TCPMODBUS_CONSTANT(TYPE_F32)
    TCPMODBUS_CONSTANT(TYPE_F64)
    TCPMODBUS_CONSTANT(TYPE_STRING)
    TCPMODBUS_CONSTANT(ORDER_ABCD)
    TCPMODBUS_CONSTANT(ORDER_CDAB)
    TCPMODBUS_CONSTANT(ORDER_BADC)
    TCPMODBUS_CONSTANT(ORDER_DCBA)
    TCPMODBUS_CONSTANT(MAX_STRING_REGISTERS)
    TCPMODBUS_CONSTANT(TABLE_HOLDING)
    TCPMODBUS_CONSTANT(TABLE_INPUT)
    TCPMODBUS_CONSTANT(TABLE_COIL)
    TCPMODBUS_CONSTANT(TABLE_DISCRETE)
    TCPMODBUS_CONSTANT(READING_OK)
    TCPMODBUS_CONSTANT(READING_EXCEPTION)
    TCPMODBUS_CONSTANT(READING_TIMEOUT)
    TCPMODBUS_CONSTANT(READING_FAILED)
    TCPMODBUS_CONSTANT(READING_NOT_READ)
    TCPMODBUS_CONSTANT(READING_HOLE)
};
#undef TCPMODBUS_ERROR_CONSTANT
#undef TCPMODBUS_CONSTANT

const char* TextOrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

}  // namespace

tcpmodbus_module* tcpmodbus_create(void) {
  return new (std::nothrow) tcpmodbus_module();
}

void tcpmodbus_destroy(tcpmodbus_module* module) { delete module; }

int tcpmodbus_initialize(tcpmodbus_module* module, unsigned short module_id,
                         const char* local_ip_addr, unsigned short local_port,
                         const char* server_ip_addr) {
  return Guarded(module, "tcpmodbus_initialize", [&](CTCPModbus& object) {
    // Initialize closes the old connection before anything else; closing it
    // before the texts are copied as well leaves a failed copy with the
    // object closed, not still connected or due to reconnect with the
    // arguments of an earlier call. No trace line, frame or result changes.
    object.Close();
    return object.Initialize(module_id, TextOrEmpty(local_ip_addr), local_port,
                             TextOrEmpty(server_ip_addr));
  });
}

void tcpmodbus_close(tcpmodbus_module* module) {
  if (module != nullptr) module->object.Close();
}

const char* tcpmodbus_last_error(tcpmodbus_module* module) {
  return module != nullptr ? module->object.LastErrorString() : "";
}

int tcpmodbus_write_single_hold_reg(tcpmodbus_module* module,
                                    unsigned short reg_addr,
                                    unsigned short reg_value) {
  return Guarded(module, "tcpmodbus_write_single_hold_reg",
                 [&](CTCPModbus& object) {
                   return object.WriteSingleHoldReg(reg_addr, reg_value);
                 });
}

int tcpmodbus_write_multi_hold_regs(tcpmodbus_module* module,
                                    unsigned short start_addr,
                                    const unsigned short* reg_values,
                                    unsigned short reg_count) {
  // The C++ signature is not const, but the values are only read.
  return Guarded(
      module, "tcpmodbus_write_multi_hold_regs", [&](CTCPModbus& object) {
        return object.WriteMultiHoldRegs(
            start_addr, const_cast<unsigned short*>(reg_values), reg_count);
      });
}

int tcpmodbus_read_hold_regs(tcpmodbus_module* module,
                             unsigned short start_addr,
                             unsigned short* reg_values,
                             unsigned short reg_count) {
  return Guarded(module, "tcpmodbus_read_hold_regs", [&](CTCPModbus& object) {
    return object.ReadHoldRegs(start_addr, reg_values, reg_count);
  });
}

int tcpmodbus_read_input_regs(tcpmodbus_module* module,
                              unsigned short start_addr,
                              unsigned short* reg_values,
                              unsigned short reg_count) {
  return Guarded(module, "tcpmodbus_read_input_regs", [&](CTCPModbus& object) {
    return object.ReadInputRegs(start_addr, reg_values, reg_count);
  });
}

int tcpmodbus_set_connect_timeout(tcpmodbus_module* module,
                                  unsigned int milliseconds) {
  return module != nullptr ? module->object.SetConnectTimeout(milliseconds) : 0;
}

int tcpmodbus_set_response_timeout(tcpmodbus_module* module,
                                   unsigned int milliseconds) {
  return module != nullptr ? module->object.SetResponseTimeout(milliseconds)
                           : 0;
}

int tcpmodbus_set_recovery(tcpmodbus_module* module, int enabled) {
  return module != nullptr ? module->object.SetRecovery(enabled != 0) : 0;
}

int tcpmodbus_set_server_port(tcpmodbus_module* module, unsigned short port) {
  return module != nullptr ? module->object.SetServerPort(port) : 0;
}

int tcpmodbus_set_unit_id(tcpmodbus_module* module, unsigned char unit_id) {
  return module != nullptr ? module->object.SetUnitId(unit_id) : 0;
}

unsigned int tcpmodbus_reconnects(tcpmodbus_module* module) {
  return module != nullptr ? module->object.Reconnects() : 0;
}

const char* tcpmodbus_version(void) { return TCPModbusIntf::Version(); }

int tcpmodbus_set_transaction_ids(tcpmodbus_module* module, int on) {
  return module != nullptr ? module->object.SetTransactionIds(on != 0) : 0;
}

int tcpmodbus_set_trace(tcpmodbus_module* module, tcpmodbus_trace_fn fn,
                        void* context) {
  return module != nullptr ? module->object.SetTraceSink(fn, context) : 0;
}

void tcpmodbus_trace_stdout(void* context, const char* text, size_t length) {
  TCPModbusIntf::TraceToStdout(context, text, length);
}

int tcpmodbus_last_error_code(tcpmodbus_module* module) {
  return module != nullptr ? module->object.LastErrorCode() : 0;
}

int tcpmodbus_last_exception_code(tcpmodbus_module* module) {
  return module != nullptr ? module->object.LastExceptionCode() : 0;
}

int tcpmodbus_last_system_error(tcpmodbus_module* module) {
  return module != nullptr ? module->object.LastSystemError() : 0;
}

const char* tcpmodbus_error_name(int code) {
  return TCPModbusIntf::ErrorName(code);
}

int tcpmodbus_read_coils(tcpmodbus_module* module, unsigned short start_addr,
                         unsigned char* bits, unsigned short count) {
  return Guarded(module, "tcpmodbus_read_coils", [&](CTCPModbus& object) {
    return object.ReadCoils(start_addr, bits, count);
  });
}

int tcpmodbus_read_discrete_inputs(tcpmodbus_module* module,
                                   unsigned short start_addr,
                                   unsigned char* bits, unsigned short count) {
  return Guarded(module, "tcpmodbus_read_discrete_inputs",
                 [&](CTCPModbus& object) {
                   return object.ReadDiscreteInputs(start_addr, bits, count);
                 });
}

int tcpmodbus_write_single_coil(tcpmodbus_module* module, unsigned short addr,
                                int on) {
  return Guarded(module, "tcpmodbus_write_single_coil",
                 [&](CTCPModbus& object) {
                   return object.WriteSingleCoil(addr, on != 0);
                 });
}

int tcpmodbus_write_multi_coils(tcpmodbus_module* module,
                                unsigned short start_addr,
                                const unsigned char* bits,
                                unsigned short count) {
  return Guarded(module, "tcpmodbus_write_multi_coils",
                 [&](CTCPModbus& object) {
                   return object.WriteMultiCoils(start_addr, bits, count);
                 });
}

int tcpmodbus_mask_write_hold_reg(tcpmodbus_module* module, unsigned short addr,
                                  unsigned short and_mask,
                                  unsigned short or_mask) {
  return Guarded(module, "tcpmodbus_mask_write_hold_reg",
                 [&](CTCPModbus& object) {
                   return object.MaskWriteHoldReg(addr, and_mask, or_mask);
                 });
}

int tcpmodbus_read_write_multi_hold_regs(tcpmodbus_module* module,
                                         unsigned short read_addr,
                                         unsigned short* read_values,
                                         unsigned short read_count,
                                         unsigned short write_addr,
                                         const unsigned short* write_values,
                                         unsigned short write_count) {
  return Guarded(
      module, "tcpmodbus_read_write_multi_hold_regs", [&](CTCPModbus& object) {
        return object.ReadWriteMultiHoldRegs(read_addr, read_values, read_count,
                                             write_addr, write_values,
                                             write_count);
      });
}

const char* tcpmodbus_last_failure_text(tcpmodbus_module* module) {
  return module != nullptr ? module->object.LastFailureText() : "";
}

long tcpmodbus_constant(const char* name) {
  if (name == nullptr) return -1;
  for (const NamedConstant& constant : kConstants) {
    if (std::strcmp(constant.name, name) == 0) return constant.value;
  }
  return -1;
}

int tcpmodbus_set_max_in_flight(tcpmodbus_module* module, unsigned int depth) {
  return module != nullptr ? module->object.SetMaxInFlight(depth) : 0;
}

int tcpmodbus_read_batch(tcpmodbus_module* module, tcpmodbus_read* reads,
                         unsigned int count) {
  return Guarded(module, "tcpmodbus_read_batch", [&](CTCPModbus& object) {
    return object.ReadBatch(reads, count);
  });
}

unsigned int tcpmodbus_step_downs(tcpmodbus_module* module) {
  return module != nullptr ? module->object.StepDowns() : 0;
}
