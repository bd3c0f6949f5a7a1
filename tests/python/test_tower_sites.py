"""Site files built from flux-tower records by ornax_tower_sites: run_points(**read_site(...))
prints what `ornax.x -s` prints on every tower day; the tool prints its assumptions, skips a
day with a gap naming it, follows the record in the values it writes, and refuses a bad
record naming the file and the line. The records are read where they are and skipped when
absent; days are built into temporary folders."""
import csv
import math
import os
import pathlib
import re
import subprocess

import pytest

import ornax
from site_report import BUILD, ROOT, mismatches, site_run

TOWERS = pathlib.Path(os.environ.get("ORNAX_TOWERS", ROOT.parent / "shared/validation/towers"))
RECORDS = ["AT_Neu_Jul_2010.csv", "DE_Tha_Jun_2014.csv", "FR_Pue_May_2012.csv",
           "monsoon90_table.txt"]
HOURLY = "monsoon90_table.txt"  # the hourly energy-balance table
TOOL = BUILD / "ornax_tower_sites"
TABLE = ROOT / "examples/site/landcover.txt"
HEADER = "year,doy,hour,Tair,PPFD,VPD,pressure,wind,LW_up,LW_down,Rn,LE,LE_qc,H,H_qc,G"


def need(*paths):
    for p in paths:
        if not p.exists():
            pytest.skip(f"{p} is not here")


def build(folder, *records, mode="build"):
    return subprocess.run([str(TOOL), mode, "--table", str(TABLE), str(folder)]
                          + [str(r) for r in records], capture_output=True, text=True)


@pytest.fixture(scope="module")
def built(tmp_path_factory):
    """Every record built once: {record: (folder, screen)}."""
    need(TOOL, *(TOWERS / r for r in RECORDS))
    result = {}
    for name in RECORDS:
        folder = tmp_path_factory.mktemp(name.split(".")[0])
        screen = build(folder, TOWERS / name)
        assert screen.returncode == 0, screen.stderr
        result[name] = (folder, screen.stdout)
    return result


@pytest.mark.parametrize("name", RECORDS)
def test_run_points_prints_what_the_site_run_prints(built, name, tmp_path):
    need(BUILD / "ornax.x")
    folder, _ = built[name]
    files = sorted(folder.glob("*.dat"))
    assert files
    classes = TABLE.read_text().splitlines()
    wrong, finished = {}, 0
    for site in files:
        inputs = ornax.read_site(site, TABLE)
        # the site's canopy height is not the one its class would give at the same cover
        row = classes[int(inputs["landcover"]) + 1]
        hmin, hmax = float(row[59:67]), float(row[67:75])
        assert abs(float(inputs["hc"]) - (hmin + (hmax - hmin) * float(inputs["fc"]))) > 1e-3
        status, lines, expected = site_run(site, TABLE, tmp_path)
        for core in ("vector", "one_lane"):
            out = ornax.run_points(**inputs, core=core)
            if expected is None:  # the site run refused the day: never a good point
                assert status == 3 and int(out["quality_flag"]) != 0, (site.name, core)
                continue
            assert int(out["quality_flag"]) == 0, (site.name, core)
            found = mismatches(expected, inputs, out)
            if found:
                wrong[(site.name, core)] = found
        finished += expected is not None
    assert wrong == {}
    assert finished >= len(files) // 2


# what every record's assumptions name, and what only one layout's do
ASSUMED = ("downward long-wave:", "sounding: none measured", "observation times:",
           "leaf area index", "land class", "canopy height", "measured daily ET: daytime LE",
           "night LE left out", "closure:", "days skipped:", "wind: as measured")
ASSUMED_HALF_HOURLY = ("emissivity e = 0.98", "PPFD / 2.10", "pressure: kPa x 10")
ASSUMED_HOURLY = ("the record's radiometric temperature", "the record's measured insolation",
                  "pressure: not measured; 858.9 mb", "taken with the opposite sign",
                  "leaf area index 0.50 (the record's)", "fcmin 0.28 (the record's cover")


def record_days(name):
    with open(TOWERS / name) as f:
        if name == HOURLY:
            return {int(float(row["DOY"])) for row in csv.DictReader(f, delimiter="\t")}
        return {int(float(row["doy"])) for row in csv.DictReader(f)}


