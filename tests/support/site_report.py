"""The values `ornax.x -s` prints in its site report, and their comparison with the outputs of
ornax.run_points to the reference tolerances; shared by the Python tests of site files."""
import os
import pathlib
import subprocess

import ornax

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("ORNAX_BUILD_DIR", ROOT / "build")).resolve()
LABEL_WIDTH = 30  # the report's values follow in 10 columns each
REPORT_START = " ----- ORNAX Site Inputs ---------------------"

# the report's lines (label start) and the values each prints, in order
REPORT = [
    ("Canopy FC, XLAI", ("fc", "xlai")),
    ("TC1,TC2 (canopy temp)", ("TC1", "TC2")),
    ("TS1,TS2 (soil temp)", ("TS1", "TS2")),
    ("TA1,TA2 (modeled air temp)", ("TA1", "TA2")),
    ("Rnet Net Radiation", ("RNET1", "RNET2")),
    ("Zen (sun zenith)", ("ZEN1", "ZEN2")),
    ("Z2 (boundary layer ht)", ("Z2",)),
    ("RA2 (aerodynamic res)", ("RA2",)),
    ("RS2   (soil res)", ("RS2",)),
    ("RX2   (b.l. res)", ("RX2",)),
    ("SWUP (W m-2)", ("SWUP",)),
    ("LWUP (W m-2)", ("LWUP",)),
    ("Canopy latent", ("XLEC2",)),
    ("Soil latent", ("XLES2",)),
    ("Total latent", ("XLE2",)),
    ("Canopy sensible", ("HC2",)),
    ("Soil sensible", ("HS2",)),
    ("Total sensible", ("H2",)),
    ("Ground cond", ("G2",)),
    ("Energy balance", ("energy_balance",)),
    ("Radiation RN", ("SNETDAY",)),
    ("Sensible H", ("HDAY",)),
    ("Soil heat flux G", ("GDAY",)),
    ("Total ET", ("EDAY",)),
    ("Soil ET", ("ESDAY",)),
    ("Canopy ET", ("ECDAY",)),
    ("P-M reference ET", ("EREFDAY",)),
    ("Short wave down", ("SDDAY",)),
]
# the reference tolerances by unit: (absolute, relative), whichever is larger; printed
# values carry three decimals
TOLERANCE = {"deg C": (0.5, 0.01), "W m-2": (0.5, 0.01), "s m-1": (0.5, 0.02), "m": (5.0, 0.02),
             "MJ m-2 day-1": (0.05, 0.01), "radians": (0.005, 0.01)}
UNITS = dict({v["name"]: v["units"] for v in ornax.output_variables()},
             energy_balance="W m-2", fc=None, xlai=None)
# the largest magnitude a 10-column field with three decimals holds
FIELD_LIMIT = 99999.999


def _number(text):
    """A printed value; None for a field of asterisks (a value too large for its field)."""
    return None if set(text) == {"*"} else float(text)


def site_run(site, table, cwd):
    """Runs `ornax.x -s SITE -l TABLE` in cwd: (exit status, screen lines, printed values);
    the values are None when the run did not finish."""
    screen = subprocess.run([str(BUILD / "ornax.x"), "-s", str(site), "-l", str(table)],
                            cwd=cwd, capture_output=True, text=True)
    lines = screen.stdout.splitlines()
    if screen.returncode != 0 or "ORNAX finish successfully" not in lines:
        return screen.returncode, lines, None
    values = {}
    for line in lines[lines.index(REPORT_START):]:
        for head, names in REPORT:
            if line[:LABEL_WIDTH].strip().startswith(head):
                fields = [line[LABEL_WIDTH + 10 * i:LABEL_WIDTH + 10 * (i + 1)].strip()
                          for i in range(len(names))]
                values.update(zip(names, map(_number, fields)))
    assert len(values) == sum(len(n) for _, n in REPORT), "\n".join(lines)
    return screen.returncode, lines, values


def printed_values(site, table, cwd):
    """The values a successful site run prints (fails the test when the run fails)."""
    status, lines, values = site_run(site, table, cwd)
    assert status == 0 and values is not None, "\n".join(lines)
    return values


def mismatches(expected, inputs, out):
    """The printed values run_points' outputs do not reproduce within the tolerances:
    (name, run_points value, printed value) each."""
    wrong = []
    for key, want in expected.items():
        got = float(inputs["xlai"]) if key == "xlai" else float(out[key])
        if want is None:  # printed as asterisks: the value must not fit the field
            if not abs(got) > FIELD_LIMIT:
                wrong.append((key, got, want))
            continue
        if UNITS[key] is None:
            if abs(got - want) > 5e-4:
                wrong.append((key, got, want))
            continue
        absolute, relative = TOLERANCE[UNITS[key]]
        if abs(got - want) > max(absolute, relative * abs(want)):
            wrong.append((key, got, want))
    return wrong
