"""Typed values: the library's codecs against Python's struct module, the
documented vectors, refusals, and every type in every order written and
read back through the simulated module."""

import ctypes
import ctypes.util
import struct

import pytest

import tcpmodbus
from tcpmodbus import InvalidArgumentError

SERVER = LOCAL = "127.0.0.1"
ORDERS = [("ABCD", "ABCDEFGH"), ("CDAB", "GHEFCDAB"), ("BADC", "BADCFEHG"), ("DCBA", "HGFEDCBA")]
FORMATS = {"u16": "H", "i16": "h", "u32": "I", "i32": "i", "u64": "Q", "i64": "q", "f32": "f",
           "f64": "d"}


def bits(code, number):
    return struct.unpack(">" + code, number.to_bytes(struct.calcsize(code), "big"))[0]


VALUES = [("u16", 0), ("u16", 0xFFFF), ("i16", -0x8000), ("i16", 0x7FFF), ("u32", 2**32 - 1),
          ("i32", -2**31), ("i32", 2**31 - 1), ("u64", 2**64 - 1), ("i64", -2**63),
          ("i64", 2**63 - 1), ("f32", -0.0), ("f32", float("inf")), ("f32", float("-inf")),
          ("f32", bits("f", 0x7FC12345)), ("f32", bits("f", 1)), ("f32", bits("f", 0x7F7FFFFF)),
          ("f64", -0.0), ("f64", float("-inf")), ("f64", bits("d", 0x7FF8000000012345)),
          ("f64", bits("d", 0x7FF0000000000001)), ("f64", 5e-324), ("f64", 1 / 3)]


def reference(value, type_name, order):
    """The registers from struct: the value's bytes, most significant
    first, in the order the name spells (one register: AB or BA)."""
    data = struct.pack(">" + FORMATS[type_name], value)
    letters = order if len(data) > 2 else ("AB" if order[0] < order[1] else "BA")
    spelt = bytes(data[ord(letter) - ord("A")] for letter in letters)
    return list(struct.unpack(f">{len(spelt) // 2}H", spelt))


def same(a, b):
    return type(a) is type(b) and struct.pack(">d", a) == struct.pack(">d", b) \
        if isinstance(a, float) else (type(a), a) == (type(b), b)


@pytest.mark.parametrize("type_name, value", VALUES)
@pytest.mark.parametrize("orders", ORDERS)
def test_codecs_agree_with_struct(type_name, value, orders):
    order = orders[1] if type_name in ("u64", "i64", "f64") else orders[0]
    registers = reference(value, type_name, order)
    assert tcpmodbus.encode(value, type_name, order) == registers
    assert same(tcpmodbus.decode(registers, type_name, order), value)


# The documented vectors are rows of the C++ codec table; these are Python's.
@pytest.mark.parametrize("value, type_name, registers", [
    (123456.0, "f32", [0x47F1, 0x2000]),
    ("ABCD", "string:2", [0x4142, 0x4344]),  # exactly its registers
    ("\xe9t\xe9", "string:2", [0xE974, 0xE900]),  # one byte a character
])
def test_vectors_and_texts(value, type_name, registers):
    assert tcpmodbus.encode(value, type_name) == registers
    assert tcpmodbus.decode(registers, type_name) == value
    assert tcpmodbus.decode([0x4100, 0x4220], "string:2") == "A\0B"  # trailing only