@pytest.mark.parametrize("name", RECORDS)
def test_every_assumption_and_day_is_printed(built, name):
    folder, screen = built[name]
    assumed = [ln for ln in screen.splitlines() if ln.startswith("  assume: ")]
    for words in ASSUMED + (ASSUMED_HOURLY if name == HOURLY else ASSUMED_HALF_HOURLY):
        assert any(words in ln for ln in assumed), words
    for words in ASSUMED_HALF_HOURLY if name == HOURLY else ASSUMED_HOURLY:
        assert not any(words in ln for ln in assumed), words
    days = record_days(name)
    printed = re.findall(r"^  day (\d+) \(\S+\): (skipped|\S+\.dat)", screen, re.M)
    assert sorted(int(d) for d, _ in printed) == sorted(days)
    written = {pathlib.Path(w).name for _, w in printed if w != "skipped"}
    assert written == {p.name for p in folder.glob("*.dat")}


def test_site_file_follows_the_record(built):
    """The written time-2 values come from the record's half-hour at that time: LW_up is
    e sigma T^4 + (1 - e) LW_down, PPFD is 2.1 x insolation, the pressure is in mb."""
    folder, _ = built["DE_Tha_Jun_2014.csv"]  # measured LW_down; clock and model zone UTC+1
    with open(TOWERS / "DE_Tha_Jun_2014.csv") as f:
        rows = {(int(float(r["doy"])), float(r["hour"])): r for r in csv.DictReader(f)}
    for site in sorted(folder.glob("*.dat"))[:5]:
        inputs = ornax.read_site(site)
        doy, t2 = int(inputs["doy"]), float(inputs["tloc2"])
        row = rows[(doy, t2 - 0.25)]  # the half-hour starting a quarter-hour before
        lw_down, lw_up = float(row["LW_down"]), float(row["LW_up"])
        tk = float(inputs["trad2"]) + 273.15
        assert abs(0.98 * 5.67e-8 * tk ** 4 + 0.02 * lw_down - lw_up) < 0.5, site.name
        assert float(inputs["lwdn2"]) == pytest.approx(lw_down, abs=1e-3)
        assert float(inputs["sdn2"]) * 2.1 == pytest.approx(float(row["PPFD"]), abs=0.01)
        assert float(inputs["pres2"]) == pytest.approx(10 * float(row["pressure"]), abs=1e-3)
        assert float(inputs["taobs2"]) == pytest.approx(float(row["Tair"]), abs=1e-3)
        es = 6.108 * math.exp(17.2694 * float(row["Tair"]) / (float(row["Tair"]) + 237.3))
        assert float(inputs["spfh2"]) == pytest.approx(es - 10 * float(row["VPD"]), rel=1e-3)


def test_hourly_table_site_file_follows_the_table(built):
    """Each hour gives both its half-hours: the time-2 values are the hour's, temperatures
    from K, the vapour pressure the table's, the pressure the site's standard one."""
    folder, _ = built[HOURLY]
    with open(TOWERS / HOURLY) as f:
        rows = {(int(r["DOY"]), float(r["time"])): r for r in csv.DictReader(f, delimiter="\t")}
    files = sorted(folder.glob("*.dat"))
    assert files
    for site in files:
        inputs = ornax.read_site(site)
        doy, t2 = int(inputs["doy"]), float(inputs["tloc2"])
        row = rows[(doy, math.floor(t2) + 0.5)]  # the hour holding the half-hour centred at t2
        assert float(inputs["trad2"]) == pytest.approx(float(row["T_R1"]) - 273.15, abs=1e-3)
        assert float(inputs["taobs2"]) == pytest.approx(float(row["T_A1"]) - 273.15, abs=1e-3)
        assert float(inputs["sdn2"]) == pytest.approx(float(row["S_dn"]), abs=1e-3)
        assert float(inputs["spfh2"]) == pytest.approx(float(row["ea"]), rel=1e-4)
        assert float(inputs["pres2"]) == pytest.approx(858.9, abs=0.1)
        assert float(inputs["xlai"]) == pytest.approx(float(row["LAI"]))
        assert float(inputs["fc"]) == pytest.approx(float(row["f_c"]), abs=1e-6)
        assert float(inputs["hc"]) == pytest.approx(float(row["h_C"]), abs=1e-6)


