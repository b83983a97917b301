"""A KeyboardInterrupt or SystemExit that came while the library ran a
Module's trace in Python, kept for the operation to raise when the library
call returns.

ctypes cannot pass an exception through the library: one that leaves a
callback is printed and dropped. The trace sink keeps what it catches here.
A signal's exception (Ctrl-C) is raised on entry to the callback, before any
of its code runs, so no handler of its own can catch it; ctypes hands it to
sys.unraisablehook, where a hook of this module takes it back, on the main
thread (the only one Python runs signal handlers on) and only during a
library call."""

from __future__ import annotations

import contextlib
import signal
import socket
import sys
import threading
from typing import Any, Iterator, Optional

from ._library import LIBRARY


class Interrupt:
    """One Module's kept interrupt: the first that came during a call."""

    def __init__(self) -> None:
        self._kept: Optional[BaseException] = None

    def keep(self, stop: BaseException) -> None:
        if self._kept is None:
            self._kept = stop

    @contextlib.contextmanager
    def catching(self, trace_in_python: bool) -> Iterator[None]:
        """Around one library call: keeps what ctypes would drop."""
        if not trace_in_python or threading.current_thread() is not threading.main_thread():
            yield
            return
        previous = sys.unraisablehook

        def hook(unraisable: Any) -> None:
            stop = unraisable.exc_value
            on_main = threading.current_thread() is threading.main_thread()
            if on_main and stop is not None and not isinstance(stop, Exception):
                self.keep(stop)
            else:
                previous(unraisable)

        sys.unraisablehook = hook
        try:
            yield
        finally:
            if sys.unraisablehook is hook:  # a host's own hook set meanwhile stays
                sys.unraisablehook = previous

    def raise_kept(self) -> None:
        """The one place a kept interrupt is raised, once its library call
        has returned: it wins over the operation's own result."""
        stop, self._kept = self._kept, None
        if stop is not None:
            raise stop


class _CtrlC:
    """Ends the main thread's library call when a signal with a Python
    handler comes (Ctrl-C), so that the handler runs at once rather than when
    the library's wait ends: Python runs signal handlers only between
    bytecodes, which a blocked call never reaches.

    Python's own low-level handler writes each such signal to the wakeup
    file; a daemon thread reads it and cancels the call the main thread is
    in. The call then fails as cancelled, and the handler raises its
    KeyboardInterrupt (or does what the program set it to do). A program
    that set its own wakeup file (an asyncio loop) keeps it: its calls are
    not cancelled."""

    def __init__(self) -> None:
        self._lock = threading.Lock()
        self._handle = 0  # of the main thread's call in progress
        self._writer: Optional[socket.socket] = None

    def _start(self) -> socket.socket:
        reader, writer = socket.socketpair()
        writer.setblocking(False)  # as set_wakeup_fd needs
        threading.Thread(
            target=self._watch, args=(reader,), name="tcpmodbus Ctrl-C", daemon=True
        ).start()
        return writer

    def _watch(self, reader: socket.socket) -> None:
        while reader.recv(64):
            with self._lock:
                if self._handle:
                    LIBRARY.tcpmodbus_cancel(self._handle)

    @contextlib.contextmanager
    def cancelling(self, handle: int) -> Iterator[None]:
        """Around one library call on the handle."""
        if threading.current_thread() is not threading.main_thread():
            yield
            return
        with self._lock:
            if self._writer is None:
                self._writer = self._start()
            writer = self._writer
        # All of it inside the try: a Ctrl-C that lands just after the file is
        # set must not leave it set, or later calls would take it for the
        # program's own and no longer be cancelled.
        try:
            previous = signal.set_wakeup_fd(writer.fileno(), warn_on_full_buffer=False)
            if previous != -1:  # the program's own
                signal.set_wakeup_fd(previous)
                yield
                return
            with self._lock:
                self._handle = handle
            yield
        finally:
            with self._lock:  # no cancel reaches the handle after this
                self._handle = 0
            current = signal.set_wakeup_fd(-1)
            if current not in (-1, writer.fileno()):  # the program's own, kept
                signal.set_wakeup_fd(current)


#: The one watcher of the process: signals come to the main thread only.
CTRL_C = _CtrlC()
