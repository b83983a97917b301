"""The Python package against the simulated module and stand-in servers."""

import os
import shutil
import socket
import subprocess
import sys

import pytest

import tcpmodbus
from conftest import BUILD_DIR, StandIn

# Every server listens on a port of its own on one address, where the module
# also binds; nothing listens on REFUSING.
SERVER = LOCAL = "127.0.0.1"
REFUSING = "127.0.58.3"
# Texts stay whole, so that one grep finds each.
EXCEPTION_2 = ': MODBUS exception response on DIO Module 1 - Code=2, "Unallowable or invalid data address received in the query for the slave"'  # noqa: E501


@pytest.fixture
def module(start_module):
    with tcpmodbus.Module(server_port=start_module(SERVER)[1], response_timeout=5000) as module:
        module.initialize(1, LOCAL, 0, SERVER)
        yield module


@pytest.mark.parametrize("write, address, values", [
    ("write", 10, [0x1234]), ("write_many", 20, [1, 2, 0xFFFF]),
    ("write_many", 200, list(range(1000, 1124)))])
def test_writes_read_back(module, write, address, values):
    getattr(module, write)(address, values[0] if write == "write" else values)
    assert module.read_holding(address, len(values)) == values


def test_input_registers_are_address_plus_one_tick(module):
    values = module.read_input(5, 3)
    assert values == [values[0], values[0] + 1, values[0] + 2] and values[0] > 5


@pytest.mark.parametrize("operation, arguments, text", [
    ("read_holding", (999, 2), "CMBusTCP::MbReadHoldingRegs" + EXCEPTION_2),
    ("read_input", (1000, 1), "CMBusTCP::MbReadInputRegs" + EXCEPTION_2),
    ("write", (1000, 1), "CMBusTCP::MbPresetSingleReg" + EXCEPTION_2),
    ("write_many", (0, [0] * 125), "CMBusTCP::MbPresetMultipleRegs: Too many registers for one request on DIO Module 1: 125 (at most 124)"),  # noqa: E501
    ("initialize", (1, LOCAL, 0, REFUSING), "WSASocket failed. connect Error(111)"),
])
def test_failures_raise_with_the_librarys_text(module, operation, arguments, text):
    with pytest.raises(tcpmodbus.TcpModbusError) as raised:
        getattr(module, operation)(*arguments)
    assert (raised.value.operation, raised.value.text, str(raised.value)) == (operation, text, text)


def test_unit_id_reaches_the_wire():
    stand_in = StandIn(SERVER, bytes.fromhex("0000 0000 0005 07 03 02 04d2"))
    with tcpmodbus.Module(server_port=stand_in.port, unit_id=7) as module:
        module.initialize(1, LOCAL, 0, SERVER)
        assert module.read_holding(0, 1) == [1234]
    assert stand_in.requests == [bytes.fromhex("0000 0000 0006 07 03 0000 0001")]


@pytest.mark.parametrize("option, text", [
    ("response_timeout", "CMBusTCP::MbReadHoldingRegs: No response from DIO Module 1 within 300 ms"),
    ("connect_timeout", "WSASocket failed. connect Error(110)")])
def test_timeouts(option, text):
    if option == "connect_timeout":
        # A backlog of one, filled and never accepted: a further connect hangs.
        listener = socket.create_server((SERVER, 0), backlog=0)
        filler, port = socket.create_connection(listener.getsockname()), listener.getsockname()[1]
    else:
        stand_in = StandIn(SERVER)  # never answers
        port = stand_in.port
    with pytest.raises(tcpmodbus.TcpModbusError) as raised:
        with tcpmodbus.Module(server_port=port, **{option: 300}) as module:
            module.initialize(1, LOCAL, 0, SERVER)
            module.read_holding(0, 1)
    assert raised.value.text == text
    if option == "connect_timeout":
        filler.close()
        listener.close()
    else:  # the library closed the connection
        stand_in.thread.join(timeout=10)
        assert not stand_in.thread.is_alive()


def test_recovery_reconnects_after_the_module_restarts(start_module):
    process, port = start_module(SERVER)
    with tcpmodbus.Module(server_port=port, recovery=True, response_timeout=5000) as module:
        module.initialize(1, LOCAL, 0, SERVER)
        process.terminate()
        process.wait()
        with pytest.raises(tcpmodbus.TcpModbusError):
            module.read_holding(1, 1)  # meets the loss and reports it
        start_module(SERVER, port)
        assert module.read_holding(1, 1) == [0] and module.reconnects == 1


def test_leaving_the_context_closes(module):
    with module:
        module.read_holding(0, 1)
    with pytest.raises(tcpmodbus.TcpModbusError, match="read_holding failed"):
        module.read_holding(0, 1)  # not connected: no text of its own


@pytest.mark.parametrize("call, error", [
    (lambda m: m.write(0, 0x10000), ValueError), (lambda m: m.write(-1, 0), ValueError),
    (lambda m: m.write(0, 1.5), TypeError), (lambda m: m.read_holding(0, 0x10000), ValueError),
    (lambda m: m.initialize(1, "127.0.0.1\0", 0, SERVER), ValueError),
    (lambda m: m.configure(unit_id=256), ValueError),
    (lambda m: m.configure(server_port=0), ValueError)])  # the library refuses it
def test_values_that_do_not_fit_are_refused(call, error):
    with pytest.raises(error):
        call(tcpmodbus.Module())


@pytest.mark.parametrize("beside", [True, False])
def test_library_beside_the_package_first_then_the_loaders(tmp_path, beside):
    shutil.copytree(os.path.dirname(tcpmodbus.__file__), tmp_path / "tcpmodbus")
    environment = dict(os.environ, PYTHONPATH=str(tmp_path))
    if beside:
        shutil.copy(f"{BUILD_DIR}/libtcpmodbus.so.1", tmp_path / "tcpmodbus")
        del environment["LD_LIBRARY_PATH"]
    loaded = subprocess.run(
        [sys.executable, "-c", "import tcpmodbus._library as l; print(l.LIBRARY._name)"],
        env=environment, capture_output=True, text=True, check=True).stdout.strip()
    assert loaded == (f"{tmp_path}/tcpmodbus/libtcpmodbus.so.1" if beside else "libtcpmodbus.so.1")
