"""Batches of reads (library 1.3), a base class of Module: several reads in
one call, with up to max_in_flight requests on the wire before the first
answer when the Module is set so, each answer matched to its request by its
transaction identifier."""

from __future__ import annotations

import ctypes
from typing import Any, List, Sequence, Tuple, Union

from ._error import TcpModbusError, invalid_argument
from ._library import LIBRARY, constant
from ._operations import Operations
from ._values import USHORT_MAX, number

#: What one read of a batch gives: registers, or bits as bools.
Values = Union[List[int], List[bool]]

_REGISTERS = {name: constant(f"TABLE_{name.upper()}") for name in ("holding", "input")}
_BITS = {name: constant(f"TABLE_{name.upper()}") for name in ("coil", "discrete")}


class _Read(ctypes.Structure):
    """tcpmodbus_read of tcpmodbus.h."""

    _fields_ = [
        ("table", ctypes.c_int),
        ("address", ctypes.c_ushort),
        ("count", ctypes.c_ushort),
        ("registers", ctypes.POINTER(ctypes.c_ushort)),
        ("bits", ctypes.POINTER(ctypes.c_ubyte)),
        ("result", ctypes.c_int),
        ("error_code", ctypes.c_int),
        ("exception_code", ctypes.c_int),
    ]


def _prepare(operation: str, read: _Read, table: str, address: int, count: int) -> Any:
    """Fills in one read of the batch; returns the array its values go to."""
    quantity = number(operation, "count", count, USHORT_MAX)
    read.address = number(operation, "address", address, USHORT_MAX)
    read.count = quantity
    if table in _REGISTERS:
        registers = (ctypes.c_ushort * quantity)()
        read.table, read.registers = _REGISTERS[table], registers
        return registers
    if table in _BITS:
        bits = (ctypes.c_ubyte * quantity)()
        read.table, read.bits = _BITS[table], bits
        return bits
    if not isinstance(table, str):
        raise TypeError(f"{operation}: table must be a str, not {type(table).__name__}")
    raise invalid_argument(operation, f'{operation}: table must be "holding", "input", "coil" or "discrete", not {table!r}')  # noqa: E501


class BatchOperations(Operations):
    """read_batch and the count of step-downs."""

    _lock: Any

    def read_batch(self, reads: Sequence[Tuple[str, int, int]]) -> List[Values]:
        """Reads each (table, address, count), table "holding", "input",
        "coil" or "discrete", in one call; with max_in_flight above 1 up to
        that many requests are on the wire at once. Returns each read's
        values (ints for registers, bools for bits). When a read fails, the
        batch's last failure is raised, its .results the values of each
        read, None for a failed one."""
        operation = "read_batch"
        batch = (_Read * len(reads))()
        arrays = [_prepare(operation, read, *asked) for read, asked in zip(batch, reads)]

        def values(read: _Read, array: Any) -> Values:
            return list(array) if read.table in _REGISTERS.values() else [b != 0 for b in array]

        try:
            self._call(operation, LIBRARY.tcpmodbus_read_batch, ctypes.byref(batch), len(batch))
        except TcpModbusError as failure:
            failure.results = [
                values(read, array) if read.result else None for read, array in zip(batch, arrays)
            ]
            raise
        return [values(read, array) for read, array in zip(batch, arrays)]

    @property
    def step_downs(self) -> int:
        """How many times a batch stepped down to one request in flight since
        initialize(): the module left a request unanswered, or ended the
        connection, with several in flight."""
        with self._lock:  # the handle serves one call at a time
            return int(LIBRARY.tcpmodbus_step_downs(self._handle))
