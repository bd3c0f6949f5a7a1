"""The example notebook: stored without outputs, and its code runs headless from its folder."""
import json
import os
import pathlib
import subprocess
import sys

import pytest

import ornax

ROOT = pathlib.Path(__file__).resolve().parents[2]
NOTEBOOKS = sorted((ROOT / "examples/notebooks").glob("*.ipynb"))


def cells(path, kind):
    return [c for c in json.loads(path.read_text())["cells"] if c["cell_type"] == kind]


def test_there_is_a_notebook():
    assert NOTEBOOKS


@pytest.mark.parametrize("path", NOTEBOOKS, ids=[p.name for p in NOTEBOOKS])
def test_stored_without_outputs(path):
    for cell in cells(path, "code"):
        assert cell["outputs"] == [] and cell["execution_count"] is None, "".join(cell["source"])[:60]


@pytest.mark.parametrize("path", NOTEBOOKS, ids=[p.name for p in NOTEBOOKS])
def test_code_runs_headless(path, tmp_path):
    pytest.importorskip("matplotlib")
    script = "\n\n".join("".join(c["source"]) for c in cells(path, "code"))
    # what the notebook computed, for the checks below
    script += "\n\nimport json as _j\nprint('RESULT', _j.dumps({'site': float(site['EDAY']), " \
              "'points': int(good.size), 'computed': int(good.sum()), " \
              "'rises': bool(out['ECDAY'][good][-1] > out['ECDAY'][good][0])}))\n"
    # the ornax this test imports, wherever the working directory is
    here = str(pathlib.Path(ornax.__file__).resolve().parents[1])
    path_list = [here] + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p]
    env = dict(os.environ, MPLBACKEND="Agg", MPLCONFIGDIR=str(tmp_path), PYTHONPATH=os.pathsep.join(path_list))
    run = subprocess.run([sys.executable, "-c", script], cwd=path.parent, env=env,
                         capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr[-2000:]
    result = json.loads(run.stdout.rsplit("RESULT ", 1)[1])
    site = ornax.run_site(ROOT / "examples/site/cropland_site.dat", ROOT / "examples/site/landcover.txt")
    assert result["site"] == pytest.approx(site["EDAY"], abs=0)
    assert result["computed"] == result["points"] and result["rises"]
