"""Modbus/TCP client for remote I/O modules, on the tcpmodbus library.

A thin layer over the library's C interface (tcpmodbus.h) through ctypes:
every result, trace line, frame and error text is the library's own. The
library is looked for beside this package first, then through the usual
search path (see tcpmodbus._library).

    import tcpmodbus

    with tcpmodbus.Module(server_port=1502, response_timeout=1000) as module:
        module.initialize(1, "127.0.0.1", 0, "127.0.0.1")
        module.write_many(100, [1, 2, 3])
        print(module.read_holding(100, 3))
"""

from ._error import TcpModbusError
from ._library import version
from ._module import Module

__all__ = ["Module", "TcpModbusError", "version"]
