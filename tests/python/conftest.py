"""Servers on loopback for the Python package's tests: the simulated module
from the build in TCPMODBUS_BUILD_DIR, and a stand-in that answers every
request with fixed bytes, or never; a bound on a call that may hang; and the
flush of the library's standard output."""

import ctypes
import os
import socket
import subprocess
import threading

import pytest

BUILD_DIR = os.environ["TCPMODBUS_BUILD_DIR"]


@pytest.fixture
def start_module():
    """start_module(address, port=0, *options) -> (process, port); stopped after
    the test."""
    processes = []

    def start(address, port=0, *options):
        processes.append(subprocess.Popen(
            [f"{BUILD_DIR}/tools/tcpmodbus-sim", "--address", address, "--port", str(port),
             "--quiet", *options], stderr=subprocess.PIPE, text=True))
        said = processes[-1].stderr.readline()  # "... listening on A:P (N registers)"
        assert f"listening on {address}:" in said, said
        return processes[-1], int(said.split(f"{address}:")[1].split()[0])

    yield start
    for process in processes:
        process.terminate()
        process.communicate()


class StandIn:
    """Answers each request with answer (none when None); hangs up after
    hang_up_after seconds of silence from the client, when given."""

    def __init__(self, address, answer=None, hang_up_after=None):
        self.listener = socket.create_server((address, 0))
        self.port, self.requests = self.listener.getsockname()[1], []
        self.thread = threading.Thread(target=self._serve, args=(answer, hang_up_after),
                                       daemon=True)
        self.thread.start()

    def _serve(self, answer, hang_up_after):
        connection = self.listener.accept()[0]
        connection.settimeout(hang_up_after)
        try:
            while request := connection.recv(260):
                self.requests.append(request)
                connection.sendall(answer or b"")
        except (socket.timeout, ConnectionResetError):
            pass  # silent too long; or the library gave the connection up
        connection.close()
        self.listener.close()


def within(seconds, call):
    """Runs call() on a thread of its own and returns its result, or raises
    its exception here; a call still running after seconds fails the test
    (its thread is left behind)."""
    raised, returned = [], []

    def run():
        try:
            returned.append(call())
        except BaseException as error:  # noqa: B902 - raised again on the test's thread
            raised.append(error)

    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    thread.join(seconds)
    assert not thread.is_alive(), f"still waiting after {seconds} s"
    if raised:
        raise raised[0]
    return returned[0]


def flush_c_stdout():
    """Hands what C stdio holds for standard output (the library's trace
    there) to the descriptor, where capfd reads it."""
    ctypes.CDLL(None).fflush(None)