# a change to one day of the record and the reason the tool must give for skipping it
GAPS = [
    ("le_missing", 183, [(12.0, "LE", "NA")], "LE missing at 12:15"),
    ("h_poor_fill", 185, [(11.0, "H_qc", "2.0")], "qc above 1) at 11:15"),
    ("tair_hour_gone", 186, [(2.5, "Tair", "NA"), (3.0, "Tair", "NA")],
     "hour 03:00: Tair is missing"),
    ("lw_up_at_time_2", 187, [(10.5, "LW_up", "NA")], "observation time 10:45: LW_up is missing"),
    ("row_dropped", 188, [(3.0, None, None)], "47 half-hours in the record, not 48"),
]


@pytest.mark.parametrize("doy,edits,reason", [g[1:] for g in GAPS], ids=[g[0] for g in GAPS])
def test_a_day_with_a_gap_is_skipped_by_name(doy, edits, reason, tmp_path):
    need(TOOL, TOWERS / "AT_Neu_Jul_2010.csv")
    lines = (TOWERS / "AT_Neu_Jul_2010.csv").read_text().splitlines()
    header = lines[0].split(",")
    kept = [lines[0]]
    for line in lines[1:]:
        fields = line.split(",")
        at = (int(float(fields[1])), float(fields[2]))
        edit = [e for e in edits if (doy, e[0]) == at]
        if edit and edit[0][1] is None:
            continue
        for _, column, value in edit:
            fields[header.index(column)] = value
        kept.append(",".join(fields))
    record = tmp_path / "AT_Neu_Jul_2010.csv"
    record.write_text("\n".join(kept) + "\n")
    screen = build(tmp_path / "sites", record)
    assert screen.returncode == 0, screen.stderr
    line = [ln for ln in screen.stdout.splitlines() if ln.startswith(f"  day {doy} ")]
    assert len(line) == 1 and "skipped" in line[0] and reason in line[0], line
    assert not (tmp_path / "sites" / f"AT_Neu_2010_{doy}.dat").exists()
    assert (tmp_path / "sites" / "AT_Neu_2010_182.dat").exists()  # the day before stays


ROW = "2010,182.0,{hour},12.0,0.0,0.1,91.1,0.2,351.4,NA,-59.3,0.4,1.0,-12.4,1.0,-4.9"
BAD = [
    ("not_a_number", [ROW.format(hour="0.0"), ROW.format(hour="0.5").replace("12.0", "abc")],
     ":3: Tair \"abc\" is neither a number nor NA"),
    ("short_row", [ROW.format(hour="0.0"), "2010,182.0,0.5,12.0"], ":3: 4 fields, the header has 16"),
    ("quarter_hour", [ROW.format(hour="0.25")], ":2: time 182.0 0.25 is not a half-hour"),
    ("backwards", [ROW.format(hour="1.0"), ROW.format(hour="0.5")],
     ":3: time does not follow the row before it"),
    ("no_rows", [], ":1: no rows after the header"),
]


@pytest.mark.parametrize("rows,message", [b[1:] for b in BAD], ids=[b[0] for b in BAD])
def test_a_bad_record_is_refused_naming_file_and_line(rows, message, tmp_path):
    need(TOOL)
    record = tmp_path / "AT_Neu_bad.csv"
    record.write_text("\n".join([HEADER] + rows) + "\n")
    screen = build(tmp_path / "sites", record)
    assert screen.returncode == 3
    assert f"{record}{message}" in screen.stderr, screen.stderr
    assert not (tmp_path / "sites").exists()  # refused before anything is made


HOURLY_HEADER = ("Site\tyear\tDOY\ttime\tS_dn\tRn\tG\tH\tLE\tT_A1\tu\tT_S\tT_C\tT_R1\tRH\tea\t"
                 "LAI\th_C\tf_c\tVZA\tT_A0\tT_R0")
HOURLY_ROW = ("{site}\t1990\t209\t{time}\t0\t-60\t-87\t12\t-40\t293.75\t1.56\t290.68\t290.08\t"
              "289.59\t52\t12.6\t{lai}\t0.5\t0.28\t0\t295.69\t294.17")
