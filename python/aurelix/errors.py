"""The exceptions of the aurelix package."""

import builtins


class RuntimeError(builtins.RuntimeError):
    """A run-time error of the control, with its number, source and description.

    ``number`` is the error number (382: not at run time, 387: not at design time, 9:
    subscript out of range, ...), ``source`` is "Aurelix" for the library's own errors and
    ``description`` the text, which for errors passed on through the library starts with the
    chain of procedures they climbed, one per line.
    """

    def __init__(self, number: int, source: str, description: str) -> None:
        super().__init__(f"error {number}: {description}")
        self.number = number
        self.source = source
        self.description = description

    def __reduce__(self):
        # Exceptions travel between Dask workers by pickling.
        return (type(self), (self.number, self.source, self.description))



class AnalysisError(builtins.RuntimeError):
    """An offline analysis failed: the file is unreadable or not sound, or the analysis
    stopped part way. The message names the file."""
