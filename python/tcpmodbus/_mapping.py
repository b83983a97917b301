"""The device map's operations (library 1.3), a base class of Module: a
plan of the fewest requests that read a list of points, a read of them into
a snapshot, writes by name, and the holes the Module's object learned."""

from __future__ import annotations

import ctypes
from typing import Any, Callable, List, Mapping, Optional, Sequence

from ._library import LIBRARY
from ._map import (
    MAX_READ_BITS,
    MAX_READ_REGISTERS,
    CMap,
    Hole,
    Point,
    Reading,
    Request,
    SentRequest,
    Snapshot,
    value_of,
    value_text,
)
from ._values import UINT_MAX, number, text


def _text(raw: Optional[bytes]) -> str:
    return (raw or b"").decode("utf-8", "replace")


def _status_name(status: int) -> str:
    return _text(LIBRARY.tcpmodbus_reading_status_name(status))


class MapOperations:
    """plan, read_points, write_points, learned_holes, clear_holes."""

    _lock: Any

    @property
    def _handle(self) -> int:
        """The library's object; Module's."""
        raise NotImplementedError

    def _call(self, operation: str, function: Callable[..., int], *arguments: Any) -> None:
        """Runs one operation of the library; Module's raises its failure."""
        raise NotImplementedError

    def plan(
        self,
        points: Sequence[Point],
        max_gap: int = 0,
        max_registers: int = MAX_READ_REGISTERS,
        max_bits: int = MAX_READ_BITS,
    ) -> List[Request]:
        """The requests that read points, as read_points would send them now:
        the fewest the limits allow, without reading more than max_gap
        addresses in a row that no point takes (0: none), at most
        max_registers registers or max_bits bits a request, and without the
        holes this Module learned. Nothing is sent."""
        operation = "plan"
        with CMap(operation, points) as cmap:
            handle = self._created(
                operation, LIBRARY.tcpmodbus_plan_create, cmap, max_gap, max_registers, max_bits
            )
            try:
                return [self._request(handle, cmap, i) for i in range(LIBRARY.tcpmodbus_plan_requests(handle))]  # noqa: E501
            finally:
                LIBRARY.tcpmodbus_plan_destroy(handle)

    def read_points(
        self,
        points: Sequence[Point],
        max_gap: int = 0,
        max_registers: int = MAX_READ_REGISTERS,
        max_bits: int = MAX_READ_BITS,
    ) -> Snapshot:
        """Reads points as plan() plans them. A request refused with exception
        2 or 3 is split until the points that cause the refusal are found;
        they are marked, and later reads of this Module skip them as holes.
        A failure that loses the connection ends the read: the points not
        read yet are "not read". Raises only when the plan is refused."""
        operation = "read_points"
        with CMap(operation, points) as cmap:
            handle = self._created(
                operation, LIBRARY.tcpmodbus_map_read, cmap, max_gap, max_registers, max_bits
            )
            try:
                return _snapshot(handle, cmap.points)
            finally:
                LIBRARY.tcpmodbus_snapshot_destroy(handle)

    def write_points(self, values: Mapping[str, object], points: Sequence[Point]) -> None:
        """Writes values by the names of points: a bit as a bool (or 0 or 1),
        a number as an int or float (a point of a scale takes the value
        before scaling), a string point's value as a str. In address order,
        adjacent registers joined into one write of multiple registers (up to
        123), coils into one of up to 1968; a value is never split. A value
        refused raises InvalidArgumentError before anything is sent."""
        operation = "write_points"
        if not values:
            return
        with CMap(operation, points) as cmap:
            by_name = {point.name: point for point in cmap.points}
            names, texts = [], []
            for name, value in values.items():
                names.append(text(operation, "name", name))
                # A name of no point is the library's to refuse.
                point = by_name.get(name)
                texts.append(b"" if point is None else value_text(operation, point, value))
            count = len(names)
            self._call(
                operation,
                LIBRARY.tcpmodbus_map_write,
                cmap.handle,
                count,
                (ctypes.c_char_p * count)(*names),
                (ctypes.c_char_p * count)(*texts),
            )

    @property
    def learned_holes(self) -> List[Hole]:
        """The holes this Module learned: addresses a module refused, which
        later plans skip; kept across initialize() and close()."""
        holes = []
        table, start, count, code = ctypes.c_char_p(), ctypes.c_ushort(), ctypes.c_ushort(), ctypes.c_int()  # noqa: E501
        with self._lock:
            for index in range(LIBRARY.tcpmodbus_holes(self._handle)):
                LIBRARY.tcpmodbus_hole(
                    self._handle, index, ctypes.byref(table), ctypes.byref(start),
                    ctypes.byref(count), ctypes.byref(code),
                )
                holes.append(Hole(_text(table.value), start.value, count.value, code.value))
        return holes

    def learned_limit(self, table: str) -> int:
        """The most a request of table may read, as learned from refusals with
        exception 3; 0 when none was learned."""
        with self._lock:
            return int(LIBRARY.tcpmodbus_learned_limit(self._handle, table.encode("utf-8")))

    def clear_holes(self) -> None:
        """Forgets the learned holes and limits: the next plan asks for them
        again."""
        with self._lock:
            LIBRARY.tcpmodbus_clear_holes(self._handle)

    def _created(
        self,
        operation: str,
        create: Callable[..., int],
        cmap: CMap,
        max_gap: int,
        max_registers: int,
        max_bits: int,
    ) -> int:
        """The handle that create makes; its failure raised as the library
        records it."""
        made: List[int] = []

        def run(handle: int, *arguments: Any) -> int:
            made.append(create(handle, *arguments))
            return 1 if made[-1] else 0

        self._call(
            operation,
            run,
            cmap.handle,
            number(operation, "max_gap", max_gap, UINT_MAX),
            number(operation, "max_registers", max_registers, UINT_MAX),
            number(operation, "max_bits", max_bits, UINT_MAX),
        )
        return made[-1]

    @staticmethod
    def _request(handle: int, cmap: CMap, index: int) -> Request:
        table, start, count, served = (
            ctypes.c_char_p(), ctypes.c_ushort(), ctypes.c_ushort(), ctypes.c_size_t()
        )
        LIBRARY.tcpmodbus_plan_request(
            handle, index, ctypes.byref(table), ctypes.byref(start), ctypes.byref(count),
            ctypes.byref(served),
        )
        names = tuple(
            cmap.points[LIBRARY.tcpmodbus_plan_point(handle, index, nth)].name
            for nth in range(served.value)
        )
        return Request(_text(table.value), start.value, count.value, names)


