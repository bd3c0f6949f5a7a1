"""Builds the compiled part of the ornax package with the project's CMake (target
ornax_python) and puts it into the wheel beside the package files.

    pip install .                                    # where pip is available
    python3 -m pip wheel . --no-build-isolation --no-deps

CMake, a C++20 compiler, pybind11 and numpy must be installed (Debian: see
tools/check_deps.sh run plus pybind11-dev python3-pybind11 python3-numpy).
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    match = re.search(r"project\(ornax VERSION ([0-9.]+)", text)
    if not match:
        raise RuntimeError("CMakeLists.txt: no project(ornax VERSION ...) line")
    return match.group(1)


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = pathlib.Path(self.build_temp).resolve() / "cmake"
        build_dir.mkdir(parents=True, exist_ok=True)
        configure = ["cmake", "-S", str(ROOT), "-B", str(build_dir), "-DCMAKE_BUILD_TYPE=Release",
                     f"-DORNAX_PYTHON={sys.executable}"]
        try:  # pybind11 installed by pip (an isolated build) carries its CMake files
            import pybind11
            configure += [f"-Dpybind11_DIR={pybind11.get_cmake_dir()}"]
        except ImportError:
            pass
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        if shutil.which("ccache"):
            configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
        jobs = os.environ.get("ORNAX_JOBS", "2")
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "ornax_python", "-j", jobs], check=True)
        built = sorted((build_dir / "python" / "ornax").glob("_ornax*.so"))
        if not built:
            raise RuntimeError(f"{build_dir}/python/ornax: no _ornax module built "
                               "(is pybind11 found? see the CMake output above)")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


setup(
    version=project_version(),
    ext_modules=[CMakeExtension("ornax._ornax")],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": "build/pip"}, "egg_info": {"egg_base": "build/pip"}},
    zip_safe=False,
)
