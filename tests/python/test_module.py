"""The Python package against the simulated module and stand-in servers."""

import gc
import logging
import os
import signal
import shutil
import socket
import subprocess
import sys
import sysconfig
import threading
import weakref

import pytest

import tcpmodbus
from conftest import BUILD_DIR, StandIn, flush_c_stdout, within
from tcpmodbus import (ConnectFailedError, InvalidArgumentError, ModbusExceptionError,
                       ModbusTimeoutError, NotConnectedError, OperationCancelledError,
                       TcpModbusError, WrongAnswerError)

# Every server listens on a port of its own on one address, where the module
# also binds; nothing listens on REFUSING.
SERVER = LOCAL = "127.0.0.1"
REFUSING = "127.0.58.3"
# Texts stay whole, so that one grep finds each.
EXCEPTION_2 = ': MODBUS exception response on DIO Module 1 - Code=2, "Unallowable or invalid data address received in the query for the slave"'  # noqa: E501
EVERY_THIRD = [n % 3 == 0 for n in range(999)]


@pytest.fixture
def module(start_module):
    port = start_module(SERVER)[1]
    with tcpmodbus.Module(server_port=port, response_timeout=5000) as module:
        module.initialize(1, LOCAL, 0, SERVER)
        module.test_port = port  # for the texts that name it
        yield module


# Each row: writes in order, then a read and what it gives (bools for bits).
@pytest.mark.parametrize("writes, read, expected", [
    ([("write", 10, 0x1234)], ("read_holding", 10, 1), [0x1234]),
    ([("write_many", 20, [1, 2, 0xFFFF])], ("read_holding", 20, 3), [1, 2, 0xFFFF]),
    ([("write_many", 200, list(range(1000, 1124)))], ("read_holding", 200, 124),
     list(range(1000, 1124))),
    ([("write_coil", 7, True)], ("read_coils", 6, 3), [False, True, False]),
    ([("write_coils", 20, [True] * 3), ("write_coil", 21, False)], ("read_coils", 20, 3),
     [True, False, True]),
    ([("write_coils", 1, EVERY_THIRD)], ("read_coils", 1, 999), EVERY_THIRD),
    ([("write", 5, 0xF0F0), ("mask_write", 5, 0x00FF, 0x0F0F)], ("read_holding", 5, 1), [0x0FF0]),
    ([("write", 5, 7)], ("read_write", 4, 3, 6, [11, 12]), [0, 7, 11]),  # the write comes first
])
def test_writes_read_back(module, writes, read, expected):
    for name, *arguments in writes:
        getattr(module, name)(*arguments)
    got = getattr(module, read[0])(*read[1:])
    assert (got, [type(value) for value in got]) == (expected, [type(e) for e in expected])


# Input register k reads k + a tick that moves per request; discrete input
# 16k + b is its bit b: one read of three groups shows three registers.
@pytest.mark.parametrize("read, address, count, registers", [
    ("read_input", 5, 3, lambda values: values),
    ("read_discrete_inputs", 5 * 16, 48,
     lambda bits: [sum(bit << b for b, bit in enumerate(bits[k:k + 16])) for k in (0, 16, 32)])])
def test_inputs_are_address_plus_one_tick(module, read, address, count, registers):
    values = registers(getattr(module, read)(address, count))
    assert values == [values[0], values[0] + 1, values[0] + 2] and values[0] > 5


