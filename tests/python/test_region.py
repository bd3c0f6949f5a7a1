"""The region reader on a region run made here: values, row order, units, flags, days, errors."""
import json
import os
import pathlib
import shutil
import subprocess

import numpy as np
import pytest

import ornax

xr = pytest.importorskip("xarray")

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("ORNAX_BUILD_DIR", ROOT / "build")).resolve()
DAYS = (200, 201)


@pytest.fixture(scope="module")
def run(tmp_path_factory):
    """A generated 20 x 12 region run over two days: <data>/output/2019200 and 2019201."""
    data = tmp_path_factory.mktemp("region")
    subprocess.run([str(BUILD / "ornax_make_region"), "-o", str(data), "-c", "20", "-r", "12", "-n", "2"],
                   check=True, capture_output=True)
    subprocess.run([str(BUILD / "ornax.x"), "-r0", "config/region.cfg", "2019", str(DAYS[0]), str(DAYS[1])],
                   cwd=data, env=dict(os.environ, HOME_DIR=str(data)), check=True, capture_output=True)
    return data / "output"


def record(day_dir):
    return json.loads((day_dir / "run_info.json").read_text())


def raw(path):
    return np.fromfile(path, dtype="<f4")


def test_values_are_the_rasters_with_missing_as_nan(run):
    day = run / "2019200"
    ds = ornax.open_region_outputs(day)
    names = [v["name"] for v in record(day)["outputs"]["variables"]]
    assert sorted(ds.data_vars) == sorted(names + ["region_qc"])
    for name in names:
        values = raw(day / f"{name}.bin")
        got = ds[name].values.ravel()
        missing = values == np.float32(-999.0)
        assert missing.any() and not missing.all(), name
        assert np.isnan(got[missing]).all(), name
        np.testing.assert_array_equal(got[~missing], values[~missing], err_msg=name)
    np.testing.assert_array_equal(ds["region_qc"].values.ravel(), raw(day / "region_qc.bin").astype(np.uint8))
    # a computed pixel has values, any other none
    good = ds["region_qc"].values == 0
    assert np.isfinite(ds["EDAY"].values[good]).all() and np.isnan(ds["EDAY"].values[~good]).all()


def test_rows_run_from_the_south_as_the_raster_descriptors_say(run):
    """gdallocationinfo reads the run's own .vrt descriptor at each cell centre."""
    day = run / "2019200"
    ds = ornax.open_region_outputs(day)
    lat, lon = np.meshgrid(ds.lat.values, ds.lon.values, indexing="ij")
    cells = [(i, j) for i in range(0, lat.shape[0], 3) for j in range(0, lat.shape[1], 4)] + [(lat.shape[0] - 1, 0)]
    text = "".join(f"{lon[i, j]} {lat[i, j]}\n" for i, j in cells)
    out = subprocess.run(["gdallocationinfo", "-valonly", "-wgs84", str(day / "EDAY.vrt")], input=text,
                         capture_output=True, text=True, check=True).stdout.split()
    assert len(out) == len(cells)
    for (i, j), v in zip(cells, out):
        want = np.float32(v)
        got = ds["EDAY"].values[i, j]
        assert (np.isnan(got) and want == -999) or got == want, (i, j)
    assert ds.lat.values[0] < ds.lat.values[-1]
    g = record(day)["run_grid"]
    assert ds.lat.values[0] == pytest.approx(g["south_lat"] + g["dlat"] / 2)
    assert ds.lon.values[-1] == pytest.approx(g["east_lon"] - g["dlon"] / 2)


def test_attributes_come_from_the_program_tables_and_the_record(run):
    day = run / "2019200"
    ds = ornax.open_region_outputs(day)
    table = {v["name"]: v for v in ornax.output_variables()}
    info = record(day)
    for v in info["outputs"]["variables"]:
        a = ds[v["name"]].attrs
        assert a["long_name"] == table[v["name"]]["description"] == v["description"]
        assert a["units"] == table[v["name"]]["cf_units"] and a["ornax_units"] == v["units"]
        assert a["computed_pixels"] == v["computed_pixels"]
    flags = ornax.quality_flags()
    qc = ds["region_qc"].attrs
    assert list(qc["flag_values"]) == [f[0] for f in flags]
    assert qc["flag_meanings"].split() == [f[1] for f in flags]
    assert ds.attrs["year"] == 2019 and ds.attrs["day_of_year"] == 200 and ds.attrs["date"] == info["date"]
    assert ds.attrs["pixels_computed"] == int((ds["region_qc"].values == 0).sum())
    assert ds["time"].values == np.datetime64("2019-07-19")


