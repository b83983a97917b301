"""Module: one connection to a remote I/O module, over the C interface."""

from __future__ import annotations

import ctypes
import enum
import threading
import weakref
from typing import Any, Callable, Iterable, List, Optional, Union

from ._error import ErrorCode, TcpModbusError, error_of_code
from ._failure import Connection, last_error, library_failure
from ._library import LIBRARY
from ._points import PointOperations
from ._trace import TraceRoute, TraceTarget
from ._values import UCHAR_MAX, UINT_MAX, USHORT_MAX, number, text

# The package's own defaults where they differ from the library's (which
# waits without limit and does not reconnect): a Python program expects a
# call to give up after a few seconds, as other Modbus packages do, and one
# slow answer must not leave every later call not connected; and each
# request carries its own transaction identifier, so that a late answer or a
# copy is never taken for a later request's. docs/python.md has the table.
DEFAULT_CONNECT_TIMEOUT_MS = 3000
DEFAULT_RESPONSE_TIMEOUT_MS = 3000
DEFAULT_RECOVERY = True
DEFAULT_TRANSACTION_IDS = True
# Server addresses as people write them: host names and IPv6, every address
# of a name tried in turn.
DEFAULT_NAME_LOOKUP = True
# The library's own, given here so that the constructor's signature shows
# every value.
DEFAULT_SERVER_PORT = 502
DEFAULT_UNIT_ID = 1


class _Keep(enum.Enum):
    """configure()'s default for trace, where None already means off."""

    TRACE = "as it is"


def _destroy(handle: int, c_sink: object) -> None:
    """Releases the library's object. c_sink is the trace sink that the
    object may call: passed here so that it lives until the object is gone."""
    del c_sink
    LIBRARY.tcpmodbus_destroy(handle)


