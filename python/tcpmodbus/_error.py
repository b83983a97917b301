"""The exceptions of failed operations, one class for each kind of failure
a program may want to handle on its own; the kind is the library's error
code, never the text."""

from __future__ import annotations

import enum
from typing import Any, Dict, List, Optional, Type

from ._library import LIBRARY, error_codes, error_name, failure_text


#: The library's error codes (TCPMODBUS_ERROR_* of tcpmodbus.h), by the
#: names tcpmodbus_error_name gives them, as the loaded library has them:
#: ErrorCode.TIMEOUT, ErrorCode(5).name == "TIMEOUT". Made at import, so
#: its members are the library's; a type checker sees it as Any.
ErrorCode: Any = getattr(enum, "IntEnum")("ErrorCode", error_codes())


class TcpModbusError(Exception):
    """An operation of a Module failed. The subclasses tell the kinds a
    program handles on its own; this class itself is raised for the rest
    (the connection closed or reset by the module, another socket failure,
    no memory, a call from the Module's own trace callable).

    str(error) says why: the library's text of this failure (its
    LastFailureText), or this package's for a value it refused before any
    call.
    """

    def __init__(
        self,
        operation: str,
        text: str,
        *,
        code: int = 0,
        exception_code: int = 0,
        system_error: int = 0,
    ) -> None:
        super().__init__(text or f"{operation} failed")
        #: The Module method that failed, e.g. "read_holding".
        self.operation = operation
        #: The library's text of this failure (LastFailureText), letter for
        #: letter (hosts may match on it); this package's message for a value
        #: it refused before any call. Also str(error).
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
        #: read_batch's failure: each read's values, None for a failed one.
        self.results: Optional[List[Any]] = None


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


class OperationCancelledError(TcpModbusError):
    """Module.cancel() ended the call's wait (CANCELLED); a Ctrl-C ends it
    so too, and then raises KeyboardInterrupt instead."""


def _known(code: int) -> int:
    try:
        known: int = ErrorCode(code)
        return known
    except ValueError:
        return code


# The exception class of each kind of failure a program handles on its own,
# by the code's name; the other codes raise TcpModbusError itself.
_CLASS_OF_CODE: Dict[str, Type[TcpModbusError]] = {
    "MODBUS_EXCEPTION": ModbusExceptionError,
    "TIMEOUT": ModbusTimeoutError,
    "NOT_CONNECTED": NotConnectedError,
    "CONNECT": ConnectFailedError,
    "OPEN": ConnectFailedError,
    "INVALID_ARGUMENT": InvalidArgumentError,
    "WRONG_ANSWER": WrongAnswerError,
    "WRONG_SIZE": WrongAnswerError,
    "TOO_SHORT": WrongAnswerError,
    "CANCELLED": OperationCancelledError,
}


def error_of_code(code: int) -> Type[TcpModbusError]:
    """The exception class of a library error code; TcpModbusError for the
    codes no subclass is for, and for codes a later library may add."""
    return _CLASS_OF_CODE.get(error_name(code), TcpModbusError)


def library_failure(handle: int, operation: str) -> TcpModbusError:
    """The exception of the failure the library just recorded on the handle:
    its class by the code, its message the library's text."""
    code = int(LIBRARY.tcpmodbus_last_error_code(handle))
    text = failure_text(handle)
    return error_of_code(code)(
        operation,
        text,
        code=code,
        exception_code=int(LIBRARY.tcpmodbus_last_exception_code(handle)),
        system_error=int(LIBRARY.tcpmodbus_last_system_error(handle)),
    )


def invalid_argument(operation: str, message: str) -> InvalidArgumentError:
    """The exception of a value this package refuses before any call."""
    return InvalidArgumentError(operation, message, code=ErrorCode.INVALID_ARGUMENT)
