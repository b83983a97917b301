"""Typed values: a value wider than a register, or a text, and the registers
that hold it, through the library's codecs (one implementation for every
face of the library).

A type is named "u16", "i16", "u32", "i32", "u64", "i64", "f32", "f64" or
"string:N" (N registers, two characters each); an order "ABCD" (the
default: the first register holds the high word, each register its high
byte first), "CDAB" (the words swapped), "BADC" (the bytes of each register
swapped) or "DCBA" (both), and for 64-bit types also "ABCDEFGH",
"GHEFCDAB", "BADCFEHG" and "HGFEDCBA". The library gives the numbers of
these names; none is written here.

Integers are ints, f32 and f64 floats, strings str with one character a
byte (latin-1), so that every byte reads and writes as itself."""

from __future__ import annotations

import ctypes
import math
import operator
from typing import Any, Callable, Dict, List, Literal, NamedTuple, Sequence, Union, overload

from ._error import invalid_argument
from ._library import LIBRARY
from ._values import USHORT_MAX, number, text

#: A typed value: an int (integer types), a float (f32, f64) or a str.
Value = Union[int, float, str]
#: The names of the types whose values are ints, and of those that are
#: floats (decode and read_value are typed by them).
IntegerType = Literal["u16", "i16", "u32", "i32", "u64", "i64"]
FloatType = Literal["f32", "f64"]

#: Strings: one character a byte, so that every byte reads as itself.
TEXT_ENCODING = "latin-1"


class Format(NamedTuple):
    """A type and an order the library took: their numbers, the registers a
    value takes, and the kind of C value that carries it."""

    name: str
    type: int
    order: int
    registers: int
    kind: str  # "signed", "unsigned", "f32", "f64" or "string"


def parse_format(operation: str, type_name: Any, order_name: Any) -> Format:
    """The library's numbers for a type and an order name;
    InvalidArgumentError for a name it does not know."""
    type_number, registers, order_number = ctypes.c_int(), ctypes.c_ushort(), ctypes.c_int()
    if not LIBRARY.tcpmodbus_parse_type(
        _name(operation, "type", type_name), ctypes.byref(type_number), ctypes.byref(registers)
    ):
        raise invalid_argument(operation, f"{operation}: type must be u16, i16, u32, i32, u64, i64, f32, f64 or string:N, not {type_name!r}")  # noqa: E501
    if not LIBRARY.tcpmodbus_parse_order(
        _name(operation, "order", order_name), type_number, ctypes.byref(order_number)
    ):
        raise invalid_argument(operation, f"{operation}: order must be ABCD, CDAB, BADC or DCBA (64-bit types also ABCDEFGH, GHEFCDAB, BADCFEHG, HGFEDCBA), not {order_name!r} for {type_name}")  # noqa: E501
    return Format(
        type_name, type_number.value, order_number.value, registers.value, _kind(type_name)
    )


def parse_table(operation: str, table: Any) -> int:
    """The library's number of a table name, "holding" or "input"."""
    table_number = ctypes.c_int()
    if not LIBRARY.tcpmodbus_parse_table(_name(operation, "table", table), ctypes.byref(table_number)):  # noqa: E501
        raise invalid_argument(operation, f'{operation}: table must be "holding" or "input", not {table!r}')  # noqa: E501
    return table_number.value


def c_value(operation: str, fmt: Format, value: Any) -> Any:
    """value checked for its type and made the C function's argument: an
    int that fits the 64-bit C type of its kind, a float, or the bytes of a
    text; TypeError for a value of another kind, InvalidArgumentError for
    one out of range (the library checks the type's own range)."""
    if fmt.kind == "string":
        if not isinstance(value, str):
            raise TypeError(f"{operation}: {fmt.name} takes a str, not {value.__class__.__name__}")
        try:
            text(operation, "the text", value)  # refuses a NUL, which ends a C text
            return value.encode(TEXT_ENCODING)
        except UnicodeEncodeError:
            raise invalid_argument(operation, f"{operation}: a text of {fmt.name} holds one byte a character (latin-1), not {value!r}") from None  # noqa: E501
    if fmt.kind in ("signed", "unsigned"):
        index = operator.index(value)
        held = ctypes.c_int64 if fmt.kind == "signed" else ctypes.c_uint64
        if held(index).value != index:
            raise out_of_range(operation, value, fmt)
        return index
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError(f"{operation}: {fmt.name} takes a float or an int, not {value.__class__.__name__}")  # noqa: E501
    try:
        real = float(value)
    except OverflowError:
        raise out_of_range(operation, value, fmt) from None
    # A finite float that f32 cannot hold would become an infinity.
    if fmt.kind == "f32" and math.isfinite(real) and not math.isfinite(ctypes.c_float(real).value):  # noqa: E501
        raise out_of_range(operation, value, fmt)
    return real


def out_of_range(operation: str, value: Any, fmt: Format) -> Exception:
    """The exception of a value its type cannot hold."""
    return invalid_argument(operation, f"{operation}: {value!r} is out of range for {fmt.name}")


