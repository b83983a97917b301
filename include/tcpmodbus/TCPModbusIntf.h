// Modbus/TCP client for remote I/O modules.
//
// A host obtains one object per module connection from GetInstance(), calls
// Initialize() to bind a local address and port and connect to the module's
// port 502, then reads and writes registers. Every operation is synchronous
// and returns 1 for success and 0 for failure; LastErrorString() tells why
// the last protocol operation failed. The library traces every step,
// including hex dumps of each frame, on standard output, unless the host
// gives it a sink of its own or turns it off (SetTraceSink).
//
// The order of the virtual functions below is part of the binary interface:
// hosts call through the vtable, so it never changes. New functions are only
// ever appended after the last one (the options came with library version
// 1.1, the functions after Reconnects with 1.2, those after
// ReadWriteMultiHoldRegs with 1.3). So a host built against an older header
// works unchanged with a newer library, while a host built against this
// header needs the library of its newest function or later; Version() tells
// which library was loaded.
#ifndef TCPMODBUS_TCPMODBUSINTF_H_
#define TCPMODBUS_TCPMODBUSINTF_H_

#include <cstddef>
#include <string>

#include "tcpmodbus/export.h"
#include "tcpmodbus/tcpmodbus.h"

class TCPMODBUS_EXPORT TCPModbusIntf {
 public:
  TCPModbusIntf();
  TCPModbusIntf(const TCPModbusIntf& other);
  TCPModbusIntf& operator=(const TCPModbusIntf& other);
  virtual ~TCPModbusIntf();

  // Opens and binds a TCP socket on LocalIpAddr:LocalPort (an empty address
  // means this machine's host name) and connects it to ServerIPAddr:502.
  // May be called again at any time; it closes the old connection first.
  virtual int Initialize(unsigned short ModuleId, std::string LocalIpAddr,
                         unsigned short LocalPort, std::string ServerIPAddr);
  virtual void Close();
  // The reason for the last failed protocol operation; empty until the first
  // failure, never cleared by a success. Lives as long as the object.
  virtual const char* LastErrorString();

  virtual int WriteSingleHoldReg(unsigned short regAddr,
                                 unsigned short& regValue);
  // At most 124 registers fit one request.
  virtual int WriteMultiHoldRegs(unsigned short startAddr,
                                 unsigned short* regValues,
                                 unsigned short regCount);
  // regValues must hold regCount entries; it is written only on success.
  virtual int ReadHoldRegs(unsigned short startAddr, unsigned short* regValues,
                           unsigned short regCount);
  virtual int ReadInputRegs(unsigned short startAddr, unsigned short* regValues,
                            unsigned short regCount);

  // Connection options (library 1.1). Each is off, and the object behaves
  // exactly as without it, until the host sets it; each is kept across
  // Initialize and Close. The setters return 1, or 0 for a refused value.

  // Longest wait of connect() in Initialize, in milliseconds; 0 (the
  // default) waits as long as the system allows. On expiry Initialize fails
  // with the platform's time-out number ("connect Error(110)" on Linux,
  // 10060 on Windows) and closes the socket.
  virtual int SetConnectTimeout(unsigned int milliseconds);
  // Longest wait for the first byte of an answer, in milliseconds; it also
  // bounds the wait for the rest. 0 (the default) waits without limit. On
  // expiry the operation fails ("No response from DIO Module N within T
  // ms") and the connection is closed, so a late answer can never be taken
  // for a later request's; later operations report not connected unless
  // recovery is on.
  virtual int SetResponseTimeout(unsigned int milliseconds);
  // Off by default. When on, an operation that finds the connection lost
  // through a failure (time-out, closed or reset by the module, failed send,
  // or a failed Initialize; never after Close) first runs the open, bind and
  // connect of the last Initialize again, with its trace lines, then its
  // exchange. A request is never sent twice: the operation that meets the
  // failure reports it, and the next one reconnects.
  virtual int SetRecovery(bool enabled);
  // The module's TCP port, 502 by default; from the next Initialize on. 0 is
  // refused.
  virtual int SetServerPort(unsigned short port);
  // The unit identifier of every request, 1 by default (gateways route by it);
  // from the next request on.
  virtual int SetUnitId(unsigned char unitId);
  // How many times recovery has reconnected since the last Initialize.
  virtual unsigned int Reconnects();

  // Library 1.2.

