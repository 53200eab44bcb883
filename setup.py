"""Builds the compiled core of the aurelix Python package with the project's own CMake build.

AURELIX_BUILD_DIR names a CMake build tree to reuse (configured here when it is new);
otherwise the build happens in setuptools' temporary folder.
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version() -> str:
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(aurelix VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext: Extension) -> None:
        build_dir = Path(os.environ.get("AURELIX_BUILD_DIR") or Path(self.build_temp) / "cmake")
        if not (build_dir / "CMakeCache.txt").exists():
            generator = ["-G", "Ninja"] if shutil.which("ninja") else []
            subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build_dir), *generator,
                            "-DCMAKE_BUILD_TYPE=Release", "-DAURELIX_BUILD_TESTS=OFF",
                            "-DAURELIX_BUILD_BENCHMARKS=OFF", "-DAURELIX_BUILD_PYTHON=ON",
                            f"-DPython_EXECUTABLE={sys.executable}"], check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "aurelix_python",
                        "-j", jobs], check=True)
        built = next((build_dir / "python" / "aurelix").glob("_aurelix*.so"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=project_version(),
    packages=["aurelix"],
    package_dir={"": "python"},
    package_data={"aurelix": ["*.pyi", "py.typed"]},
    ext_modules=[Extension("aurelix._aurelix", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Out of the way of the CMake build tree, which is build/ itself.
    options={"build": {"build_base": "build/setuptools"}},
)
