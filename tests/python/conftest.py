import os
import subprocess
import tempfile
from pathlib import Path

import pytest

# The settings store must never touch the user's own file: point it away before any control
# is placed.
os.environ["XDG_CONFIG_HOME"] = tempfile.mkdtemp(prefix="aurelix-pytest-")


@pytest.fixture(scope="session")
def command():
    """The aurelix command of the same build."""
    build = Path(__file__).resolve().parents[2] / "build"
    return os.environ.get("AURELIX_COMMAND", str(build / "cli" / "aurelix"))


@pytest.fixture(scope="session")
def make_sound(tmp_path_factory):
    """make_sound(name, *sox_effects, channels=1): a 16-bit WAV at 44100 Hz, made by sox."""
    folder = tmp_path_factory.mktemp("sounds")

    def make(name, *effects, channels=1):
        path = folder / name
        subprocess.run(["sox", "-n", "-r", "44100", "-c", str(channels), "-b", "16", str(path),
                        *effects], check=True)
        return str(path)

    return make
