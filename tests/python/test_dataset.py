"""run_dataset over an xarray.Dataset: maps, levels and hours by dimension name, names mapped,
units and flags from the program's tables, and dask chunks (also on a two-worker LocalCluster)
giving the eager call's values."""
import pathlib

import numpy as np
import pytest

import ornax

xr = pytest.importorskip("xarray")
ROOT = pathlib.Path(__file__).resolve().parents[2]
SITE = ROOT / "examples/site/cropland_site.dat"


def site_dataset(ny=4, nx=5):
    inputs = ornax.read_site(SITE, SITE.parent / "landcover.txt")
    inputs.pop("fc"), inputs.pop("hc")  # derived from each point's leaf area
    data = {}
    for name, value in inputs.items():
        if name in ("lat", "lon"):
            continue  # the map's coordinates give them
        a = np.asarray(value)
        if name in ("z_pbli", "th_pblk"):
            data[name] = (("level",), a)
        elif a.ndim == 1:
            data[name] = (("hour",), a)
        else:
            data[name] = ((), a)
    lat = np.linspace(35.0, 35.3, ny)
    lon = np.linspace(-98.0, -97.6, nx)
    data["xlai"] = (("lat", "lon"), np.linspace(0.2, 5.0, ny * nx).reshape(ny, nx))
    data["trad2"] = (("lat", "lon"), inputs["trad2"] + np.linspace(-2.0, 6.0, ny * nx).reshape(ny, nx))
    data["trad2"][1][0, 0] = np.nan  # one point not computed
    return xr.Dataset(data, coords={"lat": lat, "lon": lon}), inputs


def test_maps_give_the_points_values_with_units_and_flags():
    ds, inputs = site_dataset()
    out = ornax.run_dataset(ds)
    assert out.EDAY.dims == ("lat", "lon") and (out.lat == ds.lat).all()
    assert out.quality_flag.dtype == np.uint8 and int(out.quality_flag[0, 0]) != 0
    assert np.isnan(out.EDAY[0, 0]) and int((out.quality_flag == 0).sum()) > 10
    point = ornax.run_points(**dict(inputs, xlai=float(ds.xlai[2, 3]), trad2=float(ds.trad2[2, 3]),
                                    lat=float(ds.lat[2]), lon=float(ds.lon[3])))
    assert float(out.EDAY[2, 3]) == float(point["EDAY"])
    units = {v["name"]: v["cf_units"] for v in ornax.output_variables()}
    assert all(out[n].attrs["units"] == u for n, u in units.items())
    assert list(out.quality_flag.attrs["flag_values"]) == [f[0] for f in ornax.quality_flags()]


def test_names_are_mapped():
    ds, _ = site_dataset()
    renamed = ds.rename({"trad2": "lst_1030", "z_pbli": "z"})
    out = ornax.run_dataset(renamed, names={"trad2": "lst_1030", "z_pbli": "z"})
    xr.testing.assert_identical(out, ornax.run_dataset(ds))


@pytest.mark.parametrize("change,error,words", [
    (lambda ds: ds.drop_vars("trad1"), TypeError, "trad1"),
    (lambda ds: ds.rename({"level": "lev"}), ValueError, "no dimension 'level'"),
    (lambda ds: ds, KeyError, "no variable 'lst'"),
], ids=["missing_input", "levels_dimension", "mapped_name_absent"])
def test_errors_name_the_input(change, error, words):
    ds, _ = site_dataset()
    names = {"trad2": "lst"} if error is KeyError else None
    with pytest.raises(error) as e:
        ornax.run_dataset(change(ds), names=names)
    assert words in str(e.value)


def test_unknown_name_in_the_mapping_is_refused():
    with pytest.raises(TypeError, match="xlia"):
        ornax.run_dataset(site_dataset()[0], names={"xlia": "lai"})


def test_dask_chunks_run_lazily_and_equal_the_eager_call():
    pytest.importorskip("dask")
    ds, _ = site_dataset(6, 7)
    lazy = ornax.run_dataset(ds.chunk({"lat": 2, "lon": 3}))
    assert lazy.EDAY.chunks is not None  # nothing computed yet
    xr.testing.assert_identical(lazy.compute(), ornax.run_dataset(ds))


def test_a_two_worker_cluster_equals_the_eager_call():
    distributed = pytest.importorskip("distributed")
    ds, _ = site_dataset(6, 7)
    eager = ornax.run_dataset(ds)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False,
                                  dashboard_address=None) as cluster, distributed.Client(cluster):
        out = ornax.run_dataset(ds.chunk({"lat": 3, "lon": 4})).compute()
    xr.testing.assert_identical(out, eager)
