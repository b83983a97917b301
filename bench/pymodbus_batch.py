#!/usr/bin/python3
"""pymodbus's synchronous client for the batch benchmark, driven as a
co-process: tcpmodbus-batch-bench starts it once per run, and it keeps one
connection to the module for the whole run.

Usage: pymodbus_batch.py HOST PORT

Reads commands on standard input, one a line, and answers each on standard
output with one line (values: several):
  case NAME TABLE:ADDRESS:COUNT...  defines a case;         "ok"
  run NAME N                        N calls of the case, each its reads one
                                    after another;          "us MEAN" (the
                                    mean microseconds per call)
  values NAME                       one call;               a line of values
                                    per read (bits 0 or 1), then "end"
  nodelay                           "nodelay 0|1": TCP_NODELAY of its socket
A read that fails answers "error TEXT" and ends the helper.
"""
import logging
import socket
import sys
import time

from pymodbus.client import ModbusTcpClient


def main(host, port):
    logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
    client = ModbusTcpClient(host, port=port, timeout=3)
    if not client.connect():
        print(f"error cannot connect to {host}:{port}", flush=True)
        return 1
    functions = {
        "holding": client.read_holding_registers,
        "input": client.read_input_registers,
        "coil": client.read_coils,
        "discrete": client.read_discrete_inputs,
    }
    cases = {}

    def call(reads):
        answers = []
        for function, table, address, count in reads:
            answer = function(address, count, slave=1)
            if answer.isError():
                raise RuntimeError(f"{table} {address} {count}: {answer}")
            answers.append(answer)
        return answers

    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        try:
            if words[0] == "case":
                reads = []
                for entry in words[2:]:
                    table, address, count = entry.split(":")
                    reads.append((functions[table], table, int(address), int(count)))
                cases[words[1]] = reads
                print("ok", flush=True)
            elif words[0] == "run":
                reads, calls = cases[words[1]], int(words[2])
                start = time.perf_counter()
                for _ in range(calls):
                    call(reads)
                mean = (time.perf_counter() - start) * 1e6 / calls
                print(f"us {mean:.3f}", flush=True)
            elif words[0] == "values":
                reads = cases[words[1]]
                for (_, table, _, count), answer in zip(reads, call(reads)):
                    values = answer.registers if table in ("holding", "input") else answer.bits[:count]
                    print(" ".join(str(int(v)) for v in values))
                print("end", flush=True)
            elif words[0] == "nodelay":
                value = client.socket.getsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY)
                print(f"nodelay {1 if value else 0}", flush=True)
            else:
                raise RuntimeError(f"unknown command {words[0]}")
        except Exception as failure:  # told to the benchmark, which stops
            print(f"error {failure}", flush=True)
            return 1
    client.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], int(sys.argv[2])))
