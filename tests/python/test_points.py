"""The Python module against the program: site runs, broadcasting, errors, NaN, threads."""
import json
import os
import pathlib
import subprocess

import numpy as np
import pytest

import ornax

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("ORNAX_BUILD_DIR", ROOT / "build"))
SITES = [("examples/site", n) for n in ("cropland_site.dat", "grassland_site.dat", "forest_site.dat")] + [
    ("tests/reference/site", n) for n in ("bare_sparse.dat", "deciduous_forest.dat", "forest_perennial.dat",
                                          "savanna.dat", "tundra_own_land_section.dat")]


def program_report(folder, name, tmp_path):
    exe = BUILD / "ornax.x"
    out = subprocess.run([str(exe), "-s", str(ROOT / folder / name), "-l", str(ROOT / folder / "landcover.txt")],
                         cwd=tmp_path, capture_output=True, text=True, check=True).stdout.splitlines()
    start = out.index(" ----- ORNAX Site Inputs ---------------------")
    return out[start:start + 41]


@pytest.mark.parametrize("folder,name", SITES, ids=[n for _, n in SITES])
def test_run_site_report_is_the_programs(folder, name, tmp_path):
    site = ornax.run_site(ROOT / folder / name, ROOT / folder / "landcover.txt")
    assert site["report"] == program_report(folder, name, tmp_path)


# the tundra site keeps its file's leaf size, cover fraction and canopy height beside the class's
POINT_SITES = SITES


@pytest.mark.parametrize("folder,name", POINT_SITES, ids=[n for _, n in POINT_SITES])
def test_run_points_agrees_with_the_site_run(folder, name):
    table = ROOT / folder / "landcover.txt"
    site = ornax.run_site(ROOT / folder / name, table)
    inputs = ornax.read_site(ROOT / folder / name, table)
    exact = ornax.run_points(**inputs, core="one_lane")
    vector = ornax.run_points(**inputs)
    assert exact["quality_flag"] == 0 and vector["quality_flag"] == 0
    for v in ornax.output_variables():
        n = v["name"]
        assert exact[n] == np.float32(site[n]), n        # the same core: the same bits
        tol = 0.5 if abs(site[n]) < 50 else 0.02 * abs(site[n])
        assert abs(vector[n] - site[n]) <= tol, n         # the vector core: reference tolerance


def bundled():
    return ornax.read_site(ROOT / "examples/site/cropland_site.dat", ROOT / "examples/site/landcover.txt")


def test_broadcasting_gives_the_shape_of_the_points():
    inputs = bundled()
    inputs["xlai"] = np.linspace(0.2, 5.0, 6).reshape(2, 3)
    inputs["taobs2"] = inputs["taobs2"] + np.array([0.0, 0.5, 1.0])
    out = ornax.run_points(**inputs)
    assert out["EDAY"].shape == (2, 3) and out["quality_flag"].shape == (2, 3)
    single = ornax.run_points(**dict(bundled(), xlai=5.0, taobs2=inputs["taobs2"][2]))
    assert out["EDAY"][1, 2] == single["EDAY"]


@pytest.mark.parametrize("change,error,words", [
    ({"xlai": np.zeros(3), "trad1": np.zeros(4)}, ValueError, "trad1: shape (4,)"),
    ({"tloc_day": np.arange(23.0)}, ValueError, "24 hourly values"),
    ({"z_pbli": np.arange(5.0)}, ValueError, "different numbers of levels"),
    ({"taobs1": 120.0}, ValueError, "taobs1 = 120"),
    ({"year": 2019.5}, ValueError, "year = 2019.5"),
    ({"xlia": 1.0}, TypeError, "xlia"),
    ({"trad2": "warm"}, TypeError, "trad2"),
], ids=["shapes", "hours", "levels", "out_of_range", "fraction_year", "unknown_name", "text"])
def test_errors_name_the_field_and_value(change, error, words):
    with pytest.raises(error) as e:
        ornax.run_points(**dict(bundled(), **change))
    assert words in str(e.value)


def test_nan_flags_the_point_never_good():
    inputs = bundled()
    inputs["trad2"] = np.array([inputs["trad2"], np.nan, inputs["trad2"]])
    hourly = np.tile(inputs["taobs_day"], (3, 1))
    hourly[2, 5] = np.nan
    inputs["taobs_day"] = hourly
    out = ornax.run_points(**inputs)
    assert list(out["quality_flag"]) == [0, 1 | 4 | 8 | 64, 1 | 16]
    assert np.isfinite(out["EDAY"][0]) and np.isnan(out["EDAY"][1:]).all()