BAD_HOURLY = [
    ("second_site", [dict(site=1, time=0.5, lai=0.5), dict(site=2, time=1.5, lai=0.5)],
     ":3: a second site in the table"),
    ("leaf_area_changes", [dict(site=1, time=0.5, lai=0.5), dict(site=1, time=1.5, lai=0.7)],
     ":3: LAI changes from the rows before"),
    ("not_mid_hour", [dict(site=1, time=1.0, lai=0.5)], ":2: time 209 1.0 is not the middle"),
    ("not_a_number", [dict(site=1, time="x", lai=0.5)], ":2: time \"x\" is not a number"),
]


@pytest.mark.parametrize("rows,message", [b[1:] for b in BAD_HOURLY],
                         ids=[b[0] for b in BAD_HOURLY])
def test_a_bad_hourly_table_is_refused_naming_file_and_line(rows, message, tmp_path):
    need(TOOL)
    record = tmp_path / "table.txt"
    record.write_text("\n".join([HOURLY_HEADER] + [HOURLY_ROW.format(**r) for r in rows]) + "\n")
    screen = build(tmp_path / "sites", record)
    assert screen.returncode == 3
    assert f"{record}{message}" in screen.stderr, screen.stderr


def test_a_record_without_a_column_or_site_is_refused(tmp_path):
    need(TOOL)
    record = tmp_path / "AT_Neu_bad.csv"
    record.write_text(HEADER.replace(",LE_qc", "") + "\n")
    screen = build(tmp_path, record)
    assert screen.returncode == 3 and f"{record}:1: the header has no column \"LE_qc\"" \
        in screen.stderr
    other = tmp_path / "XX_Unk_2010.csv"
    other.write_text(HEADER + "\n" + ROW.format(hour="0.0") + "\n")
    screen = build(tmp_path, other)
    assert screen.returncode == 3 and f"{other}:1: unknown site \"XX_Unk\"" in screen.stderr


def test_a_bad_record_after_a_good_one_writes_nothing(tmp_path):
    need(TOOL, TOWERS / "AT_Neu_Jul_2010.csv")
    bad = tmp_path / "DE_Tha_bad.csv"
    bad.write_text(HEADER + "\n" + ROW.format(hour="0.0").replace("91.1", "9l.1") + "\n")
    screen = build(tmp_path / "sites", TOWERS / "AT_Neu_Jul_2010.csv", bad)
    assert screen.returncode == 3 and f"{bad}:2: pressure \"9l.1\"" in screen.stderr
    assert not (tmp_path / "sites").exists()


def test_compare_scores_are_the_per_day_differences(tmp_path):
    need(TOOL, BUILD / "ornax.x", TOWERS / "DE_Tha_Jun_2014.csv")
    screen = subprocess.run([str(TOOL), "compare", "--table", str(TABLE), "--ornax",
                             str(BUILD / "ornax.x"), str(tmp_path),
                             str(TOWERS / "DE_Tha_Jun_2014.csv")],
                            capture_output=True, text=True)
    assert screen.returncode == 0, screen.stderr
    days = re.findall(r"^DE_Tha\s+\d+\s+\S+\s+\S+\s+(\S+)\s+(\S+)\s+\S+\s+\S+\s+(\S+)\s",
                      screen.stdout, re.M)
    assert days
    et = [float(m) - float(o) for m, o, _ in days]
    summary = re.search(r"^all sites\n.*\n  daily ET / daytime LE \(MJ m-2 day-1\)\s+(\d+)\s+"
                        r"\S+\s+(\S+)\s+(\S+)\s+(\S+)", screen.stdout, re.M)
    n, bias, rmse, r = int(summary[1]), float(summary[2]), float(summary[3]), float(summary[4])
    assert n == len(et)
    assert bias == pytest.approx(sum(et) / n, abs=0.01)
    assert rmse == pytest.approx(math.sqrt(sum(d * d for d in et) / n), abs=0.01)
    model, measured = [float(m) for m, _, _ in days], [float(o) for _, o, _ in days]
    mm, mo = sum(model) / n, sum(measured) / n
    cov = sum((a - mm) * (b - mo) for a, b in zip(model, measured))
    spread = math.sqrt(sum((a - mm) ** 2 for a in model) * sum((b - mo) ** 2 for b in measured))
    assert r == pytest.approx(cov / spread, abs=0.01)
    h2 = [tuple(map(float, h.split("/"))) for _, _, h in days]
    assert all(abs(m) < 1000 and abs(o) < 1000 for m, o in h2)
