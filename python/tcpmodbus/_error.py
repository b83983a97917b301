"""The exception of a failed operation."""

from __future__ import annotations


class TcpModbusError(Exception):
    """An operation of a Module failed; ``text`` is why, as the library says.

    ``text`` is the library's LastErrorString right after the failure: the
    reason for the last failed protocol operation, letter for letter (hosts
    may match on it). A call that fails before any exchange (a module not
    connected, or a local socket that could not be opened) leaves no text of
    its own; the library's trace tells why (by default DEBUG records of the
    logger "tcpmodbus"), and ``text`` is then the earlier failure's, or
    empty.
    """

    def __init__(self, operation: str, text: str) -> None:
        super().__init__(text or f"{operation} failed (see the library's trace)")
        #: The Module method that failed, e.g. "read_holding".
        self.operation = operation
        #: The library's LastErrorString.
        self.text = text
