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
import sys
import threading
from typing import Any, Iterator, Optional


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