@pytest.mark.parametrize("call, error, message", [
    (lambda: tcpmodbus.encode(70000, "i16"), InvalidArgumentError,
     "encode: 70000 is out of range for i16"),
    (lambda: tcpmodbus.encode(2**64, "u64"), InvalidArgumentError,
     "encode: 18446744073709551616 is out of range for u64"),
    (lambda: tcpmodbus.encode(1e39, "f32"), InvalidArgumentError,
     "encode: 1e+39 is out of range for f32"),
    (lambda: tcpmodbus.encode("PUMP12", "string:2"), InvalidArgumentError,
     "encode: a text of 6 characters does not fit string:2"),
    (lambda: tcpmodbus.encode(1, "string:0"), InvalidArgumentError,
     "encode: type must be u16, i16, u32, i32, u64, i64, f32, f64 or string:N, not 'string:0'"),
    (lambda: tcpmodbus.encode(1, "u32", "ABCDEFGH"), InvalidArgumentError,
     "encode: order must be ABCD, CDAB, BADC or DCBA (64-bit types also ABCDEFGH, GHEFCDAB, BADCFEHG, HGFEDCBA), not 'ABCDEFGH' for u32"),  # noqa: E501
    (lambda: tcpmodbus.decode([1, 2, 3], "f32"), InvalidArgumentError,
     "decode: f32 takes 2 registers, not 3"),
    (lambda: tcpmodbus.encode(1.5, "i32"), TypeError, None),
    (lambda: tcpmodbus.encode("1", "f64"), TypeError, "encode: f64 takes a float or an int, not str"),
])
def test_refusals(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert message is None or str(raised.value) == message


# What docs/values.md says of libmodbus 3.1 (Debian 12): its float getter of
# each name reads our order of that name, its setter writes each register's
# bytes swapped.
@pytest.mark.parametrize("name, setter_writes", [
    ("abcd", "BADC"), ("cdab", "DCBA"), ("badc", "ABCD"), ("dcba", "CDAB")])
def test_libmodbus_float_functions_against_our_orders(name, setter_writes):
    libmodbus = ctypes.CDLL(ctypes.util.find_library("modbus") or "libmodbus.so.5")
    getter = getattr(libmodbus, f"modbus_get_float_{name}")
    getter.restype = ctypes.c_float
    registers = (ctypes.c_uint16 * 2)(*tcpmodbus.encode(123456.0, "f32", name.upper()))
    assert getter(registers) == 123456.0
    getattr(libmodbus, f"modbus_set_float_{name}")(ctypes.c_float(123456.0), registers)
    assert list(registers) == tcpmodbus.encode(123456.0, "f32", setter_writes)


# What docs/values.md says of Debian's pymodbus (3.0): the byte and word
# order its BinaryPayloadDecoder takes for each of ours.
@pytest.mark.parametrize("order, byteorder, wordorder", [
    ("ABCD", "Big", "Big"), ("CDAB", "Big", "Little"), ("BADC", "Little", "Big"),
    ("DCBA", "Little", "Little")])
def test_pymodbus_payload_decoder_reads_each_order(order, byteorder, wordorder):
    payload = pytest.importorskip("pymodbus.payload")
    endian = pytest.importorskip("pymodbus.constants").Endian
    decoder = payload.BinaryPayloadDecoder.fromRegisters(
        tcpmodbus.encode(123456.0, "f32", order), byteorder=getattr(endian, byteorder),
        wordorder=getattr(endian, wordorder))
    assert decoder.decode_32bit_float() == 123456.0


@pytest.fixture
def module(start_module):
    with tcpmodbus.Module(server_port=start_module(SERVER)[1]) as module:
        module.initialize(1, LOCAL, 0, SERVER)
        yield module


def test_every_type_and_order_round_trips_through_the_module(module):
    for type_name, value in VALUES + [("string:4", "PUMP 1")]:
        for orders in ORDERS:
            order = orders[1] if type_name in ("u64", "i64", "f64") else orders[0]
            module.write_value(40, value, type_name, order)
            registers = tcpmodbus.encode(value, type_name, order)
            assert module.read_holding(40, len(registers)) == registers, (type_name, order)
            assert same(module.read_value("holding", 40, type_name, order), value)
    # Input register k is k + a tick that moves with each request.
    seven = module.read_value("input", 7, "u16")
    assert module.read_value("input", 7, "u32", "CDAB") == (seven + 2) << 16 | (seven + 1)


def test_typed_failures_raise_with_the_librarys_text(module):
    with pytest.raises(InvalidArgumentError) as raised:
        module.write_value(0, 70000, "i16")
    assert raised.value.text == "tcpmodbus::WriteValue: 70000 is out of range for i16 (-32768 to 32767)"  # noqa: E501
    with pytest.raises(tcpmodbus.ModbusExceptionError):
        module.read_value("input", 999, "f32")
    with pytest.raises(InvalidArgumentError, match='table must be "holding" or "input"'):
        module.read_value("coils", 0, "u16")
