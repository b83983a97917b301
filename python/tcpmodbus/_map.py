"""The device map's values (library 1.3): a point, what a plan and a read
return, and the library's map built from points for the length of one
call. The map file's reader is the library's own (tcpmodbus_map_load), so
every face reads a file the same way."""

from __future__ import annotations

import ctypes
import os
from dataclasses import dataclass
from typing import Iterator, List, Mapping, Optional, Sequence, Tuple, Union

from ._error import invalid_argument
from ._library import LIBRARY, constant
from ._values import number, text

#: A point's value: a bit as a bool, an integer type's as an int, a float
#: type's and every scaled value as a float, a string's as a str; None when
#: it was not read.
Value = Union[None, bool, int, float, str]

# The protocol's most of one read request, from the library.
MAX_READ_REGISTERS = constant("MAX_READ_REGISTERS")
MAX_READ_BITS = constant("MAX_READ_BITS")

# Texts of a register's characters cross as bytes, one a character.
_TEXT_ENCODING = "latin-1"


@dataclass(frozen=True)
class Point:
    """One named value of a module. table: "coil", "discrete", "holding" or
    "input"; type: "bit" for coils and discrete inputs, else "u16", "i16",
    "u32", "i32", "u64", "i64", "f32", "f64" or "string:N"; order: ABCD,
    CDAB, BADC or DCBA (64-bit types also by their eight-letter names);
    scale multiplies a value read (and divides one written); unit is shown
    beside it."""

    name: str
    table: str
    address: int
    type: str = "u16"
    order: str = "ABCD"
    scale: Optional[float] = None
    unit: str = ""


@dataclass(frozen=True)
class Request:
    """One request of a plan: count registers or bits of table from start,
    serving the points named, in address order."""

    table: str
    start: int
    count: int
    points: Tuple[str, ...]


@dataclass(frozen=True)
class Reading:
    """What a read says of one point. status: "ok", "exception" (see
    exception_code), "timeout", "failed" (see error_code), "not read" (an
    earlier failure lost the connection) or "hole" (refused before, so
    skipped). time: when its answer came, in seconds since the epoch as
    time.time() gives them; 0.0 when not read. request: the number of the
    request that served it (1 up), 0 for none."""

    value: Value
    status: str
    exception_code: int
    time: float
    error_code: int
    request: int


@dataclass(frozen=True)
class SentRequest:
    """A request as a read sent it: error_code 0 when it was answered."""

    table: str
    start: int
    count: int
    error_code: int
    exception_code: int


@dataclass(frozen=True)
class Hole:
    """Addresses a module refused (exception_code 2 or 3), skipped by the
    later plans of the same Module until cleared."""

    table: str
    start: int
    count: int
    exception_code: int


class Snapshot(Mapping[str, Reading]):
    """One read of a map: each point's name to its reading, in the map's
    order; requests lists what was sent, in order, numbered from 1."""

    def __init__(self, readings: Sequence[Tuple[str, Reading]], requests: Sequence[SentRequest]):
        self._readings = dict(readings)
        self.requests: Tuple[SentRequest, ...] = tuple(requests)

    def __getitem__(self, name: str) -> Reading:
        return self._readings[name]

    def __iter__(self) -> Iterator[str]:
        return iter(self._readings)

    def __len__(self) -> int:
        return len(self._readings)

    def __repr__(self) -> str:
        return f"Snapshot({self._readings!r})"


def value_of(point: Point, text_read: bytes) -> Value:
    """A value read, from the library's exact text of it."""
    read = text_read.decode(_TEXT_ENCODING)
    if point.type == "bit":
        return read == "1"
    if point.type.startswith("string:"):
        return read
    if point.scale is not None or point.type in ("f32", "f64"):
        return float(read)
    return int(read)


