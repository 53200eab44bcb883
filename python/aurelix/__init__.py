"""Aurelix for Python: sound capture and per-block analysis with NumPy arrays.

``Aurel`` is the control (properties and methods by their own names, events through
``on``); ``pump`` runs the message loop; ``analyze`` runs the offline analysis of
``aurelix analyze`` on a file; ``aurelix.batch`` spreads it over a Dask cluster.
"""

from typing import Any, Dict, List

from . import _aurelix
from .control import Aurel
from .errors import AnalysisError, RuntimeError
from .offline import Analysis, analyze

pump = _aurelix.pump
set_test_signal = _aurelix.set_test_signal


def devices(output: bool = False) -> List[Dict[str, Any]]:
    """The input devices (or the outputs) as ``aurelix devices --json`` lists them: dicts
    with index, name, default and direction. Device 0 is what opens without choosing one."""
    return _aurelix.devices(output)


def __getattr__(name: str) -> Any:
    # The batch module imports Dask, which takes a while; only those who use it pay.
    if name == "batch":
        import importlib

        return importlib.import_module(".batch", __name__)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


__version__ = _aurelix.__version__
__all__ = ["Aurel", "RuntimeError", "AnalysisError", "Analysis", "analyze", "pump",
           "devices", "set_test_signal", "batch"]
