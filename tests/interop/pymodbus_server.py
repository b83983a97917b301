#!/usr/bin/python3
"""A pymodbus Modbus/TCP server for the interoperability tests.

Usage: pymodbus_server.py ADDRESS PORT REGISTERS

Serves four tables of REGISTERS entries each, at addresses 0 to
REGISTERS - 1, any unit: holding registers and coils (all 0), input registers
(input register i holds 1000 + i) and discrete inputs (discrete input i holds
bit i mod 16 of input register i / 16, least significant bit first); and
the basic objects of device identification, VendorName "pymodbus".
Prints "listening on ADDRESS:PORT" to stderr once the socket is bound, and
runs until it is terminated.
"""
import asyncio
import logging
import signal
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.device import ModbusDeviceIdentification
from pymodbus.server import StartAsyncTcpServer


async def main(address, port, registers):
    logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
    inputs = [1000 + i for i in range(registers)]
    store = ModbusSlaveContext(
        hr=ModbusSequentialDataBlock(0, [0] * registers),
        ir=ModbusSequentialDataBlock(0, inputs),
        co=ModbusSequentialDataBlock(0, [False] * registers),
        di=ModbusSequentialDataBlock(
            0, [bool(inputs[i // 16] >> (i % 16) & 1) for i in range(registers)]),
        zero_mode=True)
    context = ModbusServerContext(slaves=store, single=True)
    identity = ModbusDeviceIdentification(info_name={
        "VendorName": "pymodbus", "ProductCode": "PM", "MajorMinorRevision": "3.0"})
    server = await StartAsyncTcpServer(context=context, identity=identity,
                                       address=(address, port),
                                       defer_start=True, allow_reuse_address=True)
    task = asyncio.ensure_future(server.serve_forever())
    await server.serving
    print(f"listening on {address}:{port}", file=sys.stderr, flush=True)
    stop = asyncio.get_running_loop().create_future()
    for signum in (signal.SIGTERM, signal.SIGINT):
        asyncio.get_running_loop().add_signal_handler(
            signum, lambda: stop.done() or stop.set_result(None))
    await stop
    await server.shutdown()
    task.cancel()


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    asyncio.run(main(sys.argv[1], int(sys.argv[2]), int(sys.argv[3])))
