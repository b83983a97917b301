"""Servers on loopback for the Python package's tests: the simulated module
from the build in TCPMODBUS_BUILD_DIR, and a stand-in that answers every
request with fixed bytes, or never."""

import os
import socket
import subprocess
import threading

import pytest

BUILD_DIR = os.environ["TCPMODBUS_BUILD_DIR"]


@pytest.fixture
def start_module():
    """start_module(address, port=0) -> (process, port); stopped after the test."""
    processes = []

    def start(address, port=0):
        processes.append(subprocess.Popen(
            [f"{BUILD_DIR}/tools/tcpmodbus-sim", "--address", address, "--port", str(port),
             "--quiet"], stderr=subprocess.PIPE, text=True))
        said = processes[-1].stderr.readline()  # "... listening on A:P (N registers)"
        assert f"listening on {address}:" in said, said
        return processes[-1], int(said.split(f"{address}:")[1].split()[0])

    yield start
    for process in processes:
        process.terminate()
        process.communicate()


class StandIn:
    def __init__(self, address, answer=None):
        self.listener = socket.create_server((address, 0))
        self.port, self.requests = self.listener.getsockname()[1], []
        self.thread = threading.Thread(target=self._serve, args=(answer,), daemon=True)
        self.thread.start()

    def _serve(self, answer):
        connection = self.listener.accept()[0]
        while request := connection.recv(260):
            self.requests.append(request)
            connection.sendall(answer or b"")
        connection.close()
        self.listener.close()
