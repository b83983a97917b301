/*
 * C interface of the Modbus/TCP client library.
 *
 * The same objects as the C++ interface (TCPModbusIntf.h), behind an opaque
 * handle and plain C functions, so that hosts built with any compiler or
 * written in any language that can call C (C, C++ of another toolchain, C#,
 * Python, LabVIEW, Delphi) can use the library. Every result, trace line,
 * frame and error text is the one the C++ interface gives for the same call.
 *
 * Only C types cross this interface, and no exception ever does: a failed
 * allocation is reported as a null handle or as result 0 with a text.
 *
 * Results: the functions that act on a module return 1 for success and 0 for
 * failure, as the C++ interface does; tcpmodbus_last_error tells why the last
 * protocol operation failed. Every function given a null handle does nothing
 * and returns 0 (tcpmodbus_last_error then returns an empty text).
 *
 * Threading: one handle serves one thread at a time; calls on one handle
 * must not overlap. Separate handles share nothing and may be used on
 * separate threads at once. tcpmodbus_create, tcpmodbus_destroy (each on its
 * own handle) and tcpmodbus_version may be called from any thread.
 *
 * The library traces every step on standard output (C stdio), with hex
 * dumps of each frame, unless the host gives a handle a sink of its own or
 * turns its trace off (tcpmodbus_set_trace). On Windows the host starts Windows
 * Sockets (WSAStartup) before tcpmodbus_initialize; the library never starts or
 * stops them. The functions use the platform's default C calling convention
 * and are exported under their plain names, as declared here.
 *
 * Clean C89 and C99; C++ hosts may include it too.
 */
#ifndef TCPMODBUS_TCPMODBUS_H_
#define TCPMODBUS_TCPMODBUS_H_

#include <stddef.h>

#include "tcpmodbus/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One module connection: the object of TCPModbusIntf::GetInstance(). */
typedef struct tcpmodbus_module tcpmodbus_module;

/*
 * A new, independent object, not connected and with every option off; null
 * when it could not be allocated. The caller owns it and releases it with
 * tcpmodbus_destroy.
 */
TCPMODBUS_EXPORT tcpmodbus_module* tcpmodbus_create(void);

/*
 * Closes the object's connection and releases it; the handle is invalid
 * afterwards. A null handle is ignored. No other call on the same handle may
 * run at the same time.
 */
TCPMODBUS_EXPORT void tcpmodbus_destroy(tcpmodbus_module* module);

/*
 * TCPModbusIntf::Initialize: opens a TCP socket bound to
 * local_ip_addr:local_port (an empty address means the first address of this
 * machine's host name; port 0 lets the system choose) and connects it to
 * server_ip_addr (dotted IPv4) on the module's port, 502 unless
 * tcpmodbus_set_server_port chose another. May be called again at any time;
 * it closes the old connection first. module_id names the module in messages
 * only ("DIO Module 1"); it is never sent.
 *
 * The texts are copied; the caller keeps them. A null text is taken as an
 * empty one. When the copies cannot be allocated, the object is closed as
 * tcpmodbus_close leaves it, the result is 0 and tcpmodbus_last_error reads
 * "tcpmodbus_initialize: Out of memory".
 */
TCPMODBUS_EXPORT int tcpmodbus_initialize(tcpmodbus_module* module,
                                          unsigned short module_id,
                                          const char* local_ip_addr,
                                          unsigned short local_port,
                                          const char* server_ip_addr);

/*
 * TCPModbusIntf::Close: closes the connection; the object stays usable and
 * keeps its options. Recovery never reconnects after it; only
 * tcpmodbus_initialize does.
 */
TCPMODBUS_EXPORT void tcpmodbus_close(tcpmodbus_module* module);

/*
 * TCPModbusIntf::LastErrorString: the reason for the last failed protocol
 * operation; empty until the first failure, never cleared by a success.
 * Never null. The text belongs to the object: it is valid until the object
 * is destroyed and changes with its next failure, so a host that keeps it
 * copies it.
 */
TCPMODBUS_EXPORT const char* tcpmodbus_last_error(tcpmodbus_module* module);

/* TCPModbusIntf::WriteSingleHoldReg: writes one holding register (code 6). */
TCPMODBUS_EXPORT int tcpmodbus_write_single_hold_reg(tcpmodbus_module* module,
                                                     unsigned short reg_addr,
                                                     unsigned short reg_value);

/*
 * TCPModbusIntf::WriteMultiHoldRegs: writes reg_count holding registers from
 * reg_values (code 16), which the library only reads. At most 124 registers
 * fit one request; more is refused before anything is sent.
 */
TCPMODBUS_EXPORT int tcpmodbus_write_multi_hold_regs(
    tcpmodbus_module* module, unsigned short start_addr,
    const unsigned short* reg_values, unsigned short reg_count);

/*
 * TCPModbusIntf::ReadHoldRegs: reads reg_count holding registers (code 3)
 * into reg_values, which the caller owns and which must hold reg_count
 * entries; it is written only on success.
 */
TCPMODBUS_EXPORT int tcpmodbus_read_hold_regs(tcpmodbus_module* module,
                                              unsigned short start_addr,
                                              unsigned short* reg_values,
                                              unsigned short reg_count);

/* TCPModbusIntf::ReadInputRegs: as tcpmodbus_read_hold_regs, for input
 * registers (code 4). */
TCPMODBUS_EXPORT int tcpmodbus_read_input_regs(tcpmodbus_module* module,
                                               unsigned short start_addr,
                                               unsigned short* reg_values,
                                               unsigned short reg_count);