# The exception's class, the library's code, the exception code and system
# error, and the text.
@pytest.mark.parametrize("operation, arguments, error, code, numbers, text", [
    ("read_holding", (999, 2), ModbusExceptionError, "MODBUS_EXCEPTION", (2, 0),
     "CMBusTCP::MbReadHoldingRegs" + EXCEPTION_2),
    ("read_input", (1000, 1), ModbusExceptionError, "MODBUS_EXCEPTION", (2, 0),
     "CMBusTCP::MbReadInputRegs" + EXCEPTION_2),
    ("write", (1000, 1), ModbusExceptionError, "MODBUS_EXCEPTION", (2, 0),
     "CMBusTCP::MbPresetSingleReg" + EXCEPTION_2),
    ("read_coils", (999, 2), ModbusExceptionError, "MODBUS_EXCEPTION", (2, 0),
     "CMBusTCP::MbReadCoilStatus" + EXCEPTION_2),
    ("mask_write", (1000, 0, 1), ModbusExceptionError, "MODBUS_EXCEPTION", (2, 0),
     "CMBusTCP::MbMaskWriteReg" + EXCEPTION_2),
    ("write_many", (0, [0] * 125), InvalidArgumentError, "INVALID_ARGUMENT", (0, 0), "CMBusTCP::MbPresetMultipleRegs: Too many registers for one request on DIO Module 1: 125 (at most 124)"),  # noqa: E501
    # The protocol's limits, as the library checks them.
    ("read_coils", (0, 2001), InvalidArgumentError, "INVALID_ARGUMENT", (0, 0),
     "CMBusTCP::MbReadCoilStatus: Quantity 2001 out of range for one request on DIO Module 1 (1 to 2000)"),  # noqa: E501
    ("read_discrete_inputs", (0, 0), InvalidArgumentError, "INVALID_ARGUMENT", (0, 0),
     "CMBusTCP::MbReadInputStatus: Quantity 0 out of range for one request on DIO Module 1 (1 to 2000)"),  # noqa: E501
    ("write_coils", (0, [True] * 1969), InvalidArgumentError, "INVALID_ARGUMENT", (0, 0),
     "CMBusTCP::MbForceMultipleCoils: Quantity 1969 out of range for one request on DIO Module 1 (1 to 1968)"),  # noqa: E501
    ("write_coils", (0, []), InvalidArgumentError, "INVALID_ARGUMENT", (0, 0),
     "CMBusTCP::MbForceMultipleCoils: Quantity 0 out of range for one request on DIO Module 1 (1 to 1968)"),  # noqa: E501
    ("read_write", (0, 126, 0, [1]), InvalidArgumentError, "INVALID_ARGUMENT", (0, 0),
     "CMBusTCP::MbReadWriteMultipleRegs: Quantity 126 out of range for one request on DIO Module 1 (1 to 125)"),  # noqa: E501
    ("read_write", (0, 1, 0, [1] * 122), InvalidArgumentError, "INVALID_ARGUMENT", (0, 0),
     "CMBusTCP::MbReadWriteMultipleRegs: Quantity 122 out of range for one request on DIO Module 1 (1 to 121)"),  # noqa: E501
    ("initialize", (1, LOCAL, 0, REFUSING), ConnectFailedError, "CONNECT", (0, 111),
     "CMBusTCP::ConnectToServer: Failed to connect to DIO Module 1 at 127.0.58.3 port {port}: WSASocket failed. connect Error(111)"),  # noqa: E501
])
def test_failures_raise_by_kind_with_the_librarys_text(module, operation, arguments, error, code,
                                                       numbers, text):
    with pytest.raises(error) as raised:
        getattr(module, operation)(*arguments)
    failure, text = raised.value, text.format(port=module.test_port)
    assert (type(failure), failure.operation, failure.code_name, failure.code.name,
            (failure.exception_code, failure.system_error), failure.text, str(failure)) == (
        error, operation, code, code, numbers, text, text)


def leave_the_context(module):
    with module:
        pass


