"""Module: one connection to a remote I/O module, over the C interface."""

from __future__ import annotations

import ctypes
import enum
import threading
import weakref
from typing import Any, Callable, Iterable, List, Optional, Union

from ._batch import BatchOperations
from ._error import ErrorCode, error_of_code, library_failure
from ._identify import IdentificationOperations
from ._interrupt import CTRL_C, Interrupt
from ._library import LIBRARY, constant, failure_text, last_error
from ._mapping import MapOperations
from ._points import PointOperations
from ._trace import TraceRoute, TraceTarget
from ._typed import TypedValueOperations
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
# The library's own, taken from it so that the constructor's signature shows
# every value.
DEFAULT_SERVER_PORT = constant("DEFAULT_SERVER_PORT")
DEFAULT_UNIT_ID = constant("DEFAULT_UNIT_ID")


class _Keep(enum.Enum):
    """configure()'s default for trace, where None already means off."""

    TRACE = "as it is"


class _Owned:
    """The library's object behind one Module, the lock every call on it
    holds, and the rule of its end: it is never destroyed under a running
    call."""

    #: Objects a call was running on at interpreter exit: left to the
    #: process's exit, each with the trace sink it may still call.
    LEFT_TO_EXIT: List["_Owned"] = []

    def __init__(self, handle: int, c_sink: object) -> None:
        self.handle = handle
        # Reentrant: a trace callable that calls its Module back must reach
        # the library, which refuses the call, rather than wait for itself.
        self.lock = threading.RLock()
        #: Library calls running on the handle, counted under the lock.
        self.calls = 0
        #: Held by cancel(), which must not wait for the lock of the call it
        #: ends, and by destroy(), so that no cancel reaches a freed object.
        self.cancel_lock = threading.Lock()
        self._c_sink = c_sink  # the object may call it until it is destroyed

    def destroy(self) -> None:
        """The finalizer's work, when the Module is collected or at
        interpreter exit. There a daemon thread may be inside a call on the
        object, the lock held and the GIL released: the object is then left
        to the process's exit, for waiting could block the exit for good (a
        call may never return)."""
        if self.lock.acquire(blocking=False):
            try:
                if self.calls == 0 and self.cancel_lock.acquire(blocking=False):
                    try:
                        handle, self.handle = self.handle, 0
                        LIBRARY.tcpmodbus_destroy(handle)
                        return
                    finally:
                        self.cancel_lock.release()
            finally:
                self.lock.release()
        _Owned.LEFT_TO_EXIT.append(self)


class Module(
    PointOperations,
    TypedValueOperations,
    BatchOperations,
    MapOperations,
    IdentificationOperations,
):
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
    library's object is released when this one is collected, or at
    interpreter exit, but never under a running call: one that a daemon
    thread is inside at exit is left to the process's exit.
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
        max_in_flight: int = 1,
        name_lookup: bool = DEFAULT_NAME_LOOKUP,
        trace: TraceTarget = "logging",
    ) -> None:
        """A new object, not connected, with every option set: the values
        given, this package's defaults for the rest (see configure())."""
        handle = LIBRARY.tcpmodbus_create()
        if not handle:
            raise MemoryError("tcpmodbus_create: no memory for a module object")
        # A KeyboardInterrupt that came during a trace in Python.
        self._interrupt = Interrupt()
        self._trace = TraceRoute(self._interrupt)
        self._owned = _Owned(handle, self._trace.c_sink)
        self._lock = self._owned.lock
        self._name_lookup = False
        self._release = weakref.finalize(self, self._owned.destroy)
        self.configure(
            connect_timeout=connect_timeout,
            response_timeout=response_timeout,
            recovery=recovery,
            server_port=server_port,
            unit_id=unit_id,
            transaction_ids=transaction_ids,
            max_in_flight=max_in_flight,
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
        max_in_flight: Optional[int] = None,
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
        max_in_flight: requests of a read_batch() on the wire before the
            first answer, 1 (the default: one at a time) to the library's
            MAX_IN_FLIGHT; above 1 needs transaction identifiers.
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
            raises goes to sys.unraisablehook, and the operation goes on,
            but a KeyboardInterrupt or SystemExit (also one that came
            while the library called a trace in Python) is raised when the
            library call returns.
            None: no trace at all.
        """
        settings = (
            ("connect_timeout", connect_timeout, UINT_MAX),
            ("response_timeout", response_timeout, UINT_MAX),
            ("recovery", recovery, 1),
            ("server_port", server_port, USHORT_MAX),
            ("unit_id", unit_id, UCHAR_MAX),
            ("transaction_ids", transaction_ids, 1),
            ("max_in_flight", max_in_flight, UINT_MAX),
            ("name_lookup", name_lookup, 1),
        )
        for name, value, largest in settings:
            if value is None:
                continue
            setting = number("configure", name, value, largest)
            setter = getattr(LIBRARY, f"tcpmodbus_set_{name}")
            with self._lock:
                if not setter(self._handle, setting):
                    raise library_failure(self._handle, "configure")
                if name == "name_lookup":  # what initialize() binds by default
                    self._name_lookup = bool(setting)
        if not isinstance(trace, _Keep):
            with self._lock:
                if not self._trace.choose(self._handle, trace):
                    raise library_failure(self._handle, "configure")

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
        lookup the same, without it this machine's host name. local_port 0
        lets the system choose. module_id names the module in messages only. server_ip is needed, e.g.
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
        self._call(operation, LIBRARY.tcpmodbus_initialize, *arguments)

    def close(self) -> None:
        """Closes the connection; the object stays usable with its options
        (initialize() connects again)."""
        with self._lock:
            LIBRARY.tcpmodbus_close(self._handle)

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

    def cancel(self) -> None:
        """Ends the wait of the call in progress on this object, from any
        other thread, within about 20 ms: it raises OperationCancelledError. A
        request already sent has its connection closed (its answer could
        still come; recovery renews it); otherwise the connection is kept.
        With no call in progress it does nothing. Ctrl-C does the same for
        a call on the main thread, which then raises KeyboardInterrupt."""
        with self._owned.cancel_lock:  # not the call's lock: it holds that
            if self._handle:
                LIBRARY.tcpmodbus_cancel(self._handle)

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

    @property
    def last_failure(self) -> str:
        """The library's LastFailureText: why the last call on the object
        failed, whatever it was; empty until the first failure."""
        with self._lock:
            return failure_text(self._handle)

    @property
    def _handle(self) -> int:
        """The library's object; 0 once destroyed at interpreter exit, which
        the C interface takes as no object (every call fails)."""
        return self._owned.handle

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
            if not self._handle:  # a daemon thread's call after interpreter exit began
                message = f"{operation}: not connected (the module was released at interpreter exit)"  # noqa: E501
                code = ErrorCode.NOT_CONNECTED
                raise error_of_code(code)(operation, message, code=code)
            self._trace.before_operation(self._handle)
            self._owned.calls += 1
            try:
                with self._interrupt.catching(self._trace.in_python), CTRL_C.cancelling(
                    self._handle
                ):
                    succeeded = function(self._handle, *arguments)
            finally:
                self._owned.calls -= 1
            self._interrupt.raise_kept()  # wins over the operation's own result
            if not succeeded:
                raise library_failure(self._handle, operation)