/*
 * Connection options (library 1.1), as in TCPModbusIntf.h: each is off
 * until set, and the object then behaves exactly as without it; each is kept
 * across tcpmodbus_initialize and tcpmodbus_close. The setters return 1, or 0
 * for a refused value.
 */

/* Longest wait of the connect in tcpmodbus_initialize, in milliseconds; 0
 * (the default) waits as long as the system allows. */
TCPMODBUS_EXPORT int tcpmodbus_set_connect_timeout(tcpmodbus_module* module,
                                                   unsigned int milliseconds);

/* Longest wait for an answer, in milliseconds; 0 (the default) waits without
 * limit. On expiry the operation fails and the connection is closed. */
TCPMODBUS_EXPORT int tcpmodbus_set_response_timeout(tcpmodbus_module* module,
                                                    unsigned int milliseconds);

/* Nonzero turns recovery on: an operation that finds the connection lost
 * through a failure first reconnects as the last tcpmodbus_initialize did.
 * Off by default. */
TCPMODBUS_EXPORT int tcpmodbus_set_recovery(tcpmodbus_module* module,
                                            int enabled);

/* The module's TCP port, 502 by default, from the next tcpmodbus_initialize
 * on; 0 is refused. */
TCPMODBUS_EXPORT int tcpmodbus_set_server_port(tcpmodbus_module* module,
                                               unsigned short port);

/* The unit identifier of every request, 1 by default, from the next request
 * on (gateways route by it). */
TCPMODBUS_EXPORT int tcpmodbus_set_unit_id(tcpmodbus_module* module,
                                           unsigned char unit_id);

/* How many times recovery has reconnected since the last
 * tcpmodbus_initialize. */
TCPMODBUS_EXPORT unsigned int tcpmodbus_reconnects(tcpmodbus_module* module);

/* The library's version, "major.minor.patch": a static text, never null. */
TCPMODBUS_EXPORT const char* tcpmodbus_version(void);

/*
 * Library 1.2. A host that calls these needs library 1.2 or later.
 */

/*
 * Nonzero turns transaction identifiers on (off by default): each request
 * carries the next identifier (one counter for the handle's life, across
 * its connections; 0 is never used) and an answer counts only if its
 * identifier, unit identifier and function code are the request's. The late
 * answer of a request that got none and an exact copy of an answer taken
 * before are dropped and traced; any other identifier fails at once. A
 * time-out then leaves the connection open; a second one in a row closes
 * it. Devices that do not echo identifiers need them off. Returns 1.
 */
TCPMODBUS_EXPORT int tcpmodbus_set_transaction_ids(tcpmodbus_module* module,
                                                   int on);

/*
 * Receives the trace of one handle: each trace point's text whole (one or
 * more complete lines, each ending in a newline; NUL-terminated after length
 * characters as a courtesy), on the caller's thread, synchronously, with no
 * lock of the library held. Concatenated, the texts are byte for byte what
 * standard output would have received.
 */
typedef void (*tcpmodbus_trace_fn)(void* context, const char* text,
                                   size_t length);

/*
 * Sends the handle's trace to fn with context; fn NULL turns the trace off
 * (then nothing is formatted for it), and tcpmodbus_trace_stdout restores
 * the default. Kept across tcpmodbus_initialize and tcpmodbus_close.
 * Returns 1, or 0 for a null handle. A sink may call other handles; a call
 * it makes on its own handle that would change it (an operation,
 * tcpmodbus_initialize, tcpmodbus_close, a setter) is refused: it returns 0
 * (tcpmodbus_close does nothing) with "<name>: Called from this object's own
 * trace sink; refused" as its last error while the sink runs, and the
 * operation in progress keeps its own.
 */
TCPMODBUS_EXPORT int tcpmodbus_set_trace(tcpmodbus_module* module,
                                         tcpmodbus_trace_fn fn, void* context);

/* The default sink: the text to standard output in one stdio call; context
 * is not used. */
TCPMODBUS_EXPORT void tcpmodbus_trace_stdout(void* context, const char* text,
                                             size_t length);

/*
 * What a host can branch on when a call failed, beside the text: the kind
 * of the last failure. Every failure sets it, also those that leave
 * tcpmodbus_last_error as it is (a call while not connected, an open or bind
 * failure in tcpmodbus_initialize, a refused option value); a success
 * leaves it. TCPMODBUS_ERROR_NONE until the first failure. The same values
 * as TCPModbusIntf::ErrorCode.
 */
#define TCPMODBUS_ERROR_NONE 0
#define TCPMODBUS_ERROR_NOT_CONNECTED 1    /* never initialized, closed, lost */
#define TCPMODBUS_ERROR_INVALID_ARGUMENT 2 /* null array, too many, a value */
#define TCPMODBUS_ERROR_OPEN 3             /* socket, bind or local address */
#define TCPMODBUS_ERROR_CONNECT 4          /* refused, unreachable, time-out */
#define TCPMODBUS_ERROR_TIMEOUT 5          /* no answer within the time-out */
#define TCPMODBUS_ERROR_CLOSED 6           /* the module closed or reset it */
#define TCPMODBUS_ERROR_SEND 7             /* another failure to send */
#define TCPMODBUS_ERROR_RECEIVE 8          /* another failure to receive */
#define TCPMODBUS_ERROR_TOO_SHORT 9        /* an answer of 1 to 8 bytes */
#define TCPMODBUS_ERROR_WRONG_SIZE 10      /* an answer of another size */
#define TCPMODBUS_ERROR_WRONG_ANSWER 11    /* not this request's answer */
#define TCPMODBUS_ERROR_MODBUS_EXCEPTION 12 /* see the exception code */
#define TCPMODBUS_ERROR_NO_MEMORY 13        /* memory ran out */
#define TCPMODBUS_ERROR_REENTERED 14        /* called from its own trace sink */
#define TCPMODBUS_ERROR_INTERNAL 15         /* any other failure */
#define TCPMODBUS_ERROR_CANCELLED 16        /* tcpmodbus_cancel (1.3) */

