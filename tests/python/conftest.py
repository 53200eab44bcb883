import os
import subprocess
import tempfile

import pytest

# Keep the settings store off the user's own file, before any control is placed.
os.environ["XDG_CONFIG_HOME"] = tempfile.mkdtemp(prefix="aurelix-pytest-")


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