def test_out_of_range_is_flagged_on_request():
    out = ornax.run_points(**dict(bundled(), taobs1=np.array([20.0, 120.0])), invalid="flag")
    assert list(out["quality_flag"]) == [0, 1 | 16]


def test_thread_count_changes_no_bit():
    rng = np.random.default_rng(7)
    inputs = dict(bundled(), xlai=rng.uniform(0, 6, 3000), trad2=bundled()["trad2"] + rng.uniform(-3, 8, 3000))
    one = ornax.run_points(**inputs, threads=1)
    two = ornax.run_points(**inputs, threads=3)
    for k in one:
        np.testing.assert_array_equal(one[k], two[k], err_msg=k)
    assert (one["quality_flag"] == 0).sum() > 100


def test_output_table_is_the_programs():
    names = [v["name"] for v in ornax.output_variables()]
    assert len(names) == 42 and names[0] == "TC1" and names[-1] == "ECDAY"
    assert all(v["units"] for v in ornax.output_variables())


def test_nan_in_any_input_flags_its_point():
    """Point k holds NaN in the k-th input (one level or hour of a series); the last none."""
    base = bundled()
    names = sorted(base)
    count = len(names) + 1
    inputs = {}
    for n in names:
        a = np.asarray(base[n], dtype=np.float32)
        inputs[n] = np.repeat(a[np.newaxis], count, axis=0)
    for k, n in enumerate(names):
        if inputs[n].ndim == 1:
            inputs[n][k] = np.nan
        else:
            inputs[n][k, inputs[n].shape[1] // 2] = np.nan
    out = ornax.run_points(**inputs)
    flags = out["quality_flag"]
    assert flags[-1] == 0 and np.isfinite(out["EDAY"][-1])
    for k, n in enumerate(names):
        assert flags[k] & 1, n
        for v in ornax.output_variables():
            assert np.isnan(out[v["name"]][k]), (n, v["name"])
        assert np.isnan(out["energy_balance"][k]), n


@pytest.mark.parametrize("threads,error,words", [
    (0, ValueError, "threads = 0: 1..1024"),
    (2 ** 40, ValueError, "threads = 1099511627776"),
    (2.5, TypeError, "threads = 2.5"),
], ids=["none", "huge", "fraction"])
def test_thread_counts_are_checked(threads, error, words):
    with pytest.raises(error) as e:
        ornax.run_points(**bundled(), threads=threads)
    assert words in str(e.value)


def test_no_points_give_empty_outputs():
    out = ornax.run_points(**dict(bundled(), xlai=np.zeros((0, 3))))
    assert out["EDAY"].shape == (0, 3) and out["quality_flag"].shape == (0, 3)


REFERENCE = ROOT / "tests/reference/site"
# the reference tolerances by unit: (absolute, relative) whichever is larger
TOLERANCE = {"deg C": (0.5, 0.0), "W m-2": (0.5, 0.01), "s m-1": (0.5, 0.02), "m": (5.0, 0.02),
             "MJ m-2 day-1": (0.05, 0.01), "radians": (0.005, 0.01)}


@pytest.mark.parametrize("core", ["vector", "one_lane"])
@pytest.mark.parametrize("name", [n for _, n in POINT_SITES if _ == "tests/reference/site"])
def test_run_points_meets_the_reference_values(name, core):
    expected = json.loads((REFERENCE / "expected.json").read_text())[name]["outputs"]
    out = ornax.run_points(**ornax.read_site(REFERENCE / name, REFERENCE / "landcover.txt"), core=core)
    assert out["quality_flag"] == 0
    for v in ornax.output_variables():
        absolute, relative = TOLERANCE[v["units"]]
        want = expected[v["name"]]
        assert abs(float(out[v["name"]]) - want) <= max(absolute, relative * abs(want)), v["name"]


SHAPES = {"grid": (4, 5), "line": (20,)}


def varied_points(shape=SHAPES["grid"]):
    """The bundled site over a shape of points: leaf area, temperatures and the hourly air
    temperature varied (float32 values), the integer fields left as scalars."""
    base = bundled()
    rng = np.random.default_rng(5)
    varied = {}
    for name, value in base.items():
        a = np.asarray(value)
        if a.dtype.kind in "iu":
            varied[name] = value  # broadcast from a scalar in every layout
            continue
        varied[name] = np.ascontiguousarray(np.broadcast_to(a.astype(np.float32), shape + a.shape))
    varied["xlai"] = rng.uniform(0.2, 5.5, shape).astype(np.float32)
    varied["trad2"] = (varied["trad2"] + rng.uniform(-3, 6, shape)).astype(np.float32)
    varied["taobs_day"] = (varied["taobs_day"] + rng.uniform(-1, 1, shape + (24,))).astype(np.float32)
    return varied


def strided_view(a):
    """A view of the values of a holding every second entry of a larger array's first axis."""
    big = np.zeros((2 * a.shape[0],) + a.shape[1:], dtype=a.dtype)
    big[::2] = a
    return big[::2]


LAYOUTS = {
    "contiguous": np.ascontiguousarray,
    "fortran": np.asfortranarray,  # series values far apart, points' axes reversed
    "strided": strided_view,
    "reversed": lambda a: np.ascontiguousarray(a[::-1])[::-1],  # a negative stride
    "transposed": lambda a: np.ascontiguousarray(a.swapaxes(0, -1)).swapaxes(0, -1),
}


@pytest.mark.parametrize("layout", sorted(LAYOUTS))
@pytest.mark.parametrize("dtype", ["float32", "float64"])
@pytest.mark.parametrize("shape", sorted(SHAPES))
def test_any_layout_and_precision_gives_the_contiguous_float32_bits(shape, dtype, layout):
    points = varied_points(SHAPES[shape])
    expected = ornax.run_points(**points, threads=2)
    assert (expected["quality_flag"] == 0).sum() > 10
    given = {}
    for name, value in points.items():
        if isinstance(value, np.ndarray):
            view = LAYOUTS[layout](value.astype(dtype))
            np.testing.assert_array_equal(view, value)
            given[name] = view
        else:
            given[name] = value
    if layout != "contiguous":
        assert not given["taobs_day"].flags.c_contiguous
    got = ornax.run_points(**given, threads=2)
    for k in expected:
        np.testing.assert_array_equal(got[k], expected[k], err_msg=k)


def test_float64_rounds_to_the_nearest_float32_as_astype():
    """float64 values between float32 ones give the results of their astype(float32)."""
    points = varied_points()
    rng = np.random.default_rng(9)
    wide = {k: (v.astype(np.float64) * (1 + rng.uniform(-2e-7, 2e-7, v.shape)) if isinstance(v, np.ndarray) else v)
            for k, v in points.items()}
    assert any((w.astype(np.float32) != points[k]).any() for k, w in wide.items() if isinstance(w, np.ndarray))
    narrow = {k: (w.astype(np.float32) if isinstance(w, np.ndarray) else w) for k, w in wide.items()}
    got, expected = ornax.run_points(**wide), ornax.run_points(**narrow)
    for k in expected:
        np.testing.assert_array_equal(got[k], expected[k], err_msg=k)


@pytest.mark.parametrize("change,error,words", [
    ({"xlai": np.zeros(3)}, ValueError, "xlai: shape (3) is not the points' shape"),
    ({"taobs_day": np.zeros((1, 23))}, ValueError, "taobs_day: shape (1, 23) is not the points' shape with 24"),
    ({"trad1": np.zeros(1, dtype=np.int32)}, TypeError, "float32 or float64 values expected"),
    ({"xlia": np.zeros(1)}, TypeError, "unknown input xlia"),
], ids=["points", "hours", "dtype", "name"])
def test_the_compiled_call_checks_what_it_reads(change, error, words):
    """The compiled call reads arrays in place: a shape or type it was not given for is
    refused, never read past."""
    flat = {k: np.atleast_1d(np.asarray(v, dtype=np.float32)) for k, v in bundled().items()}
    flat = {k: (v[np.newaxis] if k in ("z_pbli", "th_pblk") or v.shape == (24,) else v) for k, v in flat.items()}
    flat.update(change)
    with pytest.raises(error) as e:
        ornax._ornax.run_points(flat, [1], flat["z_pbli"].shape[-1], 0, 1, False, False)
    assert words in str(e.value)

