"""read_site hands run_points what the site run uses: run_points(**read_site(...)) prints, to the
reference tolerances, every value `ornax.x -s` prints, also for site files whose own land section
(leaf values, leaf size, heights, minimum cover) differs from their class."""
import pathlib

import numpy as np
import pytest

import ornax
from site_report import BUILD, mismatches, printed_values

REFERENCE = pathlib.Path("/work/shared/reference/site")
LABEL_END = 31  # the land section's values start after the label and its colon

# land-section line of the site file (1-based) and the values written there
LAND_LINES = {"leaf": 4, "dead": 5, "xl": 6, "heights": 7, "soil": 8}
CHANGES = [
    ("tundra_own_land_section.dat", {}),
    ("savanna.dat", {"xl": (0.12,)}),
    ("savanna.dat", {"heights": (0.4, 9.0), "soil": (1.0, 0.31)}),
    ("deciduous_forest.dat", {"leaf": (0.80, 0.42, 0.93), "dead": (0.45, 0.30, 0.92)}),
    ("forest_perennial.dat", {"xl": (0.01,), "heights": (3.0, 14.0)}),
    ("bare_sparse.dat", {"soil": (2.0, 0.25), "xl": (0.09,)}),
]
IDS = ["tundra_own", "savanna_leaf_size", "savanna_heights_fcmin", "deciduous_leaf_values",
       "forest_size_heights", "bare_fcmin_size"]


def site_file(name, changes, folder):
    lines = (REFERENCE / name).read_text().splitlines(keepends=True)
    for key, values in changes.items():
        n = LAND_LINES[key] - 1
        lines[n] = lines[n][:LABEL_END] + "".join(f"{v:10.3f}" for v in values) + "\n"
    path = folder / name
    path.write_text("".join(lines))
    return path


@pytest.mark.parametrize("name,changes", CHANGES, ids=IDS)
def test_run_points_prints_what_the_site_run_prints(name, changes, tmp_path):
    if not (REFERENCE / name).exists() or not (BUILD / "ornax.x").exists():
        pytest.skip("the reference site cases or ornax.x are not here")
    table = REFERENCE / "landcover.txt"
    site = site_file(name, changes, tmp_path)
    inputs = ornax.read_site(site, table)
    own = ornax.read_site(site)  # the file's land section, no class values
    assert inputs["xl"] == own["xl"] and inputs["fc"] == own["fc"] and inputs["hc"] == own["hc"]
    expected = printed_values(site, table, tmp_path)
    for core in ("vector", "one_lane"):
        out = ornax.run_points(**inputs, core=core)
        assert out["quality_flag"] == 0, core
        assert mismatches(expected, inputs, out) == [], core
    # the one-lane core is the site run's: the same bits
    site_run = ornax.run_site(site, table)
    exact = ornax.run_points(**inputs, core="one_lane")
    for v in ornax.output_variables():
        assert exact[v["name"]] == np.float32(site_run[v["name"]]), v["name"]


@pytest.mark.parametrize("name,changes", CHANGES[:2], ids=IDS[:2])
def test_the_cases_differ_from_their_class(name, changes, tmp_path):
    """The cases above exercise the file's own land section: its leaf size is not the class's,
    and the class's leaf size would give another result."""
    if not (REFERENCE / name).exists():
        pytest.skip("the reference site cases are not here")
    table = REFERENCE / "landcover.txt"
    site = site_file(name, changes, tmp_path)
    inputs = ornax.read_site(site, table)
    land = int(inputs["landcover"])
    class_xl = float(table.read_text().splitlines()[land + 1].split()[10])
    assert abs(float(inputs["xl"]) - class_xl) > 1e-3
    with_class = ornax.run_points(**dict(inputs, xl=class_xl), core="one_lane")
    exact = ornax.run_points(**inputs, core="one_lane")
    assert with_class["H2"] != exact["H2"]