def _snapshot(handle: int, points: Sequence[Point]) -> Snapshot:
    readings = []
    for index, point in enumerate(points):
        status = _status_name(LIBRARY.tcpmodbus_snapshot_status(handle, index))
        text_read = LIBRARY.tcpmodbus_snapshot_text(handle, index)
        readings.append((point.name, Reading(
            value=value_of(point, text_read) if status == "ok" else None,
            status=status,
            exception_code=int(LIBRARY.tcpmodbus_snapshot_exception_code(handle, index)),
            time=float(LIBRARY.tcpmodbus_snapshot_time(handle, index)),
            error_code=int(LIBRARY.tcpmodbus_snapshot_error_code(handle, index)),
            request=int(LIBRARY.tcpmodbus_snapshot_request(handle, index)),
        )))
    sent = []
    table, start, count, error, code = (
        ctypes.c_char_p(), ctypes.c_ushort(), ctypes.c_ushort(), ctypes.c_int(), ctypes.c_int()
    )
    for number_sent in range(1, LIBRARY.tcpmodbus_snapshot_requests(handle) + 1):
        LIBRARY.tcpmodbus_snapshot_sent(
            handle, number_sent, ctypes.byref(table), ctypes.byref(start), ctypes.byref(count),
            ctypes.byref(error), ctypes.byref(code),
        )
        sent.append(SentRequest(_text(table.value), start.value, count.value, error.value, code.value))  # noqa: E501
    return Snapshot(readings, sent)
