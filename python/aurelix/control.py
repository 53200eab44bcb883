"""The Aurel control for Python, its members generated from the late-bound table."""

import weakref
from typing import Any, Callable, Dict, List

import numpy as np

from . import _aurelix
from .member_docs import EVENT_DOCS, MEMBER_DOCS

# The members whose first argument is an array the control fills (by reference), and the
# element type of that array. The late-bound table gives names and argument counts only.
_FILLED_ARRAYS = {"WaveData": np.int16, "Spectrum": np.float32, "RawData": np.int16,
                  "Peaks": np.float32}

EVENT_ARGUMENTS: Dict[str, tuple] = {name: names for name, _, names in _aurelix.events()}


def _peak_rows(peaks: np.ndarray) -> np.ndarray:
    """{0, -bin, magnitude, -bin, magnitude, ...} as rows (bin, magnitude)."""
    pairs = (len(peaks) - 1) // 2 if len(peaks) else 0
    rows = peaks[1:1 + 2 * pairs].reshape(pairs, 2).copy()
    rows[:, 0] = -rows[:, 0]
    return rows


def _int16_samples(samples: Any) -> np.ndarray:
    array = np.asarray(samples)
    if array.ndim != 1 or (array.size and array.dtype.kind not in "iu"):
        raise TypeError("samples are a one-dimensional array of whole numbers")
    if array.size and (array.min() < -32768 or array.max() > 32767):
        raise ValueError("samples must fit 16 bits (-32768 to 32767)")
    return array.astype(np.int16)


def _weak_dispatcher(control: "Aurel") -> Callable[[str, dict], None]:
    # The compiled control must not hold its Python owner strongly: the collector cannot
    # see that cycle, and handlers often refer to the control.
    owner = weakref.ref(control)

    def dispatch(name: str, arguments: dict) -> None:
        target = owner()
        if target is not None:
            target._emit(name, arguments)

    return dispatch


class Aurel:
    """The Aurel control: capture, per-block analysis, recording and events.

    Properties and methods carry the control's own names (``c.SPS``, ``c.Init()``); a refused
    write or a failing call raises :class:`aurelix.RuntimeError` with its number. Events reach
    handlers registered with :meth:`on`, on this thread, inside the call or the
    :meth:`run` that caused them. Use a control only on the thread that created it.
    """

    def __init__(self, user_mode: bool = True) -> None:
        self._handlers: Dict[str, List[Callable[..., Any]]] = {
            name: [] for name in EVENT_ARGUMENTS}
        self._core = _aurelix.Control(_weak_dispatcher(self))
        self._core.user_mode = user_mode

    @property
    def user_mode(self) -> bool:
        """The container's user-mode flag: False is design time (run-time-only writes are
        refused with 387), True is run time (design-time-only writes refused with 382)."""
        return self._core.user_mode

    @user_mode.setter
    def user_mode(self, value: bool) -> None:
        self._core.user_mode = bool(value)

    def on(self, event: str, handler: Callable[..., Any]) -> Callable[..., Any]:
        """Calls ``handler(**arguments)`` on every ``event``, arguments by their names
        (``Complete``: BlockIndex, BufferIndex, dt). Returns the handler. An exception
        from it is raised by the call or :meth:`run` during which the event came."""
        if event not in self._handlers:
            raise ValueError(f"no event {event!r}; the events are {', '.join(self._handlers)}")
        if not callable(handler):
            raise TypeError("an event handler must be callable")
        self._handlers[event].append(handler)
        return handler

    def off(self, event: str, handler: Callable[..., Any]) -> None:
        """Removes a handler that :meth:`on` registered."""
        if handler not in self._handlers.get(event, ()):
            raise ValueError(f"{handler!r} does not handle {event!r}")
        self._handlers[event].remove(handler)

    def run(self, seconds: float) -> None:
        """Runs the message loop for ``seconds`` (see :func:`aurelix.pump`)."""
        self._core.require_owner_thread()
        _aurelix.pump(seconds)

    def _emit(self, name: str, arguments: dict) -> None:
        for handler in list(self._handlers[name]):
            handler(**arguments)

    def _invoke(self, name: str, kind: str, *arguments: Any) -> tuple:
        return self._core.invoke(name, kind, list(arguments))


def _property(name: str) -> property:
    def get(self: Aurel) -> Any:
        return self._invoke(name, "get")[0]

    def let(self: Aurel, value: Any) -> None:
        # A read-only property refuses through the control (438), like any other refusal.
        self._invoke(name, "let", value)

    return property(get, let, doc=MEMBER_DOCS[name])


def _filled_array(name: str, element: type) -> Callable[..., np.ndarray]:
    def read(self: Aurel, index: int) -> np.ndarray:
        array = self._invoke(name, "get", None, index)[1][0]
        array = np.asarray(array, dtype=element)
        return _peak_rows(array) if name == "Peaks" else array

    return read


def _do_fft(self: Aurel, samples: Any) -> np.ndarray:
    return self._invoke("DoFFT", "method", _int16_samples(samples), None)[1][1]


def _call(name: str, kind: str) -> Callable[..., Any]:
    def call(self: Aurel, *arguments: Any) -> Any:
        return self._invoke(name, kind, *arguments)[0]

    return call


def _add_members() -> None:
    members = _aurelix.members()
    for name, _, kind, required, _ in members:
        if hasattr(Aurel, name):
            continue  # a property's Let, after its Get
        if name == "DoFFT":
            member: Any = _do_fft
        elif name in _FILLED_ARRAYS:
            member = _filled_array(name, _FILLED_ARRAYS[name])
        elif kind == "get" and required == 0:
            setattr(Aurel, name, _property(name))
            continue
        else:
            member = _call(name, kind)
        member.__name__ = name
        member.__qualname__ = f"Aurel.{name}"
        member.__doc__ = MEMBER_DOCS[name]
        setattr(Aurel, name, member)


_add_members()
Aurel.on.__doc__ += "\n\nEvents:\n" + "\n".join(
    f"  {name}({', '.join(EVENT_ARGUMENTS[name])}): {doc}" for name, doc in EVENT_DOCS.items())
