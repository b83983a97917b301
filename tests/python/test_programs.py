"""The package in programs of their own: a daemon thread polling while the
program exits."""

import socket
import subprocess
import sys

import pytest

# Polls the module at 127.0.0.1:PORT on the main thread, or on a daemon
# thread with no response time-out while the main thread ends; the trace as
# chosen, echoed on stdout.
PROGRAM = r"""
import logging, sys, threading, time
import tcpmodbus
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