/* The code of the last failure; 0 for a null handle. */
TCPMODBUS_EXPORT int tcpmodbus_last_error_code(tcpmodbus_module* module);
/* The Modbus exception code of the last failure, 0 if it was none. */
TCPMODBUS_EXPORT int tcpmodbus_last_exception_code(tcpmodbus_module* module);
/* The operating system's error number of the last failure (errno, or
 * Windows Sockets' number), 0 if it had none. */
TCPMODBUS_EXPORT int tcpmodbus_last_system_error(tcpmodbus_module* module);
/* A stable identifier of a code, such as "TIMEOUT"; "UNKNOWN" for a code it
 * does not know; never null. */
TCPMODBUS_EXPORT const char* tcpmodbus_error_name(int code);

/*
 * Digital points and register bits, as the TCPModbusIntf members of the
 * same names. Bits travel one a byte in the caller's arrays: reads give 0 or
 * 1, writes take any non-zero byte as on. A quantity outside the protocol's
 * limits is refused before anything is sent (TCPMODBUS_ERROR_INVALID_ARGUMENT);
 * an answer whose function code, byte count or echo is not the request's
 * fails (TCPMODBUS_ERROR_WRONG_ANSWER), and values come only from an
 * accepted answer.
 */

/* Coils (code 1) and discrete inputs (code 2): 1 to 2000 bits into bits,
 * which must hold count entries and is written only on success. */
TCPMODBUS_EXPORT int tcpmodbus_read_coils(tcpmodbus_module* module,
                                          unsigned short start_addr,
                                          unsigned char* bits,
                                          unsigned short count);
TCPMODBUS_EXPORT int tcpmodbus_read_discrete_inputs(tcpmodbus_module* module,
                                                    unsigned short start_addr,
                                                    unsigned char* bits,
                                                    unsigned short count);
/* One coil on (non-zero) or off (code 5). */
TCPMODBUS_EXPORT int tcpmodbus_write_single_coil(tcpmodbus_module* module,
                                                 unsigned short addr, int on);
/* 1 to 1968 coils from bits (code 15). */
TCPMODBUS_EXPORT int tcpmodbus_write_multi_coils(tcpmodbus_module* module,
                                                 unsigned short start_addr,
                                                 const unsigned char* bits,
                                                 unsigned short count);
/* The register becomes (value AND and_mask) OR (or_mask AND NOT and_mask),
 * in one request (code 22). */
TCPMODBUS_EXPORT int tcpmodbus_mask_write_hold_reg(tcpmodbus_module* module,
                                                   unsigned short addr,
                                                   unsigned short and_mask,
                                                   unsigned short or_mask);
/* Writes 1 to 121 registers, then reads 1 to 125, in one transaction (code
 * 23); read_values is written only on success. */
TCPMODBUS_EXPORT int tcpmodbus_read_write_multi_hold_regs(
    tcpmodbus_module* module, unsigned short read_addr,
    unsigned short* read_values, unsigned short read_count,
    unsigned short write_addr, const unsigned short* write_values,
    unsigned short write_count);

/*
 * Library 1.3. A host that calls these needs library 1.3 or later.
 */

/*
 * The protocol's limits of one request, as the library checks them, and
 * the library's defaults; every face of the library takes them from here.
 */
#define TCPMODBUS_MAX_FRAME_SIZE 261 /* bytes of one request or answer */
#define TCPMODBUS_MAX_READ_REGISTERS 125 /* codes 3 and 4, and 23's read */
#define TCPMODBUS_MAX_WRITE_REGISTERS 123 /* code 16, as the protocol has it */
#define TCPMODBUS_MAX_PRESET_REGISTERS 124 /* code 16: one 261-byte request */
#define TCPMODBUS_MAX_READ_WRITE_REGISTERS 121 /* code 23's write */
#define TCPMODBUS_MAX_READ_BITS 2000 /* codes 1 and 2 */
#define TCPMODBUS_MAX_WRITE_BITS 1968 /* code 15 */
#define TCPMODBUS_MAX_IN_FLIGHT 16 /* requests of a batch before an answer */
#define TCPMODBUS_DEFAULT_SERVER_PORT 502
#define TCPMODBUS_DEFAULT_UNIT_ID 1

/*
 * A text that describes the last failure of any call on the handle, with
 * the same lifetime as tcpmodbus_last_error's; empty until the first
 * failure, never cleared by a success. Where tcpmodbus_last_error is left as
 * it was (a call while not connected, an open or bind failure, a refused
 * value), this one still says what happened; elsewhere the two are the
 * same. Never null.
 */
TCPMODBUS_EXPORT const char* tcpmodbus_last_failure_text(
    tcpmodbus_module* module);

/*
 * The value of one of the TCPMODBUS_* constants of this header, by its name
 * without the prefix ("MAX_READ_BITS", "ERROR_TIMEOUT", "TYPE_F32"), for
 * hosts that cannot read a C header; -1 for a name it does not know.
 */
TCPMODBUS_EXPORT long tcpmodbus_constant(const char* name);

