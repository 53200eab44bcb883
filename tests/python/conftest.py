import os
import tempfile

# The settings store must never touch the user's own file: point it away before any control
# is placed.
os.environ["XDG_CONFIG_HOME"] = tempfile.mkdtemp(prefix="aurelix-pytest-")

