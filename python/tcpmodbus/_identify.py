"""Device identification and raw requests (library 1.3), a base class of
Module: Read Device Identification (function code 43, MEI type 14) by
category or one object, and a request of any function code whose answer's
PDU comes back as bytes."""

from __future__ import annotations

import ctypes
from typing import Dict, Union

from ._error import invalid_argument
from ._library import LIBRARY, constant
from ._operations import Operations
from ._values import UCHAR_MAX, number

#: The read device id codes by name: a category, or "object" for the one
#: object asked for.
_CODES = {
    name: constant(f"IDENT_{key}")
    for name, key in (
        ("basic", "BASIC"),
        ("regular", "REGULAR"),
        ("extended", "EXTENDED"),
        ("object", "ONE_OBJECT"),
    )
}
_RECORDS = constant("MAX_IDENT_RECORDS")
_PDU = constant("MAX_PDU_SIZE")

#: An object's key: its name for the basic and regular objects, else its id.
ObjectKey = Union[str, int]


def _objects(records: bytes) -> Dict[ObjectKey, str]:
    """The records (id, length, bytes) as the library wrote them, by name."""
    objects: Dict[ObjectKey, str] = {}
    at = 0
    while at < len(records):
        object_id, size = records[at], records[at + 1]
        name = LIBRARY.tcpmodbus_object_name(object_id).decode("ascii")
        objects[name or object_id] = records[at + 2 : at + 2 + size].decode("latin-1")
        at += 2 + size
    return objects


class IdentificationOperations(Operations):
    """read_device_identification and request."""

    def read_device_identification(
        self, category: str = "basic", object_id: int = 0
    ) -> Dict[ObjectKey, str]:
        """The module's identification objects (function code 43, MEI type
        14): those of category "basic" (VendorName, ProductCode,
        MajorMinorRevision), "regular" (and VendorUrl, ProductName,
        ModelName, UserApplicationName) or "extended" (and the objects 0x80
        to 0xFF) from object_id on, following "more follows"; or "object",
        the one object object_id. Keyed by name, by id for the objects
        without one; each value a str of one character a byte (latin-1).
        The library judges the answers strictly (WrongAnswerError)."""
        operation = "read_device_identification"
        if category not in _CODES:
            names = ", ".join(f'"{name}"' for name in _CODES)
            message = f"{operation}: category must be {names}, not {category!r}"
            raise invalid_argument(operation, message)
        records = (ctypes.c_ubyte * _RECORDS)()
        length = ctypes.c_size_t(0)
        self._call(
            operation,
            LIBRARY.tcpmodbus_read_device_identification,
            _CODES[category],
            number(operation, "object_id", object_id, UCHAR_MAX),
            records,
            _RECORDS,
            ctypes.byref(length),
            None,
        )
        return _objects(bytes(records[: length.value]))

    def request(self, function_code: int, data: bytes = b"") -> bytes:
        """Sends a request of function_code (1 to 127) with data (at most
        252 bytes) and returns its answer's PDU, function code first; an
        exception answer raises ModbusExceptionError, a size the library
        refuses InvalidArgumentError, before anything is sent."""
        operation = "request"
        if isinstance(data, int):  # bytes(n) would send n zero bytes
            raise TypeError(f"{operation}: data must be bytes, not {type(data).__name__}")
        payload = bytes(data)
        answer = (ctypes.c_ubyte * _PDU)()
        length = ctypes.c_size_t(0)
        self._call(
            operation,
            LIBRARY.tcpmodbus_request,
            number(operation, "function_code", function_code, UCHAR_MAX),
            payload,
            len(payload),
            answer,
            _PDU,
            ctypes.byref(length),
        )
        return bytes(answer[: length.value])