/*
 * Typed values: a value wider than a register, or a text, held in
 * consecutive registers. The type of a value and the order of its bytes in
 * the registers (A is the value's most significant byte):
 *   ABCD  the first register holds the high word, each register its high
 *         byte first (the Modbus convention, the default);
 *   CDAB  the words swapped; BADC  the two bytes of each register swapped;
 *   DCBA  both.
 * 64-bit values take the same two choices over four words (ABCDEFGH,
 * GHEFCDAB, BADCFEHG, HGFEDCBA, the same four constants). Texts take only the
 * byte choice: ABCD (or CDAB) puts the first character in the high byte,
 * BADC (or DCBA) in the low byte. A 16-bit value takes only the byte choice
 * as well.
 */
#define TCPMODBUS_TYPE_U16 1
#define TCPMODBUS_TYPE_I16 2
#define TCPMODBUS_TYPE_U32 3
#define TCPMODBUS_TYPE_I32 4
#define TCPMODBUS_TYPE_U64 5
#define TCPMODBUS_TYPE_I64 6
#define TCPMODBUS_TYPE_F32 7 /* IEEE 754 binary32 */
#define TCPMODBUS_TYPE_F64 8 /* IEEE 754 binary64 */
#define TCPMODBUS_TYPE_STRING 9 /* two characters a register */

#define TCPMODBUS_ORDER_ABCD 0
#define TCPMODBUS_ORDER_CDAB 1
#define TCPMODBUS_ORDER_BADC 2
#define TCPMODBUS_ORDER_DCBA 3

/*
 * Typed values (library 1.3): the codecs, and a typed read and write of one
 * value through a module.
 *
 * The registers a value takes: 1 for U16 and I16, 2 for U32, I32 and F32, 4
 * for U64, I64 and F64, and a string's own count, 1 to
 * TCPMODBUS_MAX_STRING_REGISTERS (what one read request can carry). A
 * value crosses this interface in the C type of its kind: the signed types
 * as tcpmodbus_int64, the unsigned ones as tcpmodbus_uint64, F32 as float,
 * F64 as double (their bits copied, never converted: NaN payloads,
 * infinities, -0.0 and denormals come back bit for bit), a string as its
 * characters. A function given a type of another kind, an unknown type or
 * order, or an integer out of its type's range refuses it.
 *
 * Strings: two characters a register. Written, they are padded with NUL to
 * their registers, and a longer text is refused; read, trailing NUL and
 * blank characters are trimmed.
 */
#define TCPMODBUS_MAX_STRING_REGISTERS 125

/*
 * The table a typed read takes its registers from, numbered by the function
 * code that reads it.
 */
#define TCPMODBUS_TABLE_HOLDING 3
#define TCPMODBUS_TABLE_INPUT 4

/*
 * 64-bit integers: long long, which C89 compilers have as an extension
 * (marked as one, so that strict C89 builds stay free of warnings), and
 * MSVC as __int64.
 */
#if defined(__GNUC__)
__extension__ typedef long long tcpmodbus_int64;
__extension__ typedef unsigned long long tcpmodbus_uint64;
#elif defined(_MSC_VER)
typedef __int64 tcpmodbus_int64;
typedef unsigned __int64 tcpmodbus_uint64;
#else
typedef long long tcpmodbus_int64;
typedef unsigned long long tcpmodbus_uint64;
#endif

/*
 * The numbers of a type's name ("u16", "i16", "u32", "i32", "u64", "i64",
 * "f32", "f64", or "string:N" with N from 1 to 125): *type, and the
 * registers a value of it takes in *registers. Returns 1, or 0 for another
 * name (the outputs then stay as they were).
 */
TCPMODBUS_EXPORT int tcpmodbus_parse_type(const char* name, int* type,
                                          unsigned short* registers);
/* The number of an order's name for a type: "ABCD", "CDAB", "BADC",
 * "DCBA", and for 64-bit types also "ABCDEFGH", "GHEFCDAB", "BADCFEHG",
 * "HGFEDCBA". Returns 1, or 0 for another name. */
TCPMODBUS_EXPORT int tcpmodbus_parse_order(const char* name, int type,
                                           int* order);
/* The number of a table's name: "holding" or "input". Returns 1, or 0. */
TCPMODBUS_EXPORT int tcpmodbus_parse_table(const char* name, int* table);

/*
 * The codecs, pure functions that need no module: a value into the
 * registers that hold it (as many as its type takes), and registers into a
 * value. Each returns 1, or 0 for a refused type, order or value (nothing is
 * written then).
 */
TCPMODBUS_EXPORT int tcpmodbus_encode_signed(int type, int order,
                                             tcpmodbus_int64 value,
                                             unsigned short* registers);
TCPMODBUS_EXPORT int tcpmodbus_encode_unsigned(int type, int order,
                                               tcpmodbus_uint64 value,
                                               unsigned short* registers);
TCPMODBUS_EXPORT int tcpmodbus_encode_f32(int order, float value,
                                          unsigned short* registers);
TCPMODBUS_EXPORT int tcpmodbus_encode_f64(int order, double value,
                                          unsigned short* registers);
/* text (NUL-terminated, at most 2 * count characters) into count
 * registers. */
TCPMODBUS_EXPORT int tcpmodbus_encode_string(int order, const char* text,
                                             unsigned short* registers,
                                             unsigned short count);
TCPMODBUS_EXPORT int tcpmodbus_decode_signed(int type, int order,
                                             const unsigned short* registers,
                                             tcpmodbus_int64* value);
TCPMODBUS_EXPORT int tcpmodbus_decode_unsigned(int type, int order,
                                               const unsigned short* registers,
                                               tcpmodbus_uint64* value);