def test_a_folder_of_days_gives_a_time_dimension(run):
    ds = ornax.open_region_outputs(run)
    assert ds.sizes["time"] == len(DAYS) and list(ds["day_of_year"].values) == list(DAYS)
    np.testing.assert_array_equal(ds["time"].values, np.array(["2019-07-19", "2019-07-20"], dtype="datetime64[ns]"))
    for k, doy in enumerate(DAYS):
        one = ornax.open_region_outputs(run / f"2019{doy}")
        np.testing.assert_array_equal(ds["EDAY"].values[k], one["EDAY"].values)
        np.testing.assert_array_equal(ds["region_qc"].values[k], one["region_qc"].values)
    assert not np.array_equal(ds["EDAY"].values[0], ds["EDAY"].values[1], equal_nan=True)


def test_variables_picks_outputs(run):
    ds = ornax.open_region_outputs(run / "2019200", variables=["EDAY"])
    assert sorted(ds.data_vars) == ["EDAY", "region_qc"]
    with pytest.raises(KeyError, match="no TC1"):
        ornax.open_region_outputs(run / "2019200", variables=["TC1"])


def truncate(day):
    (day / "EDAY.bin").write_bytes((day / "EDAY.bin").read_bytes()[:-4])


def unlink_qc(day):
    (day / "region_qc.bin").unlink()


def spoil_record(day):
    (day / "run_info.json").write_text("{\"run_grid\": ")


def drop_grid(day):
    info = record(day)
    del info["run_grid"]["nrows"]
    (day / "run_info.json").write_text(json.dumps(info))


def no_record(day):
    (day / "run_info.json").unlink()


@pytest.mark.parametrize("spoil,error,words", [
    (truncate, ValueError, "EDAY.bin: 956 bytes; the run grid of 20 x 12 4-byte values needs 960"),
    (unlink_qc, FileNotFoundError, "region_qc.bin: raster missing"),
    (spoil_record, ValueError, "run_info.json: not a readable run record"),
    (drop_grid, ValueError, "run_info.json: run record without its grid"),
    (no_record, FileNotFoundError, "run_info.json: no run record"),
], ids=["short_raster", "no_quality_raster", "bad_json", "no_rows", "no_record"])
def test_errors_name_the_file(run, tmp_path, spoil, error, words):
    day = tmp_path / "2019200"
    shutil.copytree(run / "2019200", day)
    spoil(day)
    with pytest.raises(error) as e:
        ornax.open_region_outputs(day)
    assert str(day) in str(e.value) and words in str(e.value)


def test_days_with_different_grids_are_refused(run, tmp_path):
    shutil.copytree(run / "2019200", tmp_path / "2019200")
    shutil.copytree(run / "2019201", tmp_path / "2019201")
    info = record(tmp_path / "2019201")
    info["run_grid"]["south_lat"] += 1.0
    (tmp_path / "2019201" / "run_info.json").write_text(json.dumps(info))
    with pytest.raises(ValueError, match="2019201.*run grid differs"):
        ornax.open_region_outputs(tmp_path)


def test_a_failed_run_is_not_passed_off_as_clean(run, tmp_path):
    day = tmp_path / "2019200"
    shutil.copytree(run / "2019200", day)
    info = record(day)
    info["exit_status"] = 3
    (day / "run_info.json").write_text(json.dumps(info))
    with pytest.warns(UserWarning, match="exit_status 3"):
        ds = ornax.open_region_outputs(day)
    assert ds.attrs["exit_status"] == 3


def test_flags_outside_a_byte_become_the_fill(run, tmp_path):
    day = tmp_path / "2019200"
    shutil.copytree(run / "2019200", day)
    qc = raw(day / "region_qc.bin")
    qc[:3] = [-999.0, 0.5, np.nan]
    qc.astype("<f4").tofile(day / "region_qc.bin")
    flags = ornax.open_region_outputs(day)["region_qc"].values.ravel()
    assert list(flags[:3]) == [254, 254, 254] and 254 not in [f[0] for f in ornax.quality_flags()]


def test_an_empty_folder_is_refused(tmp_path):
    with pytest.raises(FileNotFoundError, match="no dated day folder"):
        ornax.open_region_outputs(tmp_path)
    with pytest.raises(FileNotFoundError, match="no such folder"):
        ornax.open_region_outputs(tmp_path / "absent")


def test_a_day_without_its_record_is_named_not_dropped_silently(run, tmp_path):
    shutil.copytree(run / "2019200", tmp_path / "2019200")
    shutil.copytree(run / "2019201", tmp_path / "2019201")
    (tmp_path / "2019201" / "run_info.json").unlink()
    with pytest.warns(UserWarning, match="2019201.*no run record; the day is left out"):
        ds = ornax.open_region_outputs(tmp_path, variables="EDAY")
    assert ds.sizes["time"] == 1 and sorted(ds.data_vars) == ["EDAY", "region_qc"]
