"""Module: one connection to a remote I/O module, over the C interface."""

from __future__ import annotations

import ctypes
import enum
import operator
import threading
import weakref
from typing import Any, Callable, Iterable, List, Optional, Union

from ._error import TcpModbusError
from ._library import LIBRARY
from ._trace import TraceRoute, TraceTarget

_USHORT_MAX = 0xFFFF
_UINT_MAX = 0xFFFFFFFF
_UCHAR_MAX = 0xFF

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


def _number(name: str, value: Any, largest: int) -> int:
    """value as an int that fits its C type (0 to largest): ctypes would
    silently cut a larger one."""
    number = operator.index(value)
    if not 0 <= number <= largest:
        raise ValueError(f"{name} must be 0 to {largest}, not {number}")
    return number


def _text(name: str, value: str) -> bytes:
    if "\0" in value:
        raise ValueError(f"{name} must not contain NUL")
    return value.encode("utf-8")


def _registers(count: int) -> "ctypes.Array[ctypes.c_ushort]":
    return (ctypes.c_ushort * count)()


class Module:
    """One connection to a remote I/O module: the library's object behind a
    handle of its C interface.

    The options are keyword arguments here and of configure(). This
    package's defaults bound every wait (3000 ms to connect and to answer)
    and turn recovery and transaction identifiers on, where the library's
    own wait without limit, do not reconnect and send identifier 0; 0 for a
    time-out means no limit, as in the library.
    Options are kept across initialize() and close().

    Operations return their result or None, and raise TcpModbusError with
    the library's LastErrorString when the library reports failure; values
    that do not fit the C types raise ValueError (or TypeError) before any
    call. The library's trace goes to the logger "tcpmodbus" by default
    (see configure()).

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
        self._release = weakref.finalize(self, _destroy, handle, self._trace.c_sink)
        self.configure(
            connect_timeout=connect_timeout,
            response_timeout=response_timeout,
            recovery=recovery,
            server_port=server_port,
            unit_id=unit_id,
            transaction_ids=transaction_ids,
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
            initialize() on; the library refuses 0 (ValueError).
        unit_id: the unit identifier of every request (1 by default).
        transaction_ids: when true (the default), each request carries its
            own transaction identifier and only the answer with it counts;
            late answers and copies are dropped, and a time-out leaves the
            connection open (a second in a row closes it). A gateway that
            does not echo identifiers needs False.
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
            ("connect_timeout", connect_timeout, _UINT_MAX),
            ("response_timeout", response_timeout, _UINT_MAX),
            ("recovery", recovery, 1),
            ("server_port", server_port, _USHORT_MAX),
            ("unit_id", unit_id, _UCHAR_MAX),
            ("transaction_ids", transaction_ids, 1),
        )
        for name, value, largest in settings:
            if value is None:
                continue
            number = _number(name, value, largest)
            setter = getattr(LIBRARY, f"tcpmodbus_set_{name}")
            with self._lock:
                accepted = setter(self._handle, number)
            if not accepted:
                raise ValueError(f"{name} {number} refused by the library")
        if not isinstance(trace, _Keep):
            with self._lock:
                accepted = self._trace.choose(self._handle, trace)
            if not accepted:
                raise ValueError("trace refused by the library")

    def initialize(self, module_id: int, local_ip: str, local_port: int, server_ip: str) -> None:
        """Binds a TCP socket to local_ip:local_port and connects it to the
        module at server_ip (dotted IPv4) on its port: TCPModbusIntf's
        Initialize. An empty local_ip means the first address of this
        machine's host name; local_port 0 lets the system choose. module_id
        names the module in messages only. May be called again at any time:
        it closes the old connection first."""
        self._call(
            "initialize",
            LIBRARY.tcpmodbus_initialize,
            _number("module_id", module_id, _USHORT_MAX),
            _text("local_ip", local_ip),
            _number("local_port", local_port, _USHORT_MAX),
            _text("server_ip", server_ip),
        )

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
            _number("address", address, _USHORT_MAX),
            _number("value", value, _USHORT_MAX),
        )

    def write_many(self, address: int, values: Iterable[int]) -> None:
        """Writes holding registers from address on, one per value (function
        code 16). The library refuses more than 124 in one request."""
        numbers = [_number("value", value, _USHORT_MAX) for value in values]
        count = _number("len(values)", len(numbers), _USHORT_MAX)
        buffer = (ctypes.c_ushort * count)(*numbers)
        self._call(
            "write_many",
            LIBRARY.tcpmodbus_write_multi_hold_regs,
            _number("address", address, _USHORT_MAX),
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
            return self._last_error_unlocked()

    def __enter__(self) -> "Module":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def _read(
        self, operation: str, function: Callable[..., int], address: int, count: int
    ) -> List[int]:
        buffer = _registers(_number("count", count, _USHORT_MAX))
        self._call(operation, function, _number("address", address, _USHORT_MAX), buffer, count)
        return list(buffer)

    def _call(self, operation: str, function: Callable[..., int], *arguments: Any) -> None:
        with self._lock:
            self._trace.before_operation(self._handle)
            if function(self._handle, *arguments):
                return
            text = self._last_error_unlocked()
        raise TcpModbusError(operation, text)

    def _last_error_unlocked(self) -> str:
        return str(LIBRARY.tcpmodbus_last_error(self._handle).decode("utf-8", "replace"))
