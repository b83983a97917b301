"""The operations on digital points and register bits (function codes 1,
2, 5, 15, 22 and 23), a base class of Module. Bits travel one a byte to
and from the library; here they are bools."""

from __future__ import annotations

import ctypes
from typing import Callable, Iterable, List, Sequence

from . import _values
from ._library import LIBRARY
from ._operations import Operations
from ._values import USHORT_MAX


class PointOperations(Operations):
    """Coils, discrete inputs, the mask write and the read/write of
    registers."""

    def read_coils(self, address: int, count: int) -> List[bool]:
        """Reads count coils (1 to 2000) from address (function code 1)."""
        return self._read_bits("read_coils", LIBRARY.tcpmodbus_read_coils, address, count)

    def read_discrete_inputs(self, address: int, count: int) -> List[bool]:
        """Reads count discrete inputs (1 to 2000) from address (function
        code 2)."""
        return self._read_bits(
            "read_discrete_inputs", LIBRARY.tcpmodbus_read_discrete_inputs, address, count
        )

    def write_coil(self, address: int, on: bool) -> None:
        """Turns one coil on or off (function code 5)."""
        self._call(
            "write_coil",
            LIBRARY.tcpmodbus_write_single_coil,
            _values.number("write_coil", "address", address, USHORT_MAX),
            1 if on else 0,
        )

    def write_coils(self, address: int, values: Sequence[bool]) -> None:
        """Sets coils from address on, one per value (1 to 1968; function
        code 15): on where a value is true."""
        bits = [1 if value else 0 for value in values]
        quantity = _values.number("write_coils", "len(values)", len(bits), USHORT_MAX)
        self._call(
            "write_coils",
            LIBRARY.tcpmodbus_write_multi_coils,
            _values.number("write_coils", "address", address, USHORT_MAX),
            (ctypes.c_ubyte * quantity)(*bits),
            quantity,
        )

    def mask_write(self, address: int, and_mask: int, or_mask: int) -> None:
        """Sets the holding register to (its value AND and_mask) OR (or_mask
        AND NOT and_mask) in the module, in one request (function code 22):
        bits change without a race with other masters."""
        self._call(
            "mask_write",
            LIBRARY.tcpmodbus_mask_write_hold_reg,
            _values.number("mask_write", "address", address, USHORT_MAX),
            _values.number("mask_write", "and_mask", and_mask, USHORT_MAX),
            _values.number("mask_write", "or_mask", or_mask, USHORT_MAX),
        )

    def read_write(
        self, read_address: int, read_count: int, write_address: int, values: Iterable[int]
    ) -> List[int]:
        """Writes holding registers from write_address on, one per value (1
        to 121), then reads read_count (1 to 125) from read_address, in one
        transaction (function code 23); returns the values read."""
        operation = "read_write"
        written = [_values.number(operation, "value", value, USHORT_MAX) for value in values]
        write_count = _values.number(operation, "len(values)", len(written), USHORT_MAX)
        quantity = _values.number(operation, "read_count", read_count, USHORT_MAX)
        read = (ctypes.c_ushort * quantity)()
        self._call(
            operation,
            LIBRARY.tcpmodbus_read_write_multi_hold_regs,
            _values.number(operation, "read_address", read_address, USHORT_MAX),
            read,
            quantity,
            _values.number(operation, "write_address", write_address, USHORT_MAX),
            (ctypes.c_ushort * write_count)(*written),
            write_count,
        )
        return list(read)

    def _read_bits(
        self, operation: str, function: Callable[..., int], address: int, quantity: int
    ) -> List[bool]:
        bits = (ctypes.c_ubyte * _values.number(operation, "count", quantity, USHORT_MAX))()
        start = _values.number(operation, "address", address, USHORT_MAX)
        self._call(operation, function, start, bits, len(bits))
        return [bit != 0 for bit in bits]
