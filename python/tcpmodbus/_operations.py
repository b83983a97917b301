"""The base of Module's groups of operations: what each takes from Module."""

from __future__ import annotations

from typing import Any, Callable


class Operations:
    @property
    def _handle(self) -> int:
        """The library's object; Module's."""
        raise NotImplementedError

    def _call(self, operation: str, function: Callable[..., int], *arguments: Any) -> None:
        """Runs one operation of the library; Module's raises its failure."""
        raise NotImplementedError