TCPMODBUS_EXPORT int tcpmodbus_decode_f32(int order,
                                          const unsigned short* registers,
                                          float* value);
TCPMODBUS_EXPORT int tcpmodbus_decode_f64(int order,
                                          const unsigned short* registers,
                                          double* value);
/* count registers into text, which must hold 2 * count + 1 characters: the
 * text, trimmed, then a NUL. *length (when length is not null) is the
 * text's length, which tells a NUL inside the text from its end. */
TCPMODBUS_EXPORT int tcpmodbus_decode_string(int order,
                                             const unsigned short* registers,
                                             unsigned short count, char* text,
                                             size_t* length);

/*
 * A typed read: one value from `table` (TCPMODBUS_TABLE_HOLDING or
 * TCPMODBUS_TABLE_INPUT), in one read request (code 3 or 4) of the
 * registers its type takes, with the trace of tcpmodbus_read_hold_regs or
 * tcpmodbus_read_input_regs. The value is written only on success.
 *
 * A typed write: one value to holding registers in one request, so that a
 * value of several registers is never torn: code 16 for every type but U16
 * and I16, which take code 6; the trace of the register write it makes.
 *
 * A refused table, type, order, value or null pointer fails before anything
 * is sent, with TCPMODBUS_ERROR_INVALID_ARGUMENT and a text that says why
 * ("tcpmodbus::WriteValue: 70000 is out of range for i16 (-32768 to
 * 32767)"). Every other failure is the register operation's, with its code
 * and text.
 */
TCPMODBUS_EXPORT int tcpmodbus_read_signed(tcpmodbus_module* module, int table,
                                           unsigned short addr, int type,
                                           int order, tcpmodbus_int64* value);
TCPMODBUS_EXPORT int tcpmodbus_read_unsigned(tcpmodbus_module* module,
                                             int table, unsigned short addr,
                                             int type, int order,
                                             tcpmodbus_uint64* value);
TCPMODBUS_EXPORT int tcpmodbus_read_f32(tcpmodbus_module* module, int table,
                                        unsigned short addr, int order,
                                        float* value);
TCPMODBUS_EXPORT int tcpmodbus_read_f64(tcpmodbus_module* module, int table,
                                        unsigned short addr, int order,
                                        double* value);
/* A string of count registers into text, as tcpmodbus_decode_string. */
TCPMODBUS_EXPORT int tcpmodbus_read_string(tcpmodbus_module* module, int table,
                                           unsigned short addr, int order,
                                           unsigned short count, char* text,
                                           size_t* length);
TCPMODBUS_EXPORT int tcpmodbus_write_signed(tcpmodbus_module* module,
                                            unsigned short addr, int type,
                                            int order, tcpmodbus_int64 value);
TCPMODBUS_EXPORT int tcpmodbus_write_unsigned(tcpmodbus_module* module,
                                              unsigned short addr, int type,
                                              int order,
                                              tcpmodbus_uint64 value);
TCPMODBUS_EXPORT int tcpmodbus_write_f32(tcpmodbus_module* module,
                                         unsigned short addr, int order,
                                         float value);
TCPMODBUS_EXPORT int tcpmodbus_write_f64(tcpmodbus_module* module,
                                         unsigned short addr, int order,
                                         double value);
/* text (NUL-terminated) as a string of count registers, padded with NUL. */
TCPMODBUS_EXPORT int tcpmodbus_write_string(tcpmodbus_module* module,
                                            unsigned short addr, int order,
                                            unsigned short count,
                                            const char* text);

/*
 * Several requests in flight (library 1.3): a batch of reads sends up to a
 * depth of requests before the first answer and one more as each answer
 * comes, each answer matched to its request by its transaction identifier,
 * never by its position. A depth above 1 needs transaction identifiers on.
 */

/* The tables of bits beside TCPMODBUS_TABLE_HOLDING and _INPUT, numbered
 * the same way, by the function code that reads them. Texts name the four
 * "coil", "discrete", "holding" and "input". */
#define TCPMODBUS_TABLE_COIL 1
#define TCPMODBUS_TABLE_DISCRETE 2

/* One read of a batch: the caller sets the first five fields, the batch
 * the last three. */
typedef struct tcpmodbus_read {
  int table;                 /* TCPMODBUS_TABLE_HOLDING, _INPUT, _COIL, ... */
  unsigned short address;    /* the first register or bit */
  unsigned short count;      /* registers or bits */
  unsigned short* registers; /* holding, input: count entries */
  unsigned char* bits;       /* coils, discrete inputs: one bit a byte */
  int result;                /* 1 read, 0 failed */
  int error_code;            /* TCPMODBUS_ERROR_* of its failure; 0 if read */
  int exception_code;        /* the Modbus exception code, or 0 */
} tcpmodbus_read;

/*
 * Up to depth requests of a batch in flight, 1 to TCPMODBUS_MAX_IN_FLIGHT.
 * 1, the default, sends each after the previous answer, as the single reads
 * do. Kept across tcpmodbus_initialize and tcpmodbus_close. Returns 1, or 0
 * for a refused depth.
 */
TCPMODBUS_EXPORT int tcpmodbus_set_max_in_flight(tcpmodbus_module* module,
                                                 unsigned int depth);