# Failures for which the library leaves LastErrorString as it was: after a
# time-out ("No response ..."), each has the library's failure text of its
# own, as its .text too.
@pytest.mark.parametrize("options, then, error, code, message", [
    ({}, lambda m, port: (leave_the_context(m), m.read_holding(0, 1)), NotConnectedError,
     "NOT_CONNECTED", "CTCPModbus::ReadHoldRegs: Not connected to DIO Module 1: Close() was called"),
    ({"recovery": False, "transaction_ids": False}, lambda m, port: m.read_holding(0, 1),
     NotConnectedError, "NOT_CONNECTED", "CTCPModbus::ReadHoldRegs: Not connected to DIO Module 1: the connection was lost"),  # noqa: E501
    ({}, lambda m, port: m.read_input(0, 1), ModbusTimeoutError, "TIMEOUT",
     "CMBusTCP::MbReadInputRegs: No response from DIO Module 1 within 300 ms"),
    ({}, lambda m, port: m.initialize(1, LOCAL, port, SERVER), ConnectFailedError, "OPEN",
     "CTCPModbus::Initialize - Failed to Open TCP socket. LocalIpAddr=127.0.0.1, LocalPort={port}. Error: WSASocket failed. bind Error(98)"),  # noqa: E501
])
def test_a_failure_has_its_own_message_never_an_earlier_ones(options, then, error, code, message):
    busy = socket.create_server((LOCAL, 0))  # a local port in use
    port = busy.getsockname()[1]
    stand_in = StandIn(SERVER)  # silent
    with tcpmodbus.Module(server_port=stand_in.port, response_timeout=300, **options) as module:
        module.initialize(1, LOCAL, 0, SERVER)
        with pytest.raises(ModbusTimeoutError, match="No response"):
            within(10, lambda: module.read_holding(0, 1))
        with pytest.raises(error) as raised:
            within(10, lambda: then(module, port))
    failure, message = raised.value, message.format(port=port)
    assert (type(failure), failure.code_name, str(failure), failure.text) == (
        error, code, message, message)
    busy.close()


# The stand-in echoes the request's transaction identifier (its first two
# bytes) and unit identifier, as a module does.
@pytest.mark.parametrize("options, request_frame", [
    ({"unit_id": 7}, "0001 0000 0006 07 03 0000 0001"),  # identifiers on by default
    ({"transaction_ids": True}, "0001 0000 0006 01 03 0000 0001"),
    ({"transaction_ids": False}, "0000 0000 0006 01 03 0000 0001")])
def test_options_reach_the_wire(options, request_frame):
    request = bytes.fromhex(request_frame)
    stand_in = StandIn(SERVER, request[:2] + bytes.fromhex("0000 0005") + request[6:7]
                       + bytes.fromhex("03 02 04d2"))
    with tcpmodbus.Module(server_port=stand_in.port, **options) as module:
        module.initialize(1, LOCAL, 0, SERVER)
        assert module.read_holding(0, 1) == [1234]
    assert stand_in.requests == [request]


NO_RESPONSE = "CMBusTCP::MbReadHoldingRegs: No response from DIO Module 1 within "
CONNECT_TIMED_OUT = "CMBusTCP::ConnectToServer: Failed to connect to DIO Module 1 at 127.0.0.1 port {port}: WSASocket failed. connect Error(110)"  # noqa: E501


