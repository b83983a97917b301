"""Python values made C values before any call: each must fit its C type,
since ctypes would silently cut one that does not; a refused one raises
InvalidArgumentError (a ValueError) naming the operation."""

from __future__ import annotations

import operator
from typing import Any

from ._error import invalid_argument

USHORT_MAX = 0xFFFF
UINT_MAX = 0xFFFFFFFF
UCHAR_MAX = 0xFF


def number(operation: str, name: str, value: Any, largest: int) -> int:
    """value as an int from 0 to largest; TypeError for what is no integer."""
    index = operator.index(value)
    if not 0 <= index <= largest:
        raise invalid_argument(operation, f"{operation}: {name} must be 0 to {largest}, not {index}")  # noqa: E501
    return index


def text(operation: str, name: str, value: str) -> bytes:
    """A str for a C text, which ends at its first NUL."""
    if "\0" in value:
        raise invalid_argument(operation, f"{operation}: {name} must not contain NUL")
    return value.encode("utf-8")
