import os
import subprocess
import tempfile
from pathlib import Path

import pytest

# The settings store must never touch the user's own file: point it away before any control
# is placed.
os.environ["XDG_CONFIG_HOME"] = tempfile.mkdtemp(prefix="aurelix-pytest-")

BUILD = Path(__file__).resolve().parents[2] / "build"


@pytest.fixture(scope="session")
def command():
    """The aurelix command of the same build."""
    path = Path(os.environ.get("AURELIX_COMMAND", BUILD / "cli" / "aurelix"))
    if not path.exists():
        pytest.fail(f"the aurelix command is not built: {path}")
    return str(path)


@pytest.fixture(scope="session")
def make_sound(tmp_path_factory):
    """make_sound(name, *effects, channels=1) writes a 16-bit WAV at 44100 Hz with sox:
    make_sound("a.wav", "synth", "1", "sine", "1000", "sine", "3000", channels=2)."""
    folder = tmp_path_factory.mktemp("sounds")

    def make(name, *effects, channels=1):
        path = folder / name
        subprocess.run(["sox", "-n", "-r", "44100", "-c", str(channels), "-b", "16", str(path),
                        *effects], check=True)
        return str(path)

    return make