# Without a connect time-out the system gives up after about two minutes, and
# without a response time-out a read of a silent peer never returns: the
# bound on each row tells the package's defaults (3000 ms) from no limit. A
# peer that answers sends those bytes to read_holding(0, 1).
@pytest.mark.parametrize("peer, options, error, code, text", [
    ("silent", {"response_timeout": 300}, ModbusTimeoutError, "TIMEOUT", NO_RESPONSE + "300 ms"),
    ("silent", {}, ModbusTimeoutError, "TIMEOUT", NO_RESPONSE + "3000 ms"),
    # 0: no limit, so the wait outlasts the default and ends with the hang-up.
    ("hangs up after 3.5 s", {"response_timeout": 0}, TcpModbusError, "CLOSED",
     "CMBusTCP::MbReadHoldingRegs: Unexpected close of connection on DIO Module 1"),
    ("backlog full", {"connect_timeout": 300}, ConnectFailedError, "CONNECT", CONNECT_TIMED_OUT),
    ("backlog full", {}, ConnectFailedError, "CONNECT", CONNECT_TIMED_OUT),
    # cancel() from another thread, again and again until the call returns.
    ("silent", {"response_timeout": 0, "cancel": True}, OperationCancelledError, "CANCELLED",
     "CMBusTCP::MbReadHoldingRegs: Cancelled while waiting for the answer of DIO Module 1; the connection was closed"),  # noqa: E501
    ("backlog full", {"connect_timeout": 0, "cancel": True}, OperationCancelledError, "CANCELLED",
     "CMBusTCP::ConnectToServer: Cancelled while connecting to DIO Module 1"),
    ("answers 0001 0000 0002 01", {}, WrongAnswerError, "TOO_SHORT",
     "CMBusTCP::MbReadHoldingRegs: Response was too short on DIO Module 1. readSize=7"),
    ("answers 0001 0000 0007 01 03 04 0001 0002", {}, WrongAnswerError, "WRONG_SIZE",
     "CMBusTCP::MbReadHoldingRegs: Incorrect response size: 13. Expected: 11"),
    ("answers 0001 0000 0005 02 03 02 04d2", {}, WrongAnswerError, "WRONG_ANSWER",
     "CMBusTCP::MbReadHoldingRegs: Answer from DIO Module 1 is not this request's: unit identifier 2, expected 1"),  # noqa: E501
])
def test_failures_of_the_peer(peer, options, error, code, text):
    options, cancelling, modules, returned = dict(options), options.get("cancel"), [], threading.Event()
    options.pop("cancel", None)
    if peer == "backlog full":
        # A backlog of one, filled and never accepted: a further connect hangs.
        listener = socket.create_server((SERVER, 0), backlog=0)
        filler, port = socket.create_connection(listener.getsockname()), listener.getsockname()[1]
    else:
        answer = bytes.fromhex(peer[len("answers "):]) if peer.startswith("answers ") else None
        stand_in = StandIn(SERVER, answer,
                           hang_up_after=3.5 if peer.startswith("hangs up") else None)
        port = stand_in.port

    def connect_and_read():
        with tcpmodbus.Module(server_port=port, **options) as module:
            if peer == "backlog full":
                modules.append(module)  # cancel the connect, else the read
            module.initialize(1, LOCAL, 0, SERVER)
            modules.append(module)
            module.read_holding(0, 1)

    def cancel_until_returned():
        while not returned.wait(0.05):
            for module in modules:
                module.cancel()

    if cancelling:
        threading.Thread(target=cancel_until_returned, daemon=True).start()
    with pytest.raises(error) as raised:
        try:
            within(20, connect_and_read)
        finally:
            returned.set()
    assert (type(raised.value), raised.value.code_name, raised.value.text) == (
        error, code, text.format(port=port))
    if peer == "backlog full":
        filler.close()
        listener.close()
    else:  # the connection was closed, by the library or by the stand-in
        stand_in.thread.join(timeout=10)
        assert not stand_in.thread.is_alive()


# Recovery is on unless turned off.
@pytest.mark.parametrize("options, reconnects", [
    ({"recovery": True}, 1), ({}, 1), ({"recovery": False}, 0)])
def test_recovery_reconnects_after_the_module_restarts(start_module, options, reconnects):
    process, port = start_module(SERVER)
    with tcpmodbus.Module(server_port=port, response_timeout=5000, **options) as module:
        module.initialize(1, LOCAL, 0, SERVER)
        process.terminate()
        process.wait()
        with pytest.raises(tcpmodbus.TcpModbusError):
            module.read_holding(1, 1)  # meets the loss and reports it
        start_module(SERVER, port)
        if reconnects:
            assert module.read_holding(1, 1) == [0]
        else:
            with pytest.raises(tcpmodbus.TcpModbusError):
                module.read_holding(1, 1)
        assert module.reconnects == reconnects


# Refused before any call: the module is not connected, yet none of these
# says so.
@pytest.mark.parametrize("call, error", [
    (lambda m: m.write(0, 0x10000), InvalidArgumentError),
    (lambda m: m.write(-1, 0), InvalidArgumentError),
    (lambda m: m.write(0, 1.5), TypeError),
    (lambda m: m.read_holding(0, 0x10000), InvalidArgumentError),
    (lambda m: m.initialize(1, "127.0.0.1\0", 0, SERVER), InvalidArgumentError),
    (lambda m: m.configure(unit_id=256), InvalidArgumentError),
    (lambda m: m.configure(transaction_ids=2), InvalidArgumentError),
    (lambda m: m.configure(trace="stderr"), InvalidArgumentError),
    (lambda m: tcpmodbus.Module(trace=1), TypeError),
    (lambda m: m.configure(server_port=0), InvalidArgumentError),  # the library refuses it
    (lambda m: tcpmodbus.Module(connect_timeout=-1), InvalidArgumentError),
    (lambda m: m.write_coils(0, [True] * 0x10000), InvalidArgumentError),
    (lambda m: m.read_write(0, 0x10000, 0, [1]), InvalidArgumentError),
    (lambda m: m.mask_write(0, 0, 0x10000), InvalidArgumentError),
    (lambda m: m.read_batch([("holdings", 0, 1)]), InvalidArgumentError),
    (lambda m: m.request(8, 4), TypeError),  # not four zero bytes
    # A misspelt option is no option.
    (lambda m: tcpmodbus.Module(respons_timeout=1000), TypeError),
    (lambda m: m.configure(unitid=2), TypeError)])
