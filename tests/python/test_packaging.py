"""The pip package describes the module the build makes: its version, files and notebook."""
import pathlib
import subprocess
import sys

import pytest

import ornax

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_package_version_is_the_programs():
    pytest.importorskip("setuptools")
    run = subprocess.run([sys.executable, "setup.py", "--version"], cwd=ROOT, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert run.stdout.split()[-1] == ornax.__version__


def test_package_holds_every_module_file():
    """The wheel takes src/python/ornax; the build copies the same files beside _ornax."""
    source = sorted(p.name for p in (ROOT / "src/python/ornax").glob("*.py"))
    built = sorted(p.name for p in pathlib.Path(ornax.__file__).parent.glob("*.py"))
    assert source == built and "region.py" in source
    text = (ROOT / "pyproject.toml").read_text()
    assert 'package-dir = {"" = "src/python"}' in text and 'packages = ["ornax"]' in text
