"""Modbus/TCP client for remote I/O modules, on the tcpmodbus library.

A thin layer over the library's C interface (tcpmodbus.h) through ctypes:
every result, trace line, frame and error text is the library's own. Its
defaults are its own where a Python program expects other ones: 3000 ms
connect and response time-outs, recovery and transaction identifiers on,
and the trace as DEBUG records of the logger "tcpmodbus" (see Module). The
library is looked for beside this package first, then in its own install
prefix, then through the usual search path (see tcpmodbus._library).

    import tcpmodbus

    with tcpmodbus.Module(server_port=1502) as module:
        module.initialize(1, "127.0.0.1", 0, "127.0.0.1")
        module.write_many(100, [1, 2, 3])
        print(module.read_holding(100, 3))

A failed operation raises a subclass of TcpModbusError chosen by the
library's error code: ModbusExceptionError, ModbusTimeoutError (a
TimeoutError), NotConnectedError and ConnectFailedError (ConnectionErrors),
InvalidArgumentError (a ValueError), WrongAnswerError; TcpModbusError itself
for the rest.

Typed values: tcpmodbus.encode(value, "f32", "CDAB") gives the registers
that hold a value, tcpmodbus.decode(registers, "f32", "CDAB") the value they
hold, and Module.read_value and Module.write_value read and write one value
in one request.

The device map: tcpmodbus.Point names a value of a module, tcpmodbus.load_map
reads a map file of them, Module.plan shows the fewest requests that read
them, Module.read_points reads them into a Snapshot of each name's Reading,
and Module.write_points writes them by name.
"""

from ._codec import decode, encode
from ._error import (
    ConnectFailedError,
    ErrorCode,
    InvalidArgumentError,
    ModbusExceptionError,
    ModbusTimeoutError,
    NotConnectedError,
    TcpModbusError,
    WrongAnswerError,
)
from ._library import version
from ._map import Hole, Point, Reading, Request, SentRequest, Snapshot, load_map
from ._module import Module

# The package is the library's thin layer and ships with it, so both carry
# one version: the library's (the CMake project's).
__version__ = version()

__all__ = [
    "ConnectFailedError",
    "ErrorCode",
    "Hole",
    "InvalidArgumentError",
    "ModbusExceptionError",
    "ModbusTimeoutError",
    "Module",
    "NotConnectedError",
    "Point",
    "Reading",
    "Request",
    "SentRequest",
    "Snapshot",
    "TcpModbusError",
    "WrongAnswerError",
    "__version__",
    "decode",
    "encode",
    "load_map",
    "version",
]