def test_values_and_options_that_do_not_fit_are_refused(call, error):
    with pytest.raises(error) as raised:
        call(tcpmodbus.Module())
    assert type(raised.value) is error
    assert error is TypeError or (raised.value.code, raised.value.code_name) == (
        tcpmodbus.ErrorCode.INVALID_ARGUMENT, "INVALID_ARGUMENT")


NOT_DOTTED = "CMBusTCP::ConnectToServer: The address 'localhost' of DIO Module 1 is not dotted IPv4 text; a host name or an IPv6 address needs name look-up on (SetNameLookup(true))"  # noqa: E501
OTHER_FAMILY = "CTCPModbus::Initialize - Failed to Open TCP socket. LocalIpAddr=127.0.0.1, LocalPort=0. Error: The local address '127.0.0.1' has no address of the server's family"  # noqa: E501


# Host names and IPv6, name lookup on by default: the module on LISTENS
# (a name: the second address of its look-up, from a hosts file of the
# test's own), initialize() without a local address when local is None; a
# failure's class, code, text and str().
@pytest.mark.parametrize("listens, options, local, server, failure", [
    ("::1", {}, None, "::1", None),
    ("::1", {}, "::1", "::1", None),
    (SERVER, {}, None, "localhost", None),
    ("tcpmodbus-plant", {}, None, "tcpmodbus-plant", None),  # its first address refuses
    ("::1", {}, "127.0.0.1", "::1", (ConnectFailedError, "OPEN", OTHER_FAMILY, OTHER_FAMILY)),
    (SERVER, {"name_lookup": False}, None, "localhost",
     (ConnectFailedError, "CONNECT", NOT_DOTTED, NOT_DOTTED))])
def test_names_and_ipv6_reach_the_module(start_module, listens, options, local, server, failure):
    if listens == "tcpmodbus-plant":
        if "TCPMODBUS_TEST_HOSTS_FILE" not in os.environ:
            pytest.skip("needs its own hosts file: run through with-hosts-file.sh")
        listens = socket.getaddrinfo(listens, 0, socket.AF_INET, socket.SOCK_STREAM)[1][4][0]
    addresses = {"server_ip": server} if local is None else {"local_ip": local, "server_ip": server}
    with tcpmodbus.Module(server_port=start_module(listens)[1], **options) as module:
        if failure is None:
            module.initialize(1, **addresses)
            module.write(4, 44)
            assert module.read_holding(4, 1) == [44]
            return
        with pytest.raises(failure[0]) as raised:
            module.initialize(1, **addresses)
    assert (raised.value.code_name, raised.value.text, str(raised.value)) == failure[1:]


# The library's trace of read_holding(0, 2) of a fresh simulated module,
# transaction identifiers off.
READ_TRACE = [
    "CMBusTCP::MbReadHoldingRegs ==>Sending MbReadHoldingRegs Request...Size=12",
    "00 00 00 00 00 06 01 03 00 00 00 02 ",
    "CMBusTCP::MbReadHoldingRegs <==Received MbReadHoldingRegs Response...Size=13",
    "00 00 00 00 00 07 01 03 04 00 00 00 00 ",
    "CTCPModbus::ReadHoldRegs: Succeed to read data from Modbus Server (Read Multiple Holding Register) !",  # noqa: E501
    "CTCPModbus::ReadHoldRegs - Read data as below:",
    "00 00 "]


