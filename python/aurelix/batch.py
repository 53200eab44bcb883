"""Batch analysis on Dask's distributed scheduler: :func:`aurelix.analyze` over many files.

Each file is one task; a file that fails (missing, not sound, a handler that raised) comes
back as a summary with ``error`` set, and the others are not disturbed.
"""

import collections
import os
from typing import Any, Dict, Iterable, List, Optional

import numpy as np

from .offline import analyze


class FileSummary:
    """What one file of a batch gave.

    ``path``; ``error`` (None, or "ExceptionType: message" when the file failed, in which case
    the other fields are empty); ``blocks``; ``frequency_track`` (float64: the dominant
    frequency of the left channel, one per block); ``dominant_frequency`` (the most frequent
    non-zero value of that track, 0.0 when there is none); ``peak_level`` (the largest
    amplitude of any block and channel, in sample units); ``triggers_fired`` (the trigger
    indexes that fired in any block) and ``trigger_blocks`` (how many blocks fired one).
    """

    def __init__(self, path: str, error: Optional[str] = None, blocks: int = 0,
                 frequency_track: Optional[np.ndarray] = None, peak_level: int = 0,
                 triggers_fired: Optional[List[int]] = None, trigger_blocks: int = 0) -> None:
        self.path = path
        self.error = error
        self.blocks = blocks
        self.frequency_track = (np.zeros(0) if frequency_track is None else frequency_track)
        self.peak_level = peak_level
        self.triggers_fired = triggers_fired or []
        self.trigger_blocks = trigger_blocks

    @property
    def dominant_frequency(self) -> float:
        """The most frequent non-zero dominant frequency of the file, in Hz (0.0: none)."""
        counts = collections.Counter(float(f) for f in self.frequency_track if f > 0)
        return counts.most_common(1)[0][0] if counts else 0.0

    def as_row(self) -> Dict[str, Any]:
        """The summary as flat values, for a CSV row."""
        return {"path": self.path, "error": self.error or "", "blocks": self.blocks,
                "dominant_frequency": self.dominant_frequency, "peak_level": self.peak_level,
                "triggers_fired": " ".join(map(str, self.triggers_fired)),
                "trigger_blocks": self.trigger_blocks}

    def __repr__(self) -> str:
        if self.error:
            return f"<FileSummary {self.path!r}: {self.error}>"
        return (f"<FileSummary {self.path!r}: {self.blocks} blocks, "
                f"{self.dominant_frequency:g} Hz, peak {self.peak_level}>")


def summarise_file(path: str, **options: Any) -> FileSummary:
    """Analyses one file and summarises it; every failure becomes the summary's error."""
    try:
        result = analyze(path, **options)
    except Exception as failure:  # a batch reports each file's failure, whatever it is
        return FileSummary(path, error=f"{type(failure).__name__}: {failure}")
    fired_blocks = {block for block, name, _ in result.events if name == "FrequencyTrigger"}
    return FileSummary(
        path, blocks=len(result.block), frequency_track=result.max_frequency[:, 0].copy(),
        peak_level=int(result.max_amplitude.max()) if len(result.block) else 0,
        triggers_fired=result.triggers_fired(), trigger_blocks=len(fired_blocks))


def analyze_files(paths: Iterable[str], client: Any = None, **options: Any) -> List[FileSummary]:
    """Analyses every file as a Dask task and returns one :class:`FileSummary` per path, in
    order. ``options`` go to :func:`aurelix.analyze` (handlers included, so they must
    pickle). With ``client=None`` a local cluster of two single-threaded worker processes
    runs the batch and is closed afterwards; with a ``dask.distributed.Client`` the tasks
    run wherever its scheduler sends them (the workers need the aurelix module).
    """
    from dask.distributed import Client, LocalCluster

    paths = [os.fspath(path) for path in paths]
    if client is None:
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as local:
            return _run(local, paths, options)
    return _run(client, paths, options)


def _run(client: Any, paths: List[str], options: Dict[str, Any]) -> List[FileSummary]:
    # pure=False: the same path may be analysed again after the file changed.
    futures = client.map(summarise_file, paths, pure=False, **options)
    return client.gather(futures)