  // Off by default. When on, each request carries a transaction identifier
  // (one counter for the object's life, across its connections: 1 first,
  // then rising; 0 is never used) and an answer counts only if its
  // identifier, unit identifier and function code are the request's. The
  // late answer of a request that got none and an exact copy of an answer
  // taken before are dropped, each traced, and the wait goes on, bounded
  // even without a response time-out; any other identifier fails at once
  // (ErrorWrongAnswer). A time-out then leaves the connection open, so that
  // a late answer is recognised when it comes; a second one in a row closes
  // it, and turning identifiers off while a late answer may come renews it
  // first. Off, requests carry identifier 0 and nothing can tell answers
  // apart. Devices that do not echo the identifier need it off.
  virtual int SetTransactionIds(bool enabled);

  // Receives the trace of one object: each trace point's text whole (one or
  // more complete lines, each ending in "\n"; NUL-terminated after `length`
  // characters as a courtesy), called on the caller's thread, synchronously,
  // with no lock of the library held. Concatenated, the texts are byte for
  // byte what standard output would have received. A sink must not throw:
  // the library catches what one lets out, and that text is lost.
  typedef void (*TraceSink)(void* context, const char* text,
                            std::size_t length);
  // Sends this object's trace to `sink` with `context`; a null sink turns
  // the trace off (then nothing is formatted for it), and TraceToStdout
  // restores the default. Kept across Initialize and Close. Returns 1. A
  // sink may call other objects; a call it makes on its own object that
  // would change it (an operation, Initialize, Close, a setter) is refused:
  // it fails (Close does nothing) with "<name>: Called from this object's
  // own trace sink; refused" in LastErrorString while the sink runs, and the
  // operation in progress keeps its own message.
  virtual int SetTraceSink(TraceSink sink, void* context);
  // The default sink: `text` to standard output in one stdio call.
  static void TraceToStdout(void* context, const char* text,
                            std::size_t length);

  // What a host can branch on when an operation failed, beside the text:
  // the kind of the last failure: the TCPMODBUS_ERROR_* constants of
  // tcpmodbus.h, where each is described. Every failure sets it, also those that leave
  // LastErrorString as it is (an operation while not connected, an open or
  // bind failure in Initialize, a refused option value); a success leaves
  // it. ErrorNone until the first failure.
  enum ErrorCode {
    ErrorNone = TCPMODBUS_ERROR_NONE,
    ErrorNotConnected = TCPMODBUS_ERROR_NOT_CONNECTED,
    ErrorInvalidArgument = TCPMODBUS_ERROR_INVALID_ARGUMENT,
    ErrorOpen = TCPMODBUS_ERROR_OPEN,
    ErrorConnect = TCPMODBUS_ERROR_CONNECT,
    ErrorTimeout = TCPMODBUS_ERROR_TIMEOUT,
    ErrorClosed = TCPMODBUS_ERROR_CLOSED,
    ErrorSend = TCPMODBUS_ERROR_SEND,
    ErrorReceive = TCPMODBUS_ERROR_RECEIVE,
    ErrorTooShort = TCPMODBUS_ERROR_TOO_SHORT,
    ErrorWrongSize = TCPMODBUS_ERROR_WRONG_SIZE,
    ErrorWrongAnswer = TCPMODBUS_ERROR_WRONG_ANSWER,
    ErrorModbusException = TCPMODBUS_ERROR_MODBUS_EXCEPTION,
    ErrorNoMemory = TCPMODBUS_ERROR_NO_MEMORY,
    ErrorReentered = TCPMODBUS_ERROR_REENTERED,
    ErrorInternal = TCPMODBUS_ERROR_INTERNAL,
    ErrorCancelled = TCPMODBUS_ERROR_CANCELLED,
  };
  virtual int LastErrorCode();
  // The Modbus exception code of the last failure, 0 if it was none.
  virtual int LastExceptionCode();
  // The operating system's error number of the last failure (errno, or
  // Windows Sockets' number), 0 if it had none.
  virtual int LastSystemError();
  // A stable identifier of a code, such as "TIMEOUT"; "UNKNOWN" for a code
  // it does not know; never null.
  static const char* ErrorName(int code);

  // Digital points and register bits. Bits travel one a byte in the host's
  // arrays: reads give 0 or 1, writes take any non-zero byte as on. A
  // quantity outside the protocol's limits is refused before anything is
  // sent (ErrorInvalidArgument). The answers are judged strictly: a function
  // code, byte count or echo that is not the request's fails
  // (ErrorWrongAnswer), and values come only from an accepted answer.

