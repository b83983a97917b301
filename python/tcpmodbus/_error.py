"""The exceptions of failed operations, one class for each kind of failure
a program may want to handle on its own; the kind is the library's error
code, never the text."""

from __future__ import annotations

import enum
from typing import Dict, Type

from ._library import error_name


class ErrorCode(enum.IntEnum):
    """The library's error codes: TCPMODBUS_ERROR_* of tcpmodbus.h, with the
    names tcpmodbus_error_name gives them."""

    NONE = 0
    NOT_CONNECTED = 1
    INVALID_ARGUMENT = 2
    OPEN = 3
    CONNECT = 4
    TIMEOUT = 5
    CLOSED = 6
    SEND = 7
    RECEIVE = 8
    TOO_SHORT = 9
    WRONG_SIZE = 10
    WRONG_ANSWER = 11
    MODBUS_EXCEPTION = 12
    NO_MEMORY = 13
    REENTERED = 14
    INTERNAL = 15


class TcpModbusError(Exception):
    """An operation of a Module failed. The subclasses tell the kinds a
    program handles on its own; this class itself is raised for the rest
    (the connection closed or reset by the module, another socket failure,
    no memory, a call from the Module's own trace callable).

    str(error) says why, for this failure: the library's text where the
    library wrote one for it, else a message of this package's (see
    docs/python.md).
    """

    def __init__(
        self,
        operation: str,
        text: str,
        *,
        code: int = ErrorCode.NONE,
        exception_code: int = 0,
        system_error: int = 0,
        message: str = "",
    ) -> None:
        super().__init__(message or text or f"{operation} failed")
        #: The Module method that failed, e.g. "read_holding".
        self.operation = operation
        #: The library's LastErrorString when the library wrote one for this
        #: failure, letter for letter (hosts may match on it); otherwise this
        #: package's message, as str(error).
        self.text = text
        #: The library's error code: an ErrorCode, or an int for a code a
        #: later library added.
        self.code = _known(code)
        #: Its stable name, e.g. "TIMEOUT" (the library's error_name).
        self.code_name = error_name(code)
        #: The Modbus exception code of an exception answer, else 0.
        self.exception_code = exception_code
        #: The operating system's error number (errno; Windows Sockets' on
        #: Windows), 0 if the failure had none.
        self.system_error = system_error


class ModbusExceptionError(TcpModbusError):
    """The module answered with a Modbus exception (exception_code says
    which: 2, an address it does not have; 3, a value it refuses; ...)."""


class ModbusTimeoutError(TcpModbusError, TimeoutError):
    """No answer within the response time-out."""


class NotConnectedError(TcpModbusError, ConnectionError):
    """The Module is not connected: never initialized, closed, or the
    connection was lost and is not (or could not be) renewed."""


class ConnectFailedError(TcpModbusError, ConnectionError):
    """initialize() could not open and bind its socket, or the connect
    failed: refused, unreachable, or the connect time-out."""


class InvalidArgumentError(TcpModbusError, ValueError):
    """A value refused before anything was sent: by this package (a number
    that does not fit, a count outside the protocol's limits) or by the
    library."""


class WrongAnswerError(TcpModbusError):
    """An answer that is not this request's: another function code,
    identifier, unit, byte count or echo (WRONG_ANSWER), or an answer of
    the wrong size (WRONG_SIZE, TOO_SHORT)."""


def _known(code: int) -> int:
    try:
        return ErrorCode(code)
    except ValueError:
        return code


_CLASS_OF_CODE: Dict[int, Type[TcpModbusError]] = {
    ErrorCode.MODBUS_EXCEPTION: ModbusExceptionError,
    ErrorCode.TIMEOUT: ModbusTimeoutError,
    ErrorCode.NOT_CONNECTED: NotConnectedError,
    ErrorCode.CONNECT: ConnectFailedError,
    ErrorCode.OPEN: ConnectFailedError,
    ErrorCode.INVALID_ARGUMENT: InvalidArgumentError,
    ErrorCode.WRONG_ANSWER: WrongAnswerError,
    ErrorCode.WRONG_SIZE: WrongAnswerError,
    ErrorCode.TOO_SHORT: WrongAnswerError,
}


def error_of_code(code: int) -> Type[TcpModbusError]:
    """The exception class of a library error code; TcpModbusError for the
    codes no subclass is for, and for codes a later library may add."""
    return _CLASS_OF_CODE.get(code, TcpModbusError)


def invalid_argument(operation: str, message: str) -> InvalidArgumentError:
    """The exception of a value this package refuses before any call."""
    return InvalidArgumentError(
        operation, message, code=ErrorCode.INVALID_ARGUMENT, message=message
    )