# Where the trace of each read goes, by the trace option and whether the
# logger "tcpmodbus" is enabled for DEBUG at that read.
@pytest.mark.parametrize("trace, debug_at_each_read, goes_to", [
    ("default", [True], "logging"), ("logging", [True], "logging"),
    ("default", [False], "logging"),  # a program without logging: the C trace off
    ("logging", [False, True, False], "logging"),  # on when logging is, and off again
    ("callable", [True], "callable"), ("stdout", [False], "stdout"), (None, [True], "nowhere")])
def test_the_trace_of_a_read_goes_where_asked(start_module, caplog, capfd, monkeypatch, trace,
                                              debug_at_each_read, goes_to):
    logger, called, received = logging.getLogger("tcpmodbus"), [], []
    debug = logger.debug  # lines that reach it at all tell that the C trace was on
    monkeypatch.setattr(logger, "debug", lambda line: (called.append(line), debug(line)))
    options = {} if trace == "default" else {
        "trace": received.append if trace == "callable" else trace}
    with tcpmodbus.Module(server_port=start_module(SERVER)[1], transaction_ids=False,
                          **options) as module:
        module.initialize(1, LOCAL, 0, SERVER)
        for read, debug_on in enumerate(debug_at_each_read):
            flush_c_stdout(), capfd.readouterr(), caplog.clear(), called.clear(), received.clear()
            caplog.set_level(logging.DEBUG if debug_on else logging.INFO, logger="tcpmodbus")
            assert module.read_holding(0, 2) == [0, 0]
            flush_c_stdout()
            seen = {"logger.debug": called, "callable": received,
                    "stdout": capfd.readouterr().out.splitlines(),
                    "records": [r.getMessage() for r in caplog.records]}
            goes = {goes_to} if goes_to != "logging" else {"logger.debug", "records"} if debug_on else {}
            expected = {name: READ_TRACE if name in goes else [] for name in seen}
            assert seen == expected, f"read {read}"
            assert {(r.name, r.levelname) for r in caplog.records} <= {("tcpmodbus", "DEBUG")}


# A trace callable that fails: ctypes reports the exception, once per trace
# point (a write has three), and the module goes on as if nothing happened.
# Every call bounded, none on the way out: a callable that waited for its own
# module would hold it for good.
@pytest.mark.parametrize("misbehaviour, reported", [
    ("raises", "RuntimeError: a fault of the host's"),
    ("calls its own module", "TcpModbusError: CTCPModbus::ReadHoldRegs: Called from this object's own trace sink; refused")])  # noqa: E501
def test_a_failing_trace_callable_is_reported_and_the_module_goes_on(start_module, monkeypatch,
                                                                     misbehaviour, reported):
    reports, module = [], tcpmodbus.Module(server_port=start_module(SERVER)[1])
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    module.initialize(1, LOCAL, 0, SERVER)

    def misbehave(line):
        if misbehaviour == "raises":
            raise RuntimeError("a fault of the host's")
        module.read_holding(0, 1)

    module.configure(trace=misbehave)
    within(10, lambda: module.write_many(0, [7, 8]))
    assert [f"{type(r.exc_value).__name__}: {r.exc_value}" for r in reports] == [reported] * 3
    assert within(10, lambda: module.read_holding(0, 2)) == [7, 8]
    assert (len(reports), module.last_error) == (6, "")
    within(10, module.close)


def test_a_module_whose_trace_callable_refers_to_it_is_released():
    module = tcpmodbus.Module()
    module.configure(trace=lambda line, held=module: None)
    released = weakref.ref(module)
    del module
    gc.collect()
    assert released() is None


# As installed: site/tcpmodbus with the install's _installed.py, the library
# in the prefix's multiarch folder, beside the package, or neither.
@pytest.mark.parametrize("copies, loaded", [
    (["beside"], "beside"), (["prefix"], "prefix"), (["prefix", "beside"], "beside"),
    ([], "libtcpmodbus.so.1")])