  // Coils (function code 1) and discrete inputs (2): 1 to 2000 bits into
  // `bits`, which must hold `count` entries and is written only on success.
  virtual int ReadCoils(unsigned short startAddr, unsigned char* bits,
                        unsigned short count);
  virtual int ReadDiscreteInputs(unsigned short startAddr, unsigned char* bits,
                                 unsigned short count);
  // One coil (code 5) on or off; 1 to 1968 coils from `bits` (code 15).
  virtual int WriteSingleCoil(unsigned short addr, bool on);
  virtual int WriteMultiCoils(unsigned short startAddr,
                              const unsigned char* bits, unsigned short count);
  // The register becomes (value AND andMask) OR (orMask AND NOT andMask)
  // in the module, without a read-modify-write race with other masters
  // (code 22).
  virtual int MaskWriteHoldReg(unsigned short addr, unsigned short andMask,
                               unsigned short orMask);
  // Writes 1 to 121 registers, then reads 1 to 125, in one transaction
  // (code 23); `readValues` is written only on success.
  virtual int ReadWriteMultiHoldRegs(unsigned short readAddr,
                                     unsigned short* readValues,
                                     unsigned short readCount,
                                     unsigned short writeAddr,
                                     const unsigned short* writeValues,
                                     unsigned short writeCount);

  // Library 1.3.

  // A text that describes the last failure of any call on this object;
  // empty until the first failure, never cleared by a success. Where
  // LastErrorString is left as it was (an operation while not connected,
  // an open or bind failure in Initialize, a refused value), this one still
  // says what happened; elsewhere the two are the same. Lives as long as
  // the object.
  virtual const char* LastFailureText();

  // Several requests in flight (tcpmodbus.h has the rules). Up to `depth`
  // requests of a batch before the first answer, 1 (the default) to
  // TCPMODBUS_MAX_IN_FLIGHT; more than 1 needs transaction identifiers.
  virtual int SetMaxInFlight(unsigned int depth);
  // Reads each of `count` reads: 1 when all were read, else 0, each read
  // telling how it ended. The base class runs them one at a time through
  // the read operations of the object.
  virtual int ReadBatch(tcpmodbus_read* reads, unsigned int count);
  // How many times a batch stepped down to one request in flight since the
  // last Initialize.
  virtual unsigned int StepDowns();

  // Host names and IPv6 (library 1.3).

  // Off by default. When on, the server address text of Initialize may be a
  // host name or an IPv6 address besides dotted IPv4: every address the
  // system's look-up gives is tried in its order, within one connect
  // time-out for all of them (each waits at most an equal share of what is
  // left). The local address text may then be empty (the wildcard address
  // of the server's family), an IPv6 address or a host name. Off, a server
  // text that is not dotted IPv4 fails the connect with the platform's
  // invalid-argument number, and LastFailureText says why. Kept across
  // Initialize and Close; from the next Initialize on. Returns 1.
  virtual int SetNameLookup(bool enabled);

  // Cancel (library 1.3). Ends the wait of the call in progress, from any
  // other thread, within about 20 ms: the call fails with ErrorCancelled.
  // When a request was on its way the connection is closed (its answer
  // could still come); when nothing was sent it is kept. A call begun after
  // it returned is not affected. The one member that may overlap another
  // call on the same object. Returns 1.
  virtual int Cancel();

  // Device identification and raw requests (library 1.3).

  // Read Device Identification (function code 43, MEI type 14): the
  // objects of a category, or one object, as
  // tcpmodbus_read_device_identification describes (`code` one of the
  // TCPMODBUS_IDENT_* constants), into `records` of `size` bytes: each
  // object's id, its length and its bytes. The base class reads nothing and
  // returns 0.
  virtual int ReadDeviceIdentification(int code, unsigned char objectId,
                                       unsigned char* records, std::size_t size,
                                       std::size_t* length, int* conformity);
  // Sends a request of any function code (1 to 127) with `length` data
  // bytes and gives its answer's PDU, function code first, as
  // tcpmodbus_request describes. The base class sends nothing and returns 0.
  virtual int RawRequest(unsigned char functionCode, const unsigned char* data,
                         std::size_t length, unsigned char* answer,
                         std::size_t size, std::size_t* answerLength);

  // A new, independent object on every call; the caller deletes it.
  static TCPModbusIntf* GetInstance();
  // The library's version, "major.minor.patch".
  static const char* Version();
};

#endif  // TCPMODBUS_TCPMODBUSINTF_H_
