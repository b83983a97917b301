"""Writes three holding registers of a module and reads them back from
Python:  read_registers.py SERVER PORT"""
import sys

import tcpmodbus

server, port = sys.argv[1], int(sys.argv[2])
with tcpmodbus.Module(server_port=port, response_timeout=1000) as module:
    module.initialize(1, server_ip=server)  # module 1, from any local address
    module.write_many(100, [2500, 2501, 2502])
    print("registers 100 to 102 hold", *module.read_holding(100, 3))
    try:
        module.read_holding(5000, 1)  # past the simulated module's registers
    except tcpmodbus.ModbusExceptionError as error:
        print("register 5000:", error.text)