def test_library_beside_the_package_then_its_prefix_then_the_loaders(tmp_path, copies, loaded):
    site = tmp_path / "lib" / "python3" / "dist-packages"
    shutil.copytree(os.path.dirname(tcpmodbus.__file__), site / "tcpmodbus")
    (site / "tcpmodbus" / "_installed.py").write_text('LIBRARY_DIR = "../../../{multiarch}"\n')
    places = {"beside": site / "tcpmodbus",
              "prefix": tmp_path / "lib" / sysconfig.get_config_var("MULTIARCH")}
    environment = dict(os.environ, PYTHONPATH=str(site))
    for place in copies:
        places[place].mkdir(exist_ok=True)
        shutil.copy(f"{BUILD_DIR}/libtcpmodbus.so.1", places[place])
        environment.pop("LD_LIBRARY_PATH", None)
    found = subprocess.run(
        [sys.executable, "-c", "import tcpmodbus._library as l; print(l.LIBRARY._name)"],
        env=environment, capture_output=True, text=True, check=True).stdout.strip()
    assert found == (f"{places[loaded]}/libtcpmodbus.so.1" if loaded in places else loaded)


# A batch at depth 8 gets each read's own values; a failed read raises the
# batch's failure with the values of the others; identifiers off refuse it.
@pytest.mark.parametrize("options, reads, error, results", [
    ({"max_in_flight": 8}, [("holding", 0, 3), ("coil", 0, 2), ("holding", 1, 1)], None,
     [[7, 8, 9], [True, False], [8]]),
    ({"max_in_flight": 8}, [("holding", 0, 1), ("holding", 5000, 1)], ModbusExceptionError,
     [[7], None]),
    ({"max_in_flight": 8}, [("holding", 0, 1), ("coil", 0, 0)], InvalidArgumentError,
     [[7], None]),
    ({"max_in_flight": 8, "transaction_ids": False}, [("holding", 0, 1), ("input", 0, 1)],
     InvalidArgumentError, [None, None]),
])
def test_read_batch(module, options, reads, error, results):
    module.write_many(0, [7, 8, 9])
    module.write_coils(0, [True, False])
    module.configure(**options)
    if error is None:
        assert module.read_batch(reads) == results
    else:
        with pytest.raises(error) as raised:
            module.read_batch(reads)
        assert raised.value.results == results
    assert module.step_downs == 0


# Identification by category and one object, also with one object an answer
# (more follows); raw requests: the echo, and exception 1.
@pytest.mark.parametrize("per_answer", ["255", "1"])
def test_device_identification_and_raw_requests(start_module, per_answer):
    port = start_module(SERVER, 0, "--ident", "ModelName=M-7", "--ident", "0x80=serial",
                        "--ident-per-answer", per_answer)[1]
    basic = {"VendorName": "tcpmodbus", "ProductCode": "tcpmodbus-sim",
             "MajorMinorRevision": tcpmodbus.__version__.rsplit(".", 1)[0]}
    with tcpmodbus.Module(server_port=port) as module:
        module.initialize(1, LOCAL, 0, SERVER)
        assert module.read_device_identification() == basic
        assert module.read_device_identification("regular") == {**basic, "ModelName": "M-7"}
        assert module.read_device_identification("extended") == {
            **basic, "ModelName": "M-7", 0x80: "serial"}
        assert module.read_device_identification("object", 0x80) == {0x80: "serial"}
        assert module.request(8, b"\0\0\xa5\x37") == b"\x08\0\0\xa5\x37"
        with pytest.raises(ModbusExceptionError) as refused:
            module.request(0x41)
        assert refused.value.exception_code == 1
        for call in (lambda: module.read_device_identification("full"),
                     lambda: module.request(8, bytes(253)), lambda: module.request(0x88)):
            with pytest.raises(InvalidArgumentError):
                call()



# A Ctrl-C that lands as the library's wakeup file is set leaves no file set
# behind: later calls on the main thread can still be cancelled by Ctrl-C.
def test_ctrl_c_as_a_call_begins_leaves_no_wakeup_file(module, monkeypatch):
    set_wakeup_fd = signal.set_wakeup_fd

    def set_then_interrupt(fd, **options):
        previous = set_wakeup_fd(fd, **options)
        if fd != -1:
            raise KeyboardInterrupt
        return previous

    monkeypatch.setattr(signal, "set_wakeup_fd", set_then_interrupt)
    with pytest.raises(KeyboardInterrupt):
        module.read_holding(0, 1)
    monkeypatch.undo()
    assert signal.set_wakeup_fd(-1) == -1
    assert module.read_holding(0, 1) == [0]
