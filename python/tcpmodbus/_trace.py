"""Where a Module's trace goes: the logging module (the default), the C
standard output, a callable of the host's, or nowhere."""

from __future__ import annotations

import ctypes
import logging
import weakref
from typing import Callable, Literal, Optional, Union

from ._error import invalid_argument
from ._interrupt import Interrupt
from ._library import LIBRARY, NO_TRACE, TRACE_FN, TRACE_TO_STDOUT

#: The logger of every Module's trace: one DEBUG record per line.
LOGGER = logging.getLogger("tcpmodbus")

#: "logging", "stdout", a callable that takes each line, or None (off).
TraceTarget = Union[Literal["logging", "stdout"], Callable[[str], object], None]


def _log(line: str) -> None:
    # Looked up on each call, so that a host (or a test) may wrap it.
    LOGGER.debug(line)


def _lines_sink(route: "weakref.ReferenceType[TraceRoute]", interrupt: Interrupt) -> object:
    """A tcpmodbus_trace_fn that hands each line of a trace point's text,
    without its newline, to the route's callable. It holds the route only
    weakly: the sink outlives the route until the library's object is
    destroyed, and a callable that refers back to its Module must not keep
    that Module alive. An exception the callable raises ends that trace
    point's lines: an ordinary one goes on to ctypes, which reports it to
    sys.unraisablehook and returns to the library, which goes on as after
    any sink; a KeyboardInterrupt or SystemExit is kept for the operation
    to raise when the library call returns."""

    def sink(context: Optional[int], text: Optional[int], length: int) -> None:
        try:
            alive = route()
            if alive is None or not text or not length:
                return
            lines = ctypes.string_at(text, length).decode("utf-8", "replace")
            if lines.endswith("\n"):
                lines = lines[:-1]
            for line in lines.split("\n"):
                alive.receive(line)
        except Exception:
            raise
        except BaseException as stop:
            interrupt.keep(stop)

    return TRACE_FN(sink)


class TraceRoute:
    """One Module's trace setting. The library's object may call
    c_sink until it is destroyed: the Module keeps c_sink alive until then
    (it refers to nothing of the Module). The methods are called with the
    Module's lock held."""

    def __init__(self, interrupt: Interrupt) -> None:
        #: Where c_sink hands each line.
        self.receive: Callable[[str], object] = _log
        self.c_sink = _lines_sink(weakref.ref(self), interrupt)
        self._given: object = TRACE_TO_STDOUT  # what the library's object has now
        self._follows_logging = False

    def choose(self, handle: int, target: TraceTarget) -> bool:
        """Sends the trace to target; False when the library refused (a call
        from the object's own trace sink), which changes nothing."""
        if target == "logging":
            if not self._give(handle, self._for_logging()):
                return False
            self.receive, self._follows_logging = _log, True
            return True
        if target == "stdout":
            accepted = self._give(handle, TRACE_TO_STDOUT)
        elif target is None:
            accepted = self._give(handle, NO_TRACE)
        elif callable(target):
            accepted = self._give(handle, self.c_sink)
            if accepted:
                self.receive = target
        elif isinstance(target, str):
            raise invalid_argument("configure", f'configure: trace must be "logging", "stdout", a callable or None, not {target!r}')  # noqa: E501
        else:
            raise TypeError(f"trace must be a str, a callable or None, not {type(target).__name__}")
        if accepted:
            self._follows_logging = False
        return accepted

    def before_operation(self, handle: int) -> None:
        """While the trace goes to logging: the C trace on exactly when the
        logger would emit a DEBUG record, so that a program that configured
        no logging pays for no trace."""
        if self._follows_logging:
            wanted = self._for_logging()
            if wanted is not self._given:
                self._give(handle, wanted)  # refused only inside the object's own sink

    @property
    def in_python(self) -> bool:
        """Whether the library's object calls c_sink: runs Python code."""
        return self._given is self.c_sink

    def _for_logging(self) -> object:
        return self.c_sink if LOGGER.isEnabledFor(logging.DEBUG) else NO_TRACE

    def _give(self, handle: int, sink: object) -> bool:
        if not LIBRARY.tcpmodbus_set_trace(handle, sink, None):
            return False
        self._given = sink
        return True
