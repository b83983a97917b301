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
 * carries the next identifier (1 after every connect, then rising; 0 is
 * never used) and an answer counts only if its identifier, unit identifier
 * and function code are the request's; answers to earlier requests are
 * dropped and traced. A time-out then leaves the connection open; a second
 * one in a row closes it. Devices that do not echo identifiers need them
 * off. Returns 1.
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

#ifdef __cplusplus
}
#endif

#endif /* TCPMODBUS_TCPMODBUS_H_ */