/*
 * Reads each of count reads, as the single reads do but with requests in
 * flight as set: 1 when every read was read, else 0; each read tells how it
 * ended, and the handle's last failure is the batch's last. A failure that
 * loses the connection (closed, reset, a time-out, a failed send or
 * receive, not connected) ends the batch: the reads not sent then have
 * result 0 and error_code TCPMODBUS_ERROR_NOT_CONNECTED, and recovery, when
 * on, reconnects at the next call. Each request waits within its own
 * response time-out from its own send. When the module
 * leaves a request unanswered while it answers later ones, or ends the
 * connection with several in flight, the handle steps down to one request
 * in flight until the next tcpmodbus_initialize: the trace says so, the
 * failure text says why, tcpmodbus_step_downs counts it, and the reads not
 * read are sent again one at a time. Writes are never part of a batch.
 */
TCPMODBUS_EXPORT int tcpmodbus_read_batch(tcpmodbus_module* module,
                                          tcpmodbus_read* reads,
                                          unsigned int count);

/* How many times a batch stepped down since the last
 * tcpmodbus_initialize. */
TCPMODBUS_EXPORT unsigned int tcpmodbus_step_downs(tcpmodbus_module* module);

/*
 * Device map (library 1.3). A module's points by name, read in the fewest
 * requests that never read an address the map does not declare (docs/maps.md),
 * and written by name. Nothing here changes a frame, trace line or result of
 * the functions above; the map only runs them. Its tables are the
 * TCPMODBUS_TABLE_* constants, its limits the TCPMODBUS_MAX_* ones.
 */

/* What a snapshot says of each point. */
#define TCPMODBUS_READING_OK 0        /* read; the value is its own */
#define TCPMODBUS_READING_EXCEPTION 1 /* refused: see its exception code */
#define TCPMODBUS_READING_TIMEOUT 2   /* no answer within the time-out */
#define TCPMODBUS_READING_FAILED 3    /* another failure: see its error code */
#define TCPMODBUS_READING_NOT_READ 4  /* an earlier failure lost the link */
#define TCPMODBUS_READING_HOLE 5      /* skipped: refused before (a hole) */

typedef struct tcpmodbus_map tcpmodbus_map;
typedef struct tcpmodbus_plan tcpmodbus_plan;
typedef struct tcpmodbus_snapshot tcpmodbus_snapshot;

/* A new, empty map; null when it could not be allocated. The caller releases
 * it with tcpmodbus_map_destroy. */
TCPMODBUS_EXPORT tcpmodbus_map* tcpmodbus_map_create(void);
TCPMODBUS_EXPORT void tcpmodbus_map_destroy(tcpmodbus_map* map);

/*
 * Appends a point: its name (unique in the map), table text, address, type
 * ("bit" for coils and discrete inputs; "u16", "i16", "u32", "i32", "u64",
 * "i64", "f32", "f64" or "string:N" for registers; NULL or empty for "bit"
 * or "u16"), order (NULL or empty for ABCD), scale (0 for none; values read
 * are multiplied by it) and unit (NULL for none, shown beside the value).
 * 1, or 0 with the reason in
 * tcpmodbus_map_error and the map as it was.
 */
TCPMODBUS_EXPORT int tcpmodbus_map_add(tcpmodbus_map* map, const char* name,
                                       const char* table,
                                       unsigned short address, const char* type,
                                       const char* order, double scale,
                                       const char* unit);
/* Appends the points of a CSV file with the header
 * name,table,address,type,order,scale,unit (docs/maps.md): all of them, or
 * none and 0 with the reason, naming the line and the column, in
 * tcpmodbus_map_error. */
TCPMODBUS_EXPORT int tcpmodbus_map_load(tcpmodbus_map* map, const char* path);
/* Why the last tcpmodbus_map_add or tcpmodbus_map_load failed; empty before.
 * Never null; it belongs to the map. */
TCPMODBUS_EXPORT const char* tcpmodbus_map_error(const tcpmodbus_map* map);
/* The number of points, and point `index` of them as it was added (order
 * "ABCD" when given empty, scale 0 when none, unit "" when none). Each
 * pointer given receives its field; NULL pointers are skipped. The texts
 * belong to the map and last until a point is added. 0 for an index past
 * the end. */
TCPMODBUS_EXPORT size_t tcpmodbus_map_size(const tcpmodbus_map* map);
TCPMODBUS_EXPORT int tcpmodbus_map_point(const tcpmodbus_map* map, size_t index,
                                         const char** name, const char** table,
                                         unsigned short* address,
                                         const char** type, const char** order,
                                         double* scale, const char** unit);

/*
 * The requests that read the map, planned under the limits: max_gap
 * addresses a request may span that no point declares (0: none), at most
 * max_registers (1 to 125) or max_bits (1 to 2000) a request, and without
 * what the module's object learned to be refused. Nothing is sent. Null, with
 * INVALID_ARGUMENT and the reason as the module's last error, for a limit out
 * of range or a point wider than a request may be; null for a null handle.
 */
TCPMODBUS_EXPORT tcpmodbus_plan* tcpmodbus_plan_create(
    tcpmodbus_module* module, const tcpmodbus_map* map, unsigned int max_gap,
    unsigned int max_registers, unsigned int max_bits);
TCPMODBUS_EXPORT void tcpmodbus_plan_destroy(tcpmodbus_plan* plan);
/* The number of requests, and request `index`: its table text, first
 * address, count and number of points served; 0 past the end. */
TCPMODBUS_EXPORT size_t tcpmodbus_plan_requests(const tcpmodbus_plan* plan);
TCPMODBUS_EXPORT int tcpmodbus_plan_request(const tcpmodbus_plan* plan,
                                            size_t index, const char** table,
                                            unsigned short* start,
                                            unsigned short* count,
                                            size_t* points);
/* The map index of the nth point served by request `index`, in address
 * order; (size_t)-1 past the end. */
