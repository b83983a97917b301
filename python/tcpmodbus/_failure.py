"""The exception of an operation the library reported failed: its class by
the library's error code, its message the library's text where the library
wrote one for this failure, and where it did not the library's failure text
or this package's own (a call while not connected, a bind the system
refused).

The library leaves its text as it was for a call made while not connected
and for a socket that initialize() could not open or bind (its trace tells
why): the text then belongs to an earlier failure and would name a reason
that is not this one's."""

from __future__ import annotations

import ctypes
import enum
import errno
import os
import sys

from ._error import ErrorCode, TcpModbusError, error_of_code
from ._library import LIBRARY

# The platform's invalid-argument number, with which a connect fails when
# the server address is not one the library takes.
if sys.platform == "win32":
    _INVALID_ARGUMENT = errno.WSAEINVAL
else:
    _INVALID_ARGUMENT = errno.EINVAL


class Connection(enum.Enum):
    """What a Module knows of its connection, to say why it has none."""

    NEVER = "initialize() not called yet"
    FAILED = "the last initialize() failed"
    MADE = "connected by initialize() or a reconnect"
    CLOSED = "close() called"


def last_error(handle: int) -> str:
    """The library's LastErrorString."""
    return str(LIBRARY.tcpmodbus_last_error(handle).decode("utf-8", "replace"))


def failure_text(handle: int) -> str:
    """The library's LastFailureText: what the last failure was, also where
    LastErrorString is left as it was."""
    return str(LIBRARY.tcpmodbus_last_failure_text(handle).decode("utf-8", "replace"))


def library_failure(
    handle: int, operation: str, connection: Connection, recovery: bool, local: str
) -> TcpModbusError:
    """The exception for the failure the library just reported. connection
    is the Module's state before the call, recovery its option, local the
    address:port the last initialize() bound."""
    code = int(LIBRARY.tcpmodbus_last_error_code(handle))
    system_error = int(LIBRARY.tcpmodbus_last_system_error(handle))
    text = message = last_error(handle)
    if code == ErrorCode.NOT_CONNECTED:
        # With recovery on, a Module that was initialized tries to reconnect
        # first, and the library writes why that failed.
        if recovery and connection in (Connection.MADE, Connection.FAILED) and text:
            message = f"{operation}: not connected: reconnecting failed: {text}"
        else:
            text = message = _not_connected(operation, connection)
    elif code == ErrorCode.OPEN and operation == "initialize":
        text = message = _cannot_open(handle, local, system_error)
    elif code == ErrorCode.CONNECT and system_error == _INVALID_ARGUMENT:
        # A server address that is no address: the failure text says why.
        message = failure_text(handle)
    return error_of_code(code)(
        operation,
        text,
        code=code,
        exception_code=int(LIBRARY.tcpmodbus_last_exception_code(handle)),
        system_error=system_error,
        message=message,
    )


def _not_connected(operation: str, connection: Connection) -> str:
    if connection is Connection.NEVER:
        return f"{operation}: not connected (call initialize() first)"
    if connection is Connection.CLOSED:
        return f"{operation}: not connected (closed; call initialize() to connect again)"
    if connection is Connection.FAILED:
        return f"{operation}: not connected (the last initialize() failed, and recovery is off)"
    return f"{operation}: not connected (the connection was lost, and recovery is off; call initialize() to connect again)"  # noqa: E501


def _cannot_open(handle: int, local: str, system_error: int) -> str:
    if not system_error:
        # A local address refused before any system call: the library's
        # failure text tells which and why.
        return failure_text(handle)
    reason = _system_description(system_error)
    return f"initialize: cannot open and bind a TCP socket on {local}: {reason} ({system_error})"


def _system_description(number: int) -> str:
    """The operating system's description of its error number: errno on
    POSIX, Windows Sockets' numbers on Windows (which strerror does not
    know)."""
    if sys.platform == "win32":
        return str(ctypes.FormatError(number)).strip()
    return os.strerror(number)
