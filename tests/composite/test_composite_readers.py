"""Composites of a generated region run read back by other tools: xarray opens the season
as one dataset with its time axis and bounds, GDAL reads the CRS of the NetCDF file and of
the window VRTs, and the anomaly file opens the same way."""
import os
import pathlib
import subprocess

import numpy as np
import pytest
import xarray as xr

BUILD = pathlib.Path(os.environ.get("ORNAX_BUILD_DIR", pathlib.Path(__file__).resolve().parents[2] / "build"))


def run(args, cwd):
    return subprocess.run([str(a) for a in args], cwd=cwd, capture_output=True, text=True, check=True)


@pytest.fixture(scope="module")
def season(tmp_path_factory):
    root = tmp_path_factory.mktemp("season")
    run([BUILD / "ornax_make_region", "-o", root, "-c", "20", "-r", "12", "-s", "5", "-y", "2019",
         "-d", "200", "-n", "6"], root)
    env = dict(os.environ, HOME_DIR=str(root))
    subprocess.run([str(BUILD / "ornax.x"), "-r0", "config/region.cfg", "2019", "200", "205"], cwd=root,
                   env=env, capture_output=True, check=True)
    out = root / "composites"
    run([BUILD / "ornax_composite", "-w", "2", "-o", out, root / "output"], root)
    return out


def test_season_opens_as_one_dataset_with_its_time_axis(season):
    with xr.open_dataset(season / "ornax_composite.nc") as ds:
        assert ds.sizes["time"] == 3
        starts = ds["time_bnds"].values[:, 0]
        ends = ds["time_bnds"].values[:, 1]
        assert list((ends - starts) / np.timedelta64(1, "D")) == [2, 2, 2]
        assert str(ds["time"].values[0])[:10] == "2019-07-20"  # middle of 19-20 July
        assert ds["ET_MM"].attrs["cell_methods"] == "time: sum"
        assert ds["ET_MM"].attrs["units"] == "mm"
        assert ds["lat_bnds"].shape == (12, 2) and ds["lon_bnds"].shape == (20, 2)
        et = ds["ET_MM"].values
        assert np.isfinite(et).any() and np.nanmin(et) > 0
        np.testing.assert_allclose(ds["ET_SUM"].values, et * 2.45, rtol=1e-5)


def test_gdal_reads_the_crs_of_the_netcdf_and_the_vrt(season):
    for source in (f"NETCDF:{season / 'ornax_composite.nc'}:ET_MM", str(season / "2019200_2019201" / "ET_MM.vrt")):
        srs = run(["gdalsrsinfo", "-o", "epsg", source], season).stdout
        assert "EPSG:4326" in srs, source
        info = run(["gdalinfo", source], season).stdout
        assert "Origin = (-100.0000" in info and ",34.6000" in info, info


def test_anomaly_file_opens_with_its_windows(season, tmp_path):
    out = tmp_path / "anomaly.nc"
    run([BUILD / "ornax_composite", "--anomaly", "--min-years", "2", "-o", out, season / "ornax_composite.nc"],
        tmp_path)
    with xr.open_dataset(out) as ds:
        assert ds.sizes["time"] == 3
        # one year only: every pixel flagged as having too few years
        flags = ds["ANOMALY_FLAG"].values
        assert set(np.unique(flags[np.isfinite(flags)])) == {1.0}
        assert ds["ANOMALY_FLAG"].attrs["flag_meanings"].split()[1] == "too_few_years"