def encode(value: Value, type: str, order: str = "ABCD") -> List[int]:
    """The registers that hold value as type, in order: one for u16 and
    i16, two for 32-bit types, four for 64-bit ones, N for string:N (the
    text padded with NUL). InvalidArgumentError (a ValueError) for an
    unknown type or order, an integer out of the type's range, a float f32
    cannot hold, or a text longer than its registers; TypeError for a value
    of another kind."""
    operation = "encode"
    fmt = parse_format(operation, type, order)
    argument = c_value(operation, fmt, value)
    registers = (ctypes.c_ushort * fmt.registers)()
    if fmt.kind == "string":
        if not LIBRARY.tcpmodbus_encode_string(fmt.order, argument, registers, fmt.registers):
            raise invalid_argument(operation, f"{operation}: a text of {len(argument)} characters does not fit {fmt.name}")  # noqa: E501
    elif not _ENCODERS[fmt.kind](fmt, argument, registers):
        raise out_of_range(operation, value, fmt)
    return list(registers)


@overload
def decode(registers: Sequence[int], type: IntegerType, order: str = ...) -> int:
    ...


@overload
def decode(registers: Sequence[int], type: FloatType, order: str = ...) -> float:
    ...


@overload
def decode(registers: Sequence[int], type: str, order: str = ...) -> Value:
    ...


def decode(registers: Sequence[int], type: str, order: str = "ABCD") -> Value:
    """The value that registers hold as type, in order: an int, a float or a
    str (trailing NUL and blanks trimmed). registers must be exactly as many
    as the type takes, each 0 to 65535."""
    operation = "decode"
    fmt = parse_format(operation, type, order)
    if len(registers) != fmt.registers:
        raise invalid_argument(operation, f"{operation}: {fmt.name} takes {fmt.registers} registers, not {len(registers)}")  # noqa: E501
    held = (ctypes.c_ushort * fmt.registers)(
        *(number(operation, "register", register, USHORT_MAX) for register in registers)
    )
    result = Result(fmt)
    if fmt.kind == "string":
        LIBRARY.tcpmodbus_decode_string(fmt.order, held, fmt.registers, *result.arguments)
    else:
        _DECODERS[fmt.kind](fmt, held, *result.arguments)
    return result.value()


class Result:
    """Where a decode or a typed read puts its value: the C out-arguments
    of the format's kind, and the Python value they hold afterwards."""

    _number: Any
    _text: Any
    _length: ctypes.c_size_t
    arguments: List[Any]

    def __init__(self, fmt: Format) -> None:
        self._fmt = fmt
        if fmt.kind == "string":
            self._text = ctypes.create_string_buffer(2 * fmt.registers + 1)
            self._length = ctypes.c_size_t()
            self.arguments = [self._text, ctypes.byref(self._length)]
        else:
            self._number = _C_TYPES[fmt.kind]()
            self.arguments = [ctypes.byref(self._number)]

    def value(self) -> Value:
        """The value the C function delivered."""
        if self._fmt.kind == "string":
            return str(self._text.raw[: self._length.value].decode(TEXT_ENCODING))
        number: Value = self._number.value
        return number


def _name(operation: str, what: str, name: Any) -> bytes:
    if not isinstance(name, str):
        raise TypeError(f"{operation}: {what} must be a str, not {name.__class__.__name__}")
    return text(operation, what, name)


def _kind(name: str) -> str:
    if name in ("f32", "f64"):
        return name
    if name.startswith("string:"):
        return "string"
    return "signed" if name.startswith("i") else "unsigned"


_C_TYPES: Dict[str, Callable[[], Any]] = {
    "signed": ctypes.c_int64,
    "unsigned": ctypes.c_uint64,
    "f32": ctypes.c_float,
    "f64": ctypes.c_double,
}

# kind: the codec of a value (format, C value, registers) -> 1 or 0.
_ENCODERS: Dict[str, Callable[[Format, Any, Any], Any]] = {
    "signed": lambda f, v, r: LIBRARY.tcpmodbus_encode_signed(f.type, f.order, v, r),
    "unsigned": lambda f, v, r: LIBRARY.tcpmodbus_encode_unsigned(f.type, f.order, v, r),
    "f32": lambda f, v, r: LIBRARY.tcpmodbus_encode_f32(f.order, v, r),
    "f64": lambda f, v, r: LIBRARY.tcpmodbus_encode_f64(f.order, v, r),
}

# kind: the codec of registers (format, registers, out-argument) -> 1 or 0.
_DECODERS: Dict[str, Callable[[Format, Any, Any], Any]] = {
    "signed": lambda f, r, out: LIBRARY.tcpmodbus_decode_signed(f.type, f.order, r, out),
    "unsigned": lambda f, r, out: LIBRARY.tcpmodbus_decode_unsigned(f.type, f.order, r, out),
    "f32": lambda f, r, out: LIBRARY.tcpmodbus_decode_f32(f.order, r, out),
    "f64": lambda f, r, out: LIBRARY.tcpmodbus_decode_f64(f.order, r, out),
}