TCPMODBUS_EXPORT size_t tcpmodbus_plan_point(const tcpmodbus_plan* plan,
                                             size_t index, size_t nth);

/*
 * Reads the map as tcpmodbus_plan_create plans it, through the module's
 * operations, into a new snapshot. A request refused with exception 2 or 3 is
 * split until the points that cause the refusal are found; the module's object
 * learns them (holes) and later plans skip them. A failure that loses the
 * connection stops the read: the points not read yet say so. Null only when
 * the plan is refused (as tcpmodbus_plan_create) or memory ran out.
 */
TCPMODBUS_EXPORT tcpmodbus_snapshot* tcpmodbus_map_read(
    tcpmodbus_module* module, const tcpmodbus_map* map, unsigned int max_gap,
    unsigned int max_registers, unsigned int max_bits);
TCPMODBUS_EXPORT void tcpmodbus_snapshot_destroy(tcpmodbus_snapshot* snapshot);
/* The number of readings: one per point of the map, in its order. */
TCPMODBUS_EXPORT size_t
tcpmodbus_snapshot_size(const tcpmodbus_snapshot* snapshot);
/* Reading `index`: its TCPMODBUS_READING_* status, the Modbus exception code
 * (EXCEPTION, HOLE; else 0), the library's error code of its failure (else
 * 0), the time its answer came in seconds since 1970-01-01 UTC (0 when not
 * read), and the number of the request that served it (1 up; 0 none). An
 * index past the end reads as NOT_READ with zeros. */
TCPMODBUS_EXPORT int tcpmodbus_snapshot_status(
    const tcpmodbus_snapshot* snapshot, size_t index);
TCPMODBUS_EXPORT int tcpmodbus_snapshot_exception_code(
    const tcpmodbus_snapshot* snapshot, size_t index);
TCPMODBUS_EXPORT int tcpmodbus_snapshot_error_code(
    const tcpmodbus_snapshot* snapshot, size_t index);
TCPMODBUS_EXPORT double tcpmodbus_snapshot_time(
    const tcpmodbus_snapshot* snapshot, size_t index);
TCPMODBUS_EXPORT size_t
tcpmodbus_snapshot_request(const tcpmodbus_snapshot* snapshot, size_t index);
/* The value read, scaled: a number (a bit 0 or 1; 64-bit integers rounded to
 * the nearest double), NaN for a text or a point not read. */
TCPMODBUS_EXPORT double tcpmodbus_snapshot_value(
    const tcpmodbus_snapshot* snapshot, size_t index);
/* The value as exact text: integers in decimal, floating values in the
 * fewest digits that read back the same, a bit "0" or "1", a string as read;
 * empty when not read. Never null; it belongs to the snapshot. */
TCPMODBUS_EXPORT const char* tcpmodbus_snapshot_text(
    const tcpmodbus_snapshot* snapshot, size_t index);
/* The number of requests the read sent, and request `number` (1 up): its
 * table text, first address, count, the library's error code (0: answered)
 * and the exception code. 0 past the end. */
TCPMODBUS_EXPORT size_t
tcpmodbus_snapshot_requests(const tcpmodbus_snapshot* snapshot);
TCPMODBUS_EXPORT int tcpmodbus_snapshot_sent(const tcpmodbus_snapshot* snapshot,
                                             size_t number, const char** table,
                                             unsigned short* start,
                                             unsigned short* count,
                                             int* error_code,
                                             int* exception_code);
/* The name of a TCPMODBUS_READING_* status: "ok", "exception", "timeout",
 * "failed", "not read", "hole"; "unknown" for another number. */
TCPMODBUS_EXPORT const char* tcpmodbus_reading_status_name(int status);

/* What the module's object learned: the holes (addresses refused alone) and
 * the lowered limits, both kept until cleared (not by Close or Initialize).
 * The number of holes, and hole `index`: table text, first address, count,
 * and the exception code that refused it; 0 past the end. */
TCPMODBUS_EXPORT size_t tcpmodbus_holes(tcpmodbus_module* module);
TCPMODBUS_EXPORT int tcpmodbus_hole(tcpmodbus_module* module, size_t index,
                                    const char** table, unsigned short* start,
                                    unsigned short* count, int* exception_code);
/* The most a request of the table (a table text) may read as learned from
 * refusals with exception 3; 0 when none was learned. */
TCPMODBUS_EXPORT unsigned int tcpmodbus_learned_limit(tcpmodbus_module* module,
                                                      const char* table);
/* Forgets every hole and learned limit; the next plan asks for them again.
 * Returns 1. */
TCPMODBUS_EXPORT int tcpmodbus_clear_holes(tcpmodbus_module* module);

/*
 * Writes count points of the map by name, each value a text (a number in
 * decimal, 0x-hex or floating notation, a bit 0 or 1, a string as it is):
 * in address order, adjacent registers of a table joined into one write of
 * multiple registers (code 16; code 6 for a lone register) of up to 123, and
 * coils into one of code 15 of up to 1968 (code 5 for a lone coil); a value
 * is never split. A point of a scale takes the value before scaling: the
 * registers receive value / scale, rounded to the nearest integer for
 * integer types. 1 on success. 0, with INVALID_ARGUMENT and the reason as the
 * module's last error and nothing sent, for an unknown name, a point of a
 * read-only table or wider than one write request (a string of more than
 * 123 registers), a value that does not fit its type, or two values for one
 * register or coil; 0 with the failure of the request as its last error when
 * the module refused or could not be reached (the requests before it were
 * written).
 */
TCPMODBUS_EXPORT int tcpmodbus_map_write(tcpmodbus_module* module,
                                         const tcpmodbus_map* map, size_t count,
                                         const char* const* names,
                                         const char* const* values);

