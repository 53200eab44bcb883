"""Aurelix for Python: sound capture and per-block analysis with NumPy arrays.

``Aurel`` is the control (properties and methods by their own names, events through
``on``); ``pump`` runs the message loop.
"""

from . import _aurelix
from .control import Aurel
from .errors import RuntimeError

pump = _aurelix.pump
set_test_signal = _aurelix.set_test_signal

__version__ = _aurelix.__version__
__all__ = ["Aurel", "RuntimeError", "pump", "set_test_signal"]
