"""The pip package describes the module the build makes: its version, files and notebook."""
import os
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


@pytest.mark.skipif(os.environ.get("ORNAX_TEST_WHEEL") != "1",
                    reason="builds the library a second time (minutes on two cores): ORNAX_TEST_WHEEL=1")
def test_wheel_installs_into_a_clean_venv_and_runs_a_point(tmp_path):
    """The wheel, built once offline with Debian's build packages, installs into a fresh venv
    and runs the bundled site there, away from the source tree."""
    wheels = tmp_path / "wheels"
    build = subprocess.run([sys.executable, "-m", "pip", "wheel", str(ROOT), "--no-build-isolation",
                            "--no-deps", "-w", str(wheels)], capture_output=True, text=True)
    assert build.returncode == 0, build.stdout[-3000:] + build.stderr[-3000:]
    wheel = next(wheels.glob(f"ornax-{ornax.__version__}-*.whl"))
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)], check=True)
    python = venv / "bin" / "python"
    subprocess.run([str(python), "-m", "pip", "install", "--no-deps", "--no-index", str(wheel)], check=True)
    site = ROOT / "examples/site"
    code = ("import ornax, sys; o = ornax.run_points(**ornax.read_site(sys.argv[1], sys.argv[2]));"
            "print(ornax.__file__, ornax.__version__, int(o['quality_flag']), float(o['EDAY']))")
    run = subprocess.run([str(python), "-c", code, str(site / "cropland_site.dat"), str(site / "landcover.txt")],
                         cwd=tmp_path, env={"PATH": os.environ.get("PATH", "")}, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    where, version, flag, eday = run.stdout.split()
    assert str(venv) in where and version == ornax.__version__ and flag == "0" and float(eday) > 0
