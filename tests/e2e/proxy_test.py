#!/usr/bin/python3
"""tcpmodbus-delay-proxy between a client and a target of this test's own:
what goes through arrives whole and in order (jitter included), no answer
comes before the round trip's delay, and a close or a reset of one side
reaches the other after its data. Nothing but a lower bound is timed.

Usage: proxy_test.py PROXY
"""
import select
import socket
import subprocess
import sys
import threading
import time

FAILURES = []


def check(what, got, want):
    if got != want:
        FAILURES.append(what)
        print(f"FAIL: {what}: got {got!r}, expected {want!r}", file=sys.stderr)


def echo(connection):
    """Sends back everything, then closes once the client has closed."""
    while data := connection.recv(4096):
        connection.sendall(data)
    connection.shutdown(socket.SHUT_WR)


def answer_then_reset(connection):
    connection.recv(4096)
    connection.sendall(b"bye")
    time.sleep(0.05)
    connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\1\0\0\0\0\0\0\0")


def target(serve):
    """A listening socket on a free port whose connections `serve` takes; its port."""
    listener = socket.create_server(("127.0.0.1", 0))

    def run():
        with listener:
            connection, _ = listener.accept()
            with connection:
                serve(connection)
    threading.Thread(target=run, daemon=True).start()
    return listener.getsockname()[1]


def refusing_port():
    with socket.create_server(("127.0.0.1", 0)) as closed:
        return closed.getsockname()[1]


def start_proxy(proxy, port, *options):
    process = subprocess.Popen([proxy, "--target", f"127.0.0.1:{port}", *options],
                               stdout=subprocess.PIPE, text=True)
    if not select.select([process.stdout], [], [], 20)[0]:
        sys.exit("FAIL: the proxy printed no port within 20 s")
    return process, int(process.stdout.readline())


def read_to_end(client):
    data = b""
    while piece := client.recv(65536):
        data += piece
    return data


def in_order(client):
    """200 numbered pieces, 1 ms apart, come back whole and in order, then the close."""
    sent = b"".join(i.to_bytes(4, "big") for i in range(200))
    for i in range(0, len(sent), 4):
        client.sendall(sent[i:i + 4])
        time.sleep(0.001)
    client.shutdown(socket.SHUT_WR)
    return read_to_end(client) == sent


def delayed(client):
    """The echo of one request takes the round trip, 2 x 100 ms, at least."""
    start = time.monotonic()
    client.sendall(b"ping")
    got = client.recv(4)
    return got == b"ping" and time.monotonic() - start >= 0.2 - 0.001


def reset_after_data(client):
    client.sendall(b"hi")
    got = client.recv(3)
    try:
        client.recv(1)
        return False
    except ConnectionResetError:
        return got == b"bye"


def reset_only(client):
    try:
        client.recv(1)
        return False
    except ConnectionResetError:
        return True


def main():
    proxy = sys.argv[1]
    jitter = ["--delay", "20", "--jitter", "50", "--seed", "7", "--quiet"]
    rows = [
        ("order kept and the close passed on, under jitter", echo, jitter, in_order),
        ("an answer no sooner than the delay each way", echo, ["--delay", "100"], delayed),
        ("the target's reset after its data", answer_then_reset, ["--delay", "10"], reset_after_data),
        ("a target that refuses: the client is reset", None, ["--delay", "10"], reset_only),
    ]
    for what, serve, options, holds in rows:
        port = target(serve) if serve else refusing_port()
        process, proxy_port = start_proxy(proxy, port, *options)
        with socket.create_connection(("127.0.0.1", proxy_port), timeout=10) as client:
            check(what, holds(client), True)
        process.terminate()
        check(f"{what}: the proxy's exit status", process.wait(timeout=10), 0)
    print(f"{len(FAILURES)} failed" if FAILURES else "ok: the delaying proxy")
    sys.exit(1 if FAILURES else 0)


if __name__ == "__main__":
    main()
