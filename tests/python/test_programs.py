"""The package in programs of their own: the end of a program whose daemon
thread polls, Ctrl-C while the trace goes to Python, and Ctrl-C during a wait
without limit."""

import signal
import socket
import subprocess
import sys
import time

import pytest

from conftest import within

# Polls 127.0.0.1:PORT on the main thread, or on a daemon thread without a
# response time-out while the main thread ends; the trace echoed on stdout.
# "wait" reads once without a time-out and, on KeyboardInterrupt, once more
# with one, to show the Module still works.
PROGRAM = r"""
import contextlib, logging, signal, sys, threading, time
import tcpmodbus
signal.signal(signal.SIGINT, signal.default_int_handler)  # also where started with it ignored
port, trace, daemon, wait = int(sys.argv[1]), sys.argv[2], sys.argv[3] == "daemon", sys.argv[3] == "wait"
logging.basicConfig(level=logging.DEBUG if trace == "DEBUG" else logging.INFO, stream=sys.stdout)
module = tcpmodbus.Module(server_port=port, response_timeout=0 if daemon or wait else 1000, trace={
    "stdout": "stdout", "print": print, "exit": lambda line: sys.exit(3), "none": None}.get(trace, "logging"))
module.initialize(1, "127.0.0.1", 0, "127.0.0.1")
if wait:
    print("waiting", flush=True)
    try:
        module.read_holding(0, 10)
    except KeyboardInterrupt:
        module.configure(response_timeout=300)
        try:
            module.read_holding(0, 10)
        except tcpmodbus.TcpModbusError as error:
            sys.exit(f"usable: {type(error).__name__} after {module.reconnects} reconnect")
def poll():
    while True:
        with contextlib.suppress(tcpmodbus.TcpModbusError):
            module.read_holding(0, 10)
threading.Thread(target=poll, daemon=True).start() if daemon else poll()
time.sleep(0.2)
"""


# The exit status and stderr's last line (none: stderr empty). The library's
# object is never destroyed under a daemon thread's call (five runs each);
# Ctrl-C, once a request is on its way, reaches the main thread's poll, over
# the silent peer's time-out, and ends a wait without limit, with the trace in
# C, in Python or off; a callable's SystemExit ends the program.
@pytest.mark.parametrize("peer, trace, poller, status, last_lines", [
    ("simulated", "logging", "daemon", 0, []), ("simulated", "stdout", "daemon", 0, []),
    ("silent", "logging", "daemon", 0, []),
    ("simulated", "DEBUG", "daemon", 0, []),
    ("simulated", "DEBUG", "main", -signal.SIGINT, ["KeyboardInterrupt"]),
    ("silent", "DEBUG", "main", -signal.SIGINT, ["KeyboardInterrupt"]),
    ("simulated", "print", "main", -signal.SIGINT, ["KeyboardInterrupt"]),
    ("silent", "print", "main", -signal.SIGINT, ["KeyboardInterrupt"]),
    ("simulated", "exit", "main", 3, []),
    *[("silent", trace, "wait", 1, ["usable: ModbusTimeoutError after 1 reconnect"])
      for trace in ("stdout", "DEBUG", "none")]])
def test_how_a_program_ends(start_module, peer, trace, poller, status, last_lines):
    silent = socket.create_server(("127.0.0.1", 0))  # accepts nothing, answers nothing
    port = start_module("127.0.0.1")[1] if peer == "simulated" else silent.getsockname()[1]
    for run in range(5 if poller == "daemon" else 1):
        program = subprocess.Popen([sys.executable, "-u", "-c", PROGRAM, str(port), trace, poller],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if status == -signal.SIGINT:
            within(10, lambda: next(line for line in program.stdout if "==>Sending" in line))
            program.send_signal(signal.SIGINT)
        if poller == "wait":
            within(10, lambda: next(line for line in program.stdout if "waiting" in line))
            time.sleep(0.5)  # into the read's wait, which has no end of its own
            program.send_signal(signal.SIGINT)
        try:
            error = program.communicate(timeout=30)[1]
        finally:
            program.kill()
        assert (program.returncode, error.splitlines()[-1:]) == (status, last_lines), run
        assert ("Exception ignored" in error, ", in poll\n" in error) == (False, status == -signal.SIGINT)
    silent.close()
