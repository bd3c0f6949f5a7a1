"""The pixels of a region run read through the region run's readers and run through
run_points: the same pixels, the same flags and the same bits as the region run's rasters."""
import os
import pathlib
import subprocess

import numpy as np
import pytest

import ornax

pytest.importorskip("xarray")

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("ORNAX_BUILD_DIR", ROOT / "build")).resolve()
DAY = (2019, 200)


@pytest.fixture(scope="module")
def region(tmp_path_factory):
    """A generated 24 x 14 region run with -r0 into output/r0 and with -r1 into output/r1."""
    data = tmp_path_factory.mktemp("region_pixels")
    subprocess.run([str(BUILD / "ornax_make_region"), "-o", str(data), "-c", "24", "-r", "14", "-s", "3"],
                   check=True, capture_output=True)
    env = dict(os.environ, HOME_DIR=str(data))
    for switch in (0, 1):
        subprocess.run([str(BUILD / "ornax.x"), f"-r{switch}", "config/region.cfg", *map(str, DAY)],
                       cwd=data, env=env, check=True, capture_output=True)
        (data / "output").rename(data / f"r{switch}")
        (data / "output").mkdir()
    return data


def pixels(region, switch, monkeypatch):
    monkeypatch.setenv("HOME_DIR", str(region))
    monkeypatch.chdir(region)
    return ornax.read_region_pixels("config/region.cfg", *DAY, region_switch=switch)


@pytest.mark.parametrize("switch", [0, 1])
def test_points_of_the_region_give_the_region_runs_bits(region, switch, monkeypatch):
    inputs, line, column = pixels(region, switch, monkeypatch)
    out = ornax.run_points(**inputs, region_switch=switch, threads=2)
    ds = ornax.open_region_outputs(region / f"r{switch}")
    flags = ds["region_qc"].values
    # the pixels handed over are those the run gave to the core: computed (0) or failed there (1)
    given = np.zeros(flags.shape, dtype=bool)
    given[line - 1, column - 1] = True
    assert len(line) == given.sum() and (flags == 0).sum() > 100
    np.testing.assert_array_equal(given, (flags == 0) | (flags == 1))
    np.testing.assert_array_equal(out["quality_flag"], flags[line - 1, column - 1])
    for name in ds.data_vars:
        if name != "region_qc":
            np.testing.assert_array_equal(out[name], ds[name].values[line - 1, column - 1], err_msg=name)


def test_reading_the_pixels_publishes_nothing(region, monkeypatch):
    """No raster, record or temporary is left in the output folder, only the run lock every
    region run takes."""
    inputs, line, _ = pixels(region, 0, monkeypatch)
    assert len(line) > 0 and inputs["z_pbli"].shape == (len(line), inputs["th_pblk"].shape[1])
    assert {p.name for p in (region / "output").iterdir()} <= {".ornax-run.lock"}


def test_a_missing_configuration_is_named(region, monkeypatch):
    monkeypatch.setenv("HOME_DIR", str(region))
    monkeypatch.chdir(region)
    with pytest.raises(ValueError) as e:
        ornax.read_region_pixels("config/no_region.cfg", *DAY)
    assert "config/no_region.cfg" in str(e.value)
