"""How long Ctrl-C takes to become a KeyboardInterrupt in a program blocked
in a Module's read: from the SIGINT sent to the program to its except clause,
on the monotonic clock both share, against a module that never answers and
without a response time-out. Prints the median and the longest of --runs
programs (default 20), in milliseconds.

Usage: PYTHONPATH=python python3 bench/ctrl_c_latency.py [--runs N]
"""

import argparse
import signal
import socket
import statistics
import subprocess
import sys
import time

PROGRAM = r"""
import sys, time
import tcpmodbus
module = tcpmodbus.Module(server_port=int(sys.argv[1]), response_timeout=0, trace=None)
module.initialize(1, "127.0.0.1", 0, "127.0.0.1")
print("waiting", flush=True)
try:
    module.read_holding(0, 10)
except KeyboardInterrupt:
    print(time.monotonic(), flush=True)
"""


def one_run(port: int) -> float:
    program = subprocess.Popen([sys.executable, "-c", PROGRAM, str(port)],
                               stdout=subprocess.PIPE, text=True)
    try:
        assert program.stdout is not None
        if program.stdout.readline().strip() != "waiting":
            raise SystemExit("the program did not start its read")
        time.sleep(0.2)  # into the read's wait
        sent = time.monotonic()
        program.send_signal(signal.SIGINT)
        caught = float(program.stdout.readline())
        program.wait(timeout=10)
        return (caught - sent) * 1000
    finally:
        program.kill()


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=20)
    runs = parser.parse_args().runs
    silent = socket.create_server(("127.0.0.1", 0), backlog=64)  # accepts nothing
    times = [one_run(silent.getsockname()[1]) for _ in range(runs)]
    print(f"Ctrl-C to KeyboardInterrupt, {runs} runs: median {statistics.median(times):.1f} ms, "
          f"longest {max(times):.1f} ms")


if __name__ == "__main__":
    main()
