"""Offline analysis of a sound file: the path of ``aurelix analyze``, as NumPy columns."""

import os
from typing import Any, Callable, Iterable, List, Optional, Tuple, Union

import numpy as np

from . import _aurelix

Trigger = Union[str, Tuple[float, float], Tuple[float, float, float]]


class Analysis:
    """What ``aurelix analyze --json`` prints for one file, by column; row i is block i.

    Columns: ``block`` (int32, numbered from 1), ``buffer``, ``dt`` (float64 seconds: the end
    of the block in the file), ``missed`` (int32), ``max_amplitude`` and ``max_frequency``
    (shape (n, 2): left, right), ``peaks``/``peaks_right`` (with the reduced spectrum: one
    (k, 2) float32 array of rows (bin, magnitude) per block, else None) and
    ``spectrum``/``spectrum_right`` (with ``spectrum=True``: float32 (n, bins), else None).
    ``events`` lists the other events as (after block, name, arguments). The summary:
    ``rate``, ``channels``, ``samples`` (block length used), ``analysis`` (bits), ``format``,
    ``blocks``, ``analysed``, ``total_missed``, ``seconds`` (the file's duration) and
    ``partial_samples`` (trailing samples per channel that did not fill a block).
    """

    block: np.ndarray
    buffer: np.ndarray
    dt: np.ndarray
    missed: np.ndarray
    max_amplitude: np.ndarray
    max_frequency: np.ndarray
    peaks: Optional[List[np.ndarray]]
    peaks_right: Optional[List[np.ndarray]]
    spectrum: Optional[np.ndarray]
    spectrum_right: Optional[np.ndarray]
    events: List[Tuple[int, str, dict]]
    rate: int
    channels: int
    samples: int
    analysis: int
    format: str
    blocks: int
    analysed: int
    total_missed: int
    seconds: float
    partial_samples: int

    def __init__(self, path: str, columns: dict) -> None:
        self.path = path
        self.__dict__.update(columns)

    def triggers_fired(self) -> List[int]:
        """The trigger indexes that fired in any block, ascending."""
        fired = set()
        for _, name, arguments in self.events:
            if name == "FrequencyTrigger":
                fired.update(int(index) for index in arguments["Triggers"])
        return sorted(fired)

    def __repr__(self) -> str:
        return (f"<aurelix.Analysis {self.path!r}: {len(self.block)} blocks of {self.samples} "
                f"samples at {self.rate} Hz>")


def _trigger_text(trigger: Trigger) -> str:
    if isinstance(trigger, str):
        return trigger
    values = tuple(trigger)
    if len(values) not in (2, 3):
        raise ValueError(f"a trigger is (F1, F2) or (F1, F2, threshold), not {trigger!r}")
    return ":".join(repr(float(value)) for value in values)


def analyze(path: Union[str, "os.PathLike[str]"], samples: int = 1024,
            analysis: Union[str, int] = "fft", threshold: float = 5,
            triggers: Iterable[Trigger] = (), *, spectrum: bool = False,
            on_block: Optional[Callable[[dict], Any]] = None,
            on_event: Optional[Callable[..., Any]] = None) -> Analysis:
    """Analyses a sound file block by block, exactly as ``aurelix analyze`` does.

    ``analysis`` is a name (none, amplitude, fft, peaks, zerocross) or the bits; ``triggers``
    are frequency bands, "F1:F2[:THRESHOLD]" or (F1, F2[, threshold]), added as triggers 1,
    2, ...; ``spectrum=True`` keeps each block's spectrum. ``on_block(block)`` gets each
    block's numbers as a dict, ``on_event(name, **arguments)`` every other event; an
    exception from either ends nothing early but is raised when the file is done.

    Raises FileNotFoundError for a missing file, ValueError for bad options and
    :class:`aurelix.AnalysisError` for a file that is not readable sound or an analysis that
    stopped. Analyses in one process run one at a time; Ctrl-C stops one (KeyboardInterrupt).
    """
    path = os.fspath(path)
    if not os.path.exists(path):
        raise FileNotFoundError(2, "No such file", path)
    columns = _aurelix.analyze(path, int(samples), str(analysis), float(threshold),
                               [_trigger_text(trigger) for trigger in triggers], bool(spectrum),
                               on_block, on_event)
    return Analysis(path, columns)