def value_text(operation: str, point: Point, value: object) -> bytes:
    """A value to write as the library's text of it; a value of the wrong
    kind raises InvalidArgumentError (TypeError for what is none of bool,
    int, float and str)."""
    is_text = point.type.startswith("string:")
    if isinstance(value, str):
        if not is_text:
            raise invalid_argument(operation, f"{operation}: point '{point.name}' takes a number, not a str")  # noqa: E501
        if "\0" in value:
            raise invalid_argument(operation, f"{operation}: the text of '{point.name}' must not contain NUL")  # noqa: E501
        try:
            return value.encode(_TEXT_ENCODING)
        except UnicodeEncodeError:
            raise invalid_argument(operation, f"{operation}: the text of '{point.name}' holds characters that no register holds (latin-1 only)") from None  # noqa: E501
    if isinstance(value, bool):
        value = int(value)
    if not isinstance(value, (int, float)):
        raise TypeError(f"{operation}: the value of '{point.name}' is a {type(value).__name__}, not a bool, int, float or str")  # noqa: E501
    if is_text:
        raise invalid_argument(operation, f"{operation}: point '{point.name}' takes a str")
    return (repr(value) if isinstance(value, float) else str(value)).encode("ascii")


class CMap:
    """The library's map of a list of points, for one call: a point it
    refuses raises InvalidArgumentError with its reason."""

    def __init__(self, operation: str, points: Sequence[Point]):
        handle = LIBRARY.tcpmodbus_map_create()
        if not handle:
            raise MemoryError(f"{operation}: no memory for a map")
        self.handle = handle
        self.points = list(points)
        try:
            for point in self.points:
                self._add(operation, point)
        except BaseException:
            self.close()
            raise

    def _add(self, operation: str, point: Point) -> None:
        if not isinstance(point, Point):
            raise TypeError(f"{operation}: points are Points, not {type(point).__name__}")
        scale = 0.0 if point.scale is None else float(point.scale)
        if point.scale is not None and scale == 0.0:
            raise invalid_argument(operation, f"{operation}: point '{point.name}': a scale of 0 is refused")  # noqa: E501
        added = LIBRARY.tcpmodbus_map_add(
            self.handle,
            text(operation, "name", point.name),
            text(operation, "table", point.table),
            number(operation, "address", point.address, 0xFFFF),
            text(operation, "type", point.type),
            text(operation, "order", point.order),
            scale,
            text(operation, "unit", point.unit),
        )
        if not added:
            raise invalid_argument(operation, f"{operation}: {self.error()}")

    def error(self) -> str:
        return str(LIBRARY.tcpmodbus_map_error(self.handle).decode("utf-8", "replace"))

    def close(self) -> None:
        if self.handle:
            LIBRARY.tcpmodbus_map_destroy(self.handle)
            self.handle = 0

    def __enter__(self) -> "CMap":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()


def load_map(path: Union[str, "os.PathLike[str]"]) -> List[Point]:
    """The points of a map file (CSV with the header
    name,table,address,type,order,scale,unit), read by the library's one
    reader; InvalidArgumentError names the line and column of a refusal."""
    operation = "load_map"
    # The file system's bytes of the name, also of one that is not UTF-8.
    raw = os.fsencode(path)
    if b"\0" in raw:
        raise invalid_argument(operation, f"{operation}: path must not contain NUL")
    with CMap(operation, []) as cmap:
        if not LIBRARY.tcpmodbus_map_load(cmap.handle, raw):
            raise invalid_argument(operation, f"{operation}: {cmap.error()}")
        size = LIBRARY.tcpmodbus_map_size(cmap.handle)
        return [_point(cmap.handle, index) for index in range(size)]


def _point(handle: int, index: int) -> Point:
    fields = [ctypes.c_char_p() for _ in range(5)]
    address, scale = ctypes.c_ushort(), ctypes.c_double()
    name, table, kind, order, unit = fields
    LIBRARY.tcpmodbus_map_point(
        handle, index, ctypes.byref(name), ctypes.byref(table), ctypes.byref(address),
        ctypes.byref(kind), ctypes.byref(order), ctypes.byref(scale), ctypes.byref(unit),
    )
    # The library takes a file's bytes as they are; a name or unit that is
    # not UTF-8 must not fail the load.
    texts = [(field.value or b"").decode("utf-8", "replace") for field in fields]
    return Point(
        name=texts[0], table=texts[1], address=address.value, type=texts[2], order=texts[3],
        scale=scale.value if scale.value != 0 else None, unit=texts[4],
    )