/*
 * Host names and IPv6 (library 1.3).
 */

/*
 * Nonzero turns name look-up on (off by default): the server address of
 * tcpmodbus_initialize may then be a host name or an IPv6 address besides
 * dotted IPv4, every address of the system's look-up tried in its order
 * within one connect time-out for all of them, and the local address may be
 * empty (the wildcard address of the server's family), an IPv6 address or a
 * host name. Off, a server address that is not dotted IPv4 fails the connect
 * with the platform's invalid-argument number, and
 * tcpmodbus_last_failure_text says why. Kept across tcpmodbus_initialize and
 * tcpmodbus_close; from the next tcpmodbus_initialize on. Returns 1, or 0
 * for a null handle.
 */
TCPMODBUS_EXPORT int tcpmodbus_set_name_lookup(tcpmodbus_module* module,
                                               int on);

/*
 * Cancel (library 1.3).
 */

/*
 * Ends the wait of the call in progress on the handle, from any other
 * thread, within about 20 ms: the call fails with TCPMODBUS_ERROR_CANCELLED.
 * When a request was on its way, the connection is closed, since its answer
 * could still come; when nothing was sent (a connect, a wait before the
 * request), the connection is kept. A call of several requests (a batch, a
 * map read or write) ends before its next request, the connection kept. A
 * call begun after it returned is not affected. The one function that may overlap another call on the same
 * handle; a name look-up of tcpmodbus_initialize cannot be cancelled.
 * Returns 1, or 0 for a null handle.
 */
TCPMODBUS_EXPORT int tcpmodbus_cancel(tcpmodbus_module* module);

/*
 * Device identification and raw requests (library 1.3). Nothing here
 * changes a frame, trace line or result of the functions above.
 */

/*
 * Read Device Identification (function code 43, MEI type 14): the read
 * device id codes. A category holds the objects of those below it: basic
 * VendorName (0), ProductCode (1), MajorMinorRevision (2); regular also
 * VendorUrl (3), ProductName (4), ModelName (5), UserApplicationName (6);
 * extended also the objects 0x80 to 0xFF. ONE_OBJECT reads the one object
 * asked for.
 */
#define TCPMODBUS_IDENT_BASIC 1
#define TCPMODBUS_IDENT_REGULAR 2
#define TCPMODBUS_IDENT_EXTENDED 3
#define TCPMODBUS_IDENT_ONE_OBJECT 4
/* The answers one identification follows through "more follows". */
#define TCPMODBUS_MAX_IDENT_ANSWERS 64
/* The function code and data of a request or answer: one frame of 260. */
#define TCPMODBUS_MAX_PDU_SIZE 253
/* The records of the objects of one identification at most: 64 answers of
 * 246 bytes of objects each. */
#define TCPMODBUS_MAX_IDENT_RECORDS 15744

/*
 * Reads the objects of category `code` (TCPMODBUS_IDENT_BASIC, _REGULAR,
 * _EXTENDED) from object_id on (0 for all), following "more follows" for up
 * to TCPMODBUS_MAX_IDENT_ANSWERS answers, or (TCPMODBUS_IDENT_ONE_OBJECT)
 * the one object object_id. The objects go into `records` as they come on
 * the wire, one record each: the object id, its length N, then its N bytes
 * (no NUL); *length tells the bytes written, *conformity (when not null) the
 * module's conformity level. A buffer of TCPMODBUS_MAX_IDENT_RECORDS bytes
 * takes any identification. The answers are judged strictly: MEI type 14,
 * the read device id code echoed, a conformity level of 0x01 to 0x03 or
 * 0x81 to 0x83, "more follows" 0x00 or 0xFF with a next object id above
 * every object received (0 at the end), object ids that rise, and the
 * object count and lengths that fill the answer exactly; one object answers
 * ONE_OBJECT, the one asked for. An exception answer is a Modbus exception.
 * 1 on success; 0 with the failure otherwise (records written until then
 * are not a result).
 */
TCPMODBUS_EXPORT int tcpmodbus_read_device_identification(
    tcpmodbus_module* module, int code, unsigned char object_id,
    unsigned char* records, size_t size, size_t* length, int* conformity);

/* The name of an object id: "VendorName", "ProductCode",
 * "MajorMinorRevision", "VendorUrl", "ProductName", "ModelName",
 * "UserApplicationName" for 0 to 6; "" for any other. Never null. */
TCPMODBUS_EXPORT const char* tcpmodbus_object_name(int object_id);

/*
 * A raw request: function_code (1 to 127) and `length` data bytes (at most
 * TCPMODBUS_MAX_PDU_SIZE - 1) sent as one request; the answer's PDU, its
 * function code first, goes into `answer` (`size` bytes; one of
 * TCPMODBUS_MAX_PDU_SIZE takes any answer) and its size into
 * *answer_length. A size that would make a malformed frame is refused
 * before anything is sent. The answer is framed by its MBAP length (2 to
 * 254) with transaction identifiers off, as any frame with them on; it must
 * carry protocol identifier 0, the request's unit identifier and function
 * code, and a length field that counts it exactly. An exception answer is a
 * Modbus exception. 1 on success, else 0.
 */
TCPMODBUS_EXPORT int tcpmodbus_request(tcpmodbus_module* module,
                                       unsigned char function_code,
                                       const unsigned char* data, size_t length,
                                       unsigned char* answer, size_t size,
                                       size_t* answer_length);

#ifdef __cplusplus
}
#endif

#endif /* TCPMODBUS_TCPMODBUS_H_ */
