#!/usr/bin/python3
"""The simulated module's own rules, through raw Modbus/TCP frames, with the
pymodbus client as a second reader of device identification.

Usage: sim_test.py refusals|identification|addresses|two-addresses SIM

Every module listens on a port of the system's choosing. two-addresses runs
under with-hosts-file.sh, whose hosts file gives tcpmodbus-plant two
addresses. Exit 0 when every row held, 1 otherwise.
"""
import re
import socket
import struct
import subprocess
import sys
import tempfile
import time

FAILURES = []


class Module:
    """tcpmodbus-sim on ADDRESS, port 0, until stop()."""

    def __init__(self, sim, address, *options):
        self.log = tempfile.NamedTemporaryFile("w+")
        self.process = subprocess.Popen(
            [sim, "--address", address, "--port", "0", *options], stderr=self.log)
        deadline = time.monotonic() + 20
        while not (ready := re.search(r"listening on .*:(\d+) \(", self.text())):
            if self.process.poll() is not None or time.monotonic() > deadline:
                sys.exit(f"FAIL: the module did not listen; it said:\n{self.text()}")
            time.sleep(0.05)
        self.port = int(ready.group(1))

    def text(self):
        with open(self.log.name) as log:
            return log.read()

    def stop(self):
        """Stops the module and checks that it ended cleanly; its log."""
        self.process.terminate()
        check("the module stops with status 0", self.process.wait(timeout=10), 0)
        return self.text()


class Client:
    """One connection; each request under a transaction identifier of its own."""

    def __init__(self, address, port):
        self.socket = socket.create_connection((address, port), timeout=5)
        self.identifier = 0

    def ask(self, pdu):
        self.identifier += 1
        self.socket.sendall(struct.pack(">HHHB", self.identifier, 0, len(pdu) + 1, 1) + pdu)
        identifier, _, length, _ = struct.unpack(">HHHB", self.read(7))
        check("the answer's identifier", identifier, self.identifier)
        return self.read(length - 1)

    def read(self, size):
        data = b""
        while len(data) < size:
            piece = self.socket.recv(size - len(data))
            if not piece:
                sys.exit("FAIL: the module closed the connection")
            data += piece
        return data


def check(what, got, want):
    if got != want:
        FAILURES.append(what)
        print(f"FAIL: {what}: got {got!r}, expected {want!r}", file=sys.stderr)


def run_rows(module, rows):
    """Rows of (what, request PDU, answer PDU or its start before '...', log line)."""
    client = Client("127.0.0.1", module.port)
    for what, request, want, _ in rows:
        got = client.ask(bytes.fromhex(request) if isinstance(request, str) else request)
        if isinstance(want, str):
            prefix = want.endswith("...")
            want = bytes.fromhex(want.removesuffix("..."))
            got = got[:len(want)] if prefix else got
        check(what, got.hex(" "), want.hex(" "))
    client.socket.close()
    log = module.stop()
    for what, _, _, line in rows:
        if line and not re.search(rf"\d {re.escape(line)}\n", log):
            check(f"{what}: the log line", None, line)


def refusals(sim):
    module = Module(sim, "127.0.0.1", "--undeclared", "holding:100-109,input:5",
                    "--undeclared", "coil:8-9", "--max-registers", "40", "--max-bits", "64")
    run_rows(module, [
        ("a read beside the hole is served", "03 005a 000a", "03 14 ...", "fc=3 addr=90 count=10"),
        ("a read into the hole", "03 005f 000a", "83 02", "fc=3 addr=95 count=10 refused: exception 2"),
        ("a read up to the limit", "03 006e 0028", "03 50 ...", "fc=3 addr=110 count=40"),
        ("a read past the limit", "03 006e 0029", "83 03", "fc=3 addr=110 count=41 refused: exception 3"),
        ("the count is judged first", "03 0064 0029", "83 03", "fc=3 addr=100 count=41 refused: exception 3"),
        ("a single write into the hole", "06 0069 1234", "86 02", "fc=6 addr=105 value=4660 refused: exception 2"),
        ("a write that ends in the hole", "10 0063 0002 04 0001 0002", "90 02", "fc=16 addr=99 count=2 refused: exception 2"),
        ("the largest write past the limit", "10 0000 007c f8" + "0000" * 124, "90 03", "fc=16 addr=0 count=124 refused: exception 3"),
        ("a read-write writing into the hole", "17 0000 0001 006d 0001 02 0007", "97 02",
         "fc=23 addr=0 count=1 write-addr=109 write-count=1 refused: exception 2"),
        ("a mask write into the hole", "16 0064 ff00 0000", "96 02", "fc=22 addr=100 and=0xff00 or=0x0000 refused: exception 2"),
        ("one undeclared input register", "04 0004 0002", "84 02", "fc=4 addr=4 count=2 refused: exception 2"),
        ("the input register after it", "04 0006 0001", "04 02 ...", "fc=4 addr=6 count=1"),
        ("holes are per table", "03 0005 0001", "03 02 0000", "fc=3 addr=5 count=1"),
        ("a coil read into the hole", "01 0000 0009", "81 02", "fc=1 addr=0 count=9 refused: exception 2"),
        ("a coil write into the hole", "05 0009 ff00", "85 02", "fc=5 addr=9 value=65280 refused: exception 2"),
        ("bits up to the limit", "01 000a 0040", "01 08 0000 0000 0000 0000", "fc=1 addr=10 count=64"),
        ("bits past the limit", "02 0000 0041", "82 03", "fc=2 addr=0 count=65 refused: exception 3"),
        ("past the table, as libmodbus refuses", "03 03e7 0002", "83 02", "fc=3 addr=999 count=2"),
        ("the diagnostics echo", "08 0000 1234", "08 0000 1234", "fc=8 sub=0 length=5"),
        ("another diagnostics", "08 0001 0000", "88 01", "fc=8 sub=1 length=5 refused: exception 1"),
        ("an unknown function code", "41 0102 03", "c1 01", "fc=65 length=4 refused: exception 1"),
        ("read exception status, not served", "07", "87 01", "fc=7 length=1 refused: exception 1"),
        ("the connection still serves in step", "03 005a 0001", "03 02 0000", None),
    ])


