"""Typed reads and writes of one value (library 1.3), a base class of
Module: a read of one request of the registers the type takes (function
code 3 or 4), a write of one request (function code 16, or 6 for u16 and
i16), so that a value of several registers is never torn. Types and orders
are named as for tcpmodbus.encode and tcpmodbus.decode."""

from __future__ import annotations

from typing import Any, Callable, Dict, Tuple, overload

from ._codec import (
    FloatType,
    Format,
    IntegerType,
    Result,
    Value,
    c_value,
    parse_format,
    parse_table,
)
from ._library import LIBRARY
from ._operations import Operations
from ._values import USHORT_MAX, number

# kind: the C function of a read and its arguments (table, address, format)
# before the out-arguments.
_READERS: Dict[str, Callable[[int, int, Format], Tuple[Any, ...]]] = {
    "signed": lambda table, address, fmt: (
        LIBRARY.tcpmodbus_read_signed, table, address, fmt.type, fmt.order
    ),
    "unsigned": lambda table, address, fmt: (
        LIBRARY.tcpmodbus_read_unsigned, table, address, fmt.type, fmt.order
    ),
    "f32": lambda table, address, fmt: (LIBRARY.tcpmodbus_read_f32, table, address, fmt.order),
    "f64": lambda table, address, fmt: (LIBRARY.tcpmodbus_read_f64, table, address, fmt.order),
    "string": lambda table, address, fmt: (
        LIBRARY.tcpmodbus_read_string, table, address, fmt.order, fmt.registers
    ),
}

# kind: the C function of a write and its arguments (address, format) before
# the value.
_WRITERS: Dict[str, Callable[[int, Format], Tuple[Any, ...]]] = {
    "signed": lambda address, fmt: (LIBRARY.tcpmodbus_write_signed, address, fmt.type, fmt.order),
    "unsigned": lambda address, fmt: (
        LIBRARY.tcpmodbus_write_unsigned, address, fmt.type, fmt.order
    ),
    "f32": lambda address, fmt: (LIBRARY.tcpmodbus_write_f32, address, fmt.order),
    "f64": lambda address, fmt: (LIBRARY.tcpmodbus_write_f64, address, fmt.order),
    "string": lambda address, fmt: (
        LIBRARY.tcpmodbus_write_string, address, fmt.order, fmt.registers
    ),
}


class TypedValueOperations(Operations):
    """read_value and write_value."""

    @overload
    def read_value(self, table: str, address: int, type: IntegerType, order: str = ...) -> int:
        ...

    @overload
    def read_value(self, table: str, address: int, type: FloatType, order: str = ...) -> float:
        ...

    @overload
    def read_value(self, table: str, address: int, type: str, order: str = ...) -> Value:
        ...

    def read_value(self, table: str, address: int, type: str, order: str = "ABCD") -> Value:
        """Reads one value of type in order from address of table,
        "holding" or "input": an int, a float or a str (trailing NUL and
        blanks trimmed)."""
        operation = "read_value"
        fmt = parse_format(operation, type, order)
        where = parse_table(operation, table)
        start = number(operation, "address", address, USHORT_MAX)
        result = Result(fmt)
        function, *arguments = _READERS[fmt.kind](where, start, fmt)
        self._call(operation, function, *arguments, *result.arguments)
        return result.value()

    def write_value(self, address: int, value: Value, type: str, order: str = "ABCD") -> None:
        """Writes one value of type in order to holding registers from
        address on. An integer out of the type's range, a float f32 cannot
        hold or a text longer than its registers raises InvalidArgumentError,
        a value of another kind TypeError, before anything is sent."""
        operation = "write_value"
        fmt = parse_format(operation, type, order)
        argument = c_value(operation, fmt, value)
        start = number(operation, "address", address, USHORT_MAX)
        function, *arguments = _WRITERS[fmt.kind](start, fmt)
        self._call(operation, function, *arguments, argument)
