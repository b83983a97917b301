"""The package in programs of their own: a daemon thread polling while the
program exits, and Ctrl-C while the trace goes to Python."""

import signal
import socket
import subprocess
import sys

import pytest

from conftest import within

# Polls the module at 127.0.0.1:PORT on the main thread, or on a daemon
# thread with no response time-out while the main thread ends; the trace as
# chosen, echoed on stdout.
PROGRAM = r"""
import logging, signal, sys, threading, time
import tcpmodbus
signal.signal(signal.SIGINT, signal.default_int_handler)  # also where started with it ignored
port, trace, poller = int(sys.argv[1]), sys.argv[2], sys.argv[3]
logging.basicConfig(level=logging.DEBUG if trace == "logging at DEBUG" else logging.INFO,
                    stream=sys.stdout)
module = tcpmodbus.Module(server_port=port, response_timeout=0 if poller else 1000, trace={
    "stdout": "stdout", "a callable": lambda line: print(line, flush=True),
    "a callable that exits": lambda line: sys.exit(3)}.get(trace, "logging"))
module.initialize(1, "127.0.0.1", 0, "127.0.0.1")
def poll():
    while True:
        try:
            module.read_holding(0, 10)
        except tcpmodbus.TcpModbusError:
            pass
if poller:
    threading.Thread(target=poll, daemon=True).start()
    time.sleep(0.2)
else:
    poll()
"""


def start(port, trace, poller, **pipes):
    return subprocess.Popen([sys.executable, "-c", PROGRAM, str(port), trace, poller or ""],
                            text=True, **pipes)


def port_of(peer, start_module, silent):
    return start_module("127.0.0.1")[1] if peer == "simulated" else silent.getsockname()[1]


# The library's object is never destroyed under the daemon thread's call.
@pytest.mark.parametrize("peer, trace", [
    ("simulated", "logging, not enabled"), ("simulated", "stdout"), ("silent", "logging, not enabled"),
    pytest.param("simulated", "logging at DEBUG", marks=pytest.mark.xfail(strict=True, reason=(
        "the daemon thread ends at exit inside the library's trace sink (pthread_exit from the "
        "ctypes callback), and the library calls its sinks where that unwinding aborts")))])
def test_a_daemon_thread_polling_at_exit_ends_cleanly(start_module, peer, trace):
    silent = socket.create_server(("127.0.0.1", 0))  # accepts nothing, answers nothing
    port = port_of(peer, start_module, silent)
    for run in range(5):
        program = start(port, trace, "a daemon thread", stdout=subprocess.DEVNULL,
                        stderr=subprocess.PIPE)
        assert program.communicate(timeout=30) == (None, "") and program.returncode == 0, run
    silent.close()


# Ctrl-C during a poll whose trace goes to Python reaches the program, at the
# latest when the operation returns, and over its own failure (the silent
# peer's time-out); a SystemExit of the callable ends the program with it.
@pytest.mark.parametrize("peer, trace, status, last_lines", [
    ("simulated", "logging at DEBUG", -signal.SIGINT, ["KeyboardInterrupt"]),
    ("silent", "logging at DEBUG", -signal.SIGINT, ["KeyboardInterrupt"]),
    ("simulated", "a callable", -signal.SIGINT, ["KeyboardInterrupt"]),
    ("silent", "a callable", -signal.SIGINT, ["KeyboardInterrupt"]),
    ("simulated", "a callable that exits", 3, [])])
def test_ctrl_c_reaches_a_program_whose_trace_goes_to_python(start_module, peer, trace, status,
                                                             last_lines):
    silent = socket.create_server(("127.0.0.1", 0))
    program = start(port_of(peer, start_module, silent), trace, None, stdout=subprocess.PIPE,
                    stderr=subprocess.PIPE)
    if last_lines:  # once a request is on its way: inside the library's call
        within(10, lambda: next(line for line in program.stdout if "==>Sending" in line))
        program.send_signal(signal.SIGINT)
    try:
        error = program.communicate(timeout=15)[1]
    finally:
        program.kill()
    from_the_poll = ", in poll\n" in error or not last_lines
    assert (program.returncode, error.splitlines()[-1:], from_the_poll) == (status, last_lines, True)
    assert "Exception ignored" not in error
    silent.close()