def obj(identifier, value):
    return bytes([identifier, len(value)]) + value.encode()


def ident(code, identifier):
    return bytes([0x2B, 0x0E, code, identifier])


def head(code, more, next_id, count, conformity=0x83):
    return bytes([0x2B, 0x0E, code, conformity, more, next_id, count])


def identification(sim):
    x200, y100 = "x" * 200, "y" * 100
    options = ["--ident", "VendorName=Acme", "--ident", "ProductCode=P-1",
               "--ident", "MajorMinorRevision=2.5", "--ident", "ModelName=M7",
               "--ident", "0x80=" + x200, "--ident", "0x81=" + y100,
               "--ident-per-answer", "3"]
    basic = obj(0, "Acme") + obj(1, "P-1") + obj(2, "2.5")
    module = Module(sim, "127.0.0.1", *options)
    # pymodbus reads the answers as well (one answer each: it follows nothing).
    from pymodbus.client import ModbusTcpClient
    from pymodbus.mei_message import ReadDeviceInformationRequest
    peer = ModbusTcpClient("127.0.0.1", port=module.port, timeout=5)
    peer.connect()
    for code, more, next_id in ((1, 0, 0), (2, 0xFF, 5)):
        answer = peer.execute(ReadDeviceInformationRequest(read_code=code))
        check(f"pymodbus reads code {code}",
              (answer.information, answer.more_follows, answer.next_object_id, answer.conformity),
              ({0: b"Acme", 1: b"P-1", 2: b"2.5"}, more, next_id, 0x83))
    peer.close()
    log = "fc=43 mei=14 code={} object={}"
    run_rows(module, [
        ("the basic stream", ident(1, 0), head(1, 0, 0, 3) + basic, log.format(1, 0)),
        ("the regular stream, three objects an answer", ident(2, 0), head(2, 0xFF, 5, 3) + basic, None),
        ("the regular stream from the next object", ident(2, 5), head(2, 0, 0, 1) + obj(5, "M7"), log.format(2, 5)),
        ("the extended stream, up to what fits", ident(3, 5), head(3, 0xFF, 0x81, 2) + obj(5, "M7") + obj(0x80, x200), None),
        ("the extended stream's last object", ident(3, 0x81), head(3, 0, 0, 1) + obj(0x81, y100), None),
        ("a stream from an object it has not", ident(1, 0x42), head(1, 0, 0, 3) + basic, None),
        ("a basic stream from a regular object", ident(1, 5), head(1, 0, 0, 3) + basic, None),
        ("one object", ident(4, 5), head(4, 0, 0, 1) + obj(5, "M7"), log.format(4, 5)),
        ("one extended object", ident(4, 0x80), head(4, 0, 0, 1) + obj(0x80, x200), None),
        ("one object it has not", ident(4, 4), bytes([0xAB, 2]), log.format(4, 4) + " refused: exception 2"),
        ("read device id code 5", ident(5, 0), bytes([0xAB, 3]), None),
        ("read device id code 0", ident(0, 0), bytes([0xAB, 3]), None),
        ("another MEI type", bytes([0x2B, 0x0D, 1, 0]), bytes([0xAB, 1]), "fc=43 mei=13 code=1 object=0 refused: exception 1"),
        ("a request one byte short", bytes([0x2B, 0x0E, 1]), bytes([0xAB, 3]), "fc=43 length=3 refused: exception 3"),
    ])
    defaults = obj(0, "tcpmodbus") + obj(1, "tcpmodbus-sim")
    module = Module(sim, "127.0.0.1", "--ident-conformity", "0x01")
    run_rows(module, [
        ("extended asked of a basic module", ident(3, 0), (head(3, 0, 0, 3, 0x01) + defaults).hex() + "...", None),
        ("one object of a stream-only module", ident(4, 0), bytes([0xAB, 3]), None),
    ])


def addresses(sim, rows):
    """Rows of (what, --address, the addresses it is reached on, a log line)."""
    for what, address, reached, line in rows:
        module = Module(sim, address)
        for each in reached:
            client = Client(each, module.port)
            check(f"{what}: a read on {each}", client.ask(bytes.fromhex("03 0000 0001")).hex(), "03020000")
            client.socket.close()
        log = module.stop()
        if line and not re.search(line, log):
            check(f"{what}: the log", log, line)


def main():
    case, sim = sys.argv[1:3]
    if case == "refusals":
        refusals(sim)
    elif case == "identification":
        identification(sim)
    elif case == "addresses":
        localhost = sorted({entry[4][0] for entry in socket.getaddrinfo("localhost", 0, type=socket.SOCK_STREAM)})
        addresses(sim, [("an IPv6 address", "::1", ["::1"], r" \[::1\]:\d+ connected\n"),
                        ("localhost", "localhost", localhost, None)])
    elif case == "two-addresses":
        addresses(sim, [("a name with two addresses", "tcpmodbus-plant", ["127.128.0.61", "127.0.0.61"],
                         r"tcpmodbus-plant is 127\.\S+ 127\.\S+\n")])
    else:
        sys.exit(__doc__)
    print(f"{case}: {len(FAILURES)} failed" if FAILURES else f"ok: {case}")
    sys.exit(1 if FAILURES else 0)


if __name__ == "__main__":
    main()