class Module(PointOperations):
    """One connection to a remote I/O module: the library's object behind a
    handle of its C interface.

    The options are keyword arguments here and of configure(). This
    package's defaults bound every wait (3000 ms to connect and to answer)
    and turn recovery, transaction identifiers and name lookup on, where the
    library's own wait without limit, do not reconnect, send identifier 0
    and take dotted IPv4 only; 0 for a time-out means no limit, as in the
    library.
    Options are kept across initialize() and close().

    Operations return their result or None. A failure raises a subclass of
    TcpModbusError chosen by the library's error code (ModbusExceptionError,
    ModbusTimeoutError, NotConnectedError, ConnectFailedError,
    InvalidArgumentError, WrongAnswerError) or TcpModbusError itself; values
    that do not fit the C types, and counts outside the protocol's limits,
    raise InvalidArgumentError (a ValueError), or TypeError, before any call.
    The library's trace goes to the logger "tcpmodbus" by default (see
    configure()).

    One object may be used from several threads: its calls are taken one at
    a time. Separate objects share nothing, and ctypes releases the GIL
    during each call, so they run in parallel. A trace callable (or a
    logging handler) may use other objects; a call on its own object is
    refused by the library and raises TcpModbusError there.

    As a context manager the object closes its connection on exit. The
    library's object is released when this one is collected.
    """

    def __init__(
        self,
        *,
        connect_timeout: int = DEFAULT_CONNECT_TIMEOUT_MS,
        response_timeout: int = DEFAULT_RESPONSE_TIMEOUT_MS,
        recovery: bool = DEFAULT_RECOVERY,
        server_port: int = DEFAULT_SERVER_PORT,
        unit_id: int = DEFAULT_UNIT_ID,
        transaction_ids: bool = DEFAULT_TRANSACTION_IDS,
        name_lookup: bool = DEFAULT_NAME_LOOKUP,
        trace: TraceTarget = "logging",
    ) -> None:
        """A new object, not connected, with every option set: the values
        given, this package's defaults for the rest (see configure())."""
        handle = LIBRARY.tcpmodbus_create()
        if not handle:
            raise MemoryError("tcpmodbus_create: no memory for a module object")
        self._handle = handle
        # Reentrant: a trace callable that calls this object back must reach
        # the library, which refuses the call, rather than wait for itself.
        self._lock = threading.RLock()
        self._trace = TraceRoute()
        # What this object knows of its connection and its recovery option,
        # to tell why a call found it not connected.
        self._connection = Connection.NEVER
        self._recovery = False
        self._name_lookup = False
        self._local = ""
        self._release = weakref.finalize(self, _destroy, handle, self._trace.c_sink)
        self.configure(
            connect_timeout=connect_timeout,
            response_timeout=response_timeout,
            recovery=recovery,
            server_port=server_port,
            unit_id=unit_id,
            transaction_ids=transaction_ids,
            name_lookup=name_lookup,
            trace=trace,
        )

    def configure(
        self,
        *,
        connect_timeout: Optional[int] = None,
        response_timeout: Optional[int] = None,
        recovery: Optional[bool] = None,
        server_port: Optional[int] = None,
        unit_id: Optional[int] = None,
        transaction_ids: Optional[bool] = None,
        name_lookup: Optional[bool] = None,
        trace: Union[TraceTarget, _Keep] = _Keep.TRACE,
    ) -> None:
        """Sets the options given; None leaves one as it is, but for trace,
        where None turns the trace off: leaving trace out leaves it as it is.

        connect_timeout: longest wait of the connect in initialize(), in ms
            (3000 by default; 0: as long as the system allows).
        response_timeout: longest wait for an answer, in ms (3000 by
            default; 0: no limit); on expiry the operation fails and the
            connection is closed.
        recovery: when true (the default), an operation that finds the
            connection lost through a failure first reconnects as the last
            initialize() did.
        server_port: the module's TCP port (502 by default), from the next
            initialize() on; the library refuses 0 (InvalidArgumentError).
        unit_id: the unit identifier of every request (1 by default).
        transaction_ids: when true (the default), each request carries its
            own transaction identifier and only the answer with it counts;
            late answers and copies are dropped, and a time-out leaves the
            connection open (a second in a row closes it). A gateway that
            does not echo identifiers needs False.
        name_lookup: when true (the default), the server address of
            initialize() may be a host name or an IPv6 address besides
            dotted IPv4, every address of the system's look-up tried in its
            order within the connect time-out, and the local address may be
            left out (the wildcard address of the server's family), IPv6 or
            a name. False takes dotted IPv4 only, as the library does by
            default.
        trace: where the library's trace goes. "logging" (the default):
            to the logger "tcpmodbus", one DEBUG record per line; before
            each operation the C trace is turned on or off as that logger
            is enabled for DEBUG or not, so that a program without logging
            pays nothing for it. "stdout": the library's own trace on the
            process's standard output (C stdio, not sys.stdout). A
            callable: called with each line (str, without its newline) on
            the calling thread, during the operation; an exception it
            raises goes to sys.unraisablehook, and the operation goes on.
            None: no trace at all.
        """
        settings = (
            ("connect_timeout", connect_timeout, UINT_MAX),
            ("response_timeout", response_timeout, UINT_MAX),
            ("recovery", recovery, 1),
            ("server_port", server_port, USHORT_MAX),
            ("unit_id", unit_id, UCHAR_MAX),
            ("transaction_ids", transaction_ids, 1),
            ("name_lookup", name_lookup, 1),
        )
        for name, value, largest in settings:
            if value is None:
                continue
            setting = number("configure", name, value, largest)
            setter = getattr(LIBRARY, f"tcpmodbus_set_{name}")
            with self._lock:
                if not setter(self._handle, setting):
                    raise self._refused(f"{name} {setting}")
                if name == "recovery":
                    self._recovery = bool(setting)
                if name == "name_lookup":
                    self._name_lookup = bool(setting)
        if not isinstance(trace, _Keep):
            with self._lock:
                if not self._trace.choose(self._handle, trace):
                    raise self._refused("trace")

    def initialize(
        self,
        module_id: int,
        local_ip: Optional[str] = None,
        local_port: int = 0,
        server_ip: Optional[str] = None,
    ) -> None:
        """Binds a TCP socket to local_ip:local_port and connects it to the
        module at server_ip on its port: TCPModbusIntf's Initialize. With
        name lookup on (the default), server_ip may be a host name, IPv6 or
        dotted IPv4, and local_ip IPv6, a name or dotted IPv4; without it
        both are dotted IPv4. local_ip None (the default) binds any address:
        the wildcard address of the server's family (0.0.0.0 with name
        lookup off); "" means what it means to the library: with name
        lookup the same, without it this machine's host name. local_port 0 lets the system choose. module_id
        names the module in messages only. server_ip is needed, e.g.
        initialize(1, server_ip="plc-7"). May be called again at any time:
        it closes the old connection first."""
        operation = "initialize"
        if server_ip is None:
            raise TypeError("initialize() needs server_ip, the module's address")
        if local_ip is None:
            local_ip = "" if self._name_lookup else "0.0.0.0"
        arguments = (
            number(operation, "module_id", module_id, USHORT_MAX),
            text(operation, "local_ip", local_ip),
            number(operation, "local_port", local_port, USHORT_MAX),
            text(operation, "server_ip", server_ip),
        )
        with self._lock:
            anywhere = "*" if self._name_lookup else "<this host>"
            self._local = f"{local_ip or anywhere}:{local_port}"
            try:
                self._call(operation, LIBRARY.tcpmodbus_initialize, *arguments)
            except TcpModbusError:
                self._connection = Connection.FAILED
                raise

    def close(self) -> None:
        """Closes the connection; the object stays usable with its options
        (initialize() connects again)."""
        with self._lock:
            LIBRARY.tcpmodbus_close(self._handle)
            self._connection = Connection.CLOSED

    def read_holding(self, address: int, count: int) -> List[int]:
        """Reads count holding registers from address (function code 3)."""
        return self._read("read_holding", LIBRARY.tcpmodbus_read_hold_regs, address, count)

    def read_input(self, address: int, count: int) -> List[int]:
        """Reads count input registers from address (function code 4)."""
        return self._read("read_input", LIBRARY.tcpmodbus_read_input_regs, address, count)

    def write(self, address: int, value: int) -> None:
        """Writes one holding register (function code 6)."""
        self._call(
            "write",
            LIBRARY.tcpmodbus_write_single_hold_reg,
            number("write", "address", address, USHORT_MAX),
            number("write", "value", value, USHORT_MAX),
        )

    def write_many(self, address: int, values: Iterable[int]) -> None:
        """Writes holding registers from address on, one per value (function
        code 16). The library refuses more than 124 in one request."""
        numbers = [number("write_many", "value", value, USHORT_MAX) for value in values]
        count = number("write_many", "len(values)", len(numbers), USHORT_MAX)
        buffer = (ctypes.c_ushort * count)(*numbers)
        self._call(
            "write_many",
            LIBRARY.tcpmodbus_write_multi_hold_regs,
            number("write_many", "address", address, USHORT_MAX),
            buffer,
            count,
        )

    @property
    def reconnects(self) -> int:
        """How many times recovery has reconnected since initialize()."""
        with self._lock:
            return int(LIBRARY.tcpmodbus_reconnects(self._handle))

    @property
    def last_error(self) -> str:
        """The library's LastErrorString: why the last protocol operation
        failed; empty until the first failure, never cleared by a success."""
        with self._lock:
            return last_error(self._handle)

    def __enter__(self) -> "Module":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def _read(
        self, operation: str, function: Callable[..., int], address: int, count: int
    ) -> List[int]:
        buffer = (ctypes.c_ushort * number(operation, "count", count, USHORT_MAX))()
        start = number(operation, "address", address, USHORT_MAX)
        self._call(operation, function, start, buffer, len(buffer))
        return list(buffer)

    def _call(self, operation: str, function: Callable[..., int], *arguments: Any) -> None:
        with self._lock:
            self._trace.before_operation(self._handle)
            if function(self._handle, *arguments):
                self._connection = Connection.MADE  # by initialize() or a reconnect
                return
            raise library_failure(
                self._handle, operation, self._connection, self._recovery, self._local
            )

    def _refused(self, setting: str) -> TcpModbusError:
        """The exception of a setting the library refused, chosen by its
        code: a value it does not take (server port 0), for which it writes
        no text, or a call from this object's own trace callable."""
        code = int(LIBRARY.tcpmodbus_last_error_code(self._handle))
        message = f"configure: {setting} refused by the library"
        if code != ErrorCode.INVALID_ARGUMENT:
            message = last_error(self._handle)
        return error_of_code(code)("configure", message, code=code, message=message)
