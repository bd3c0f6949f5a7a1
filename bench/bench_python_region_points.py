"""run_points on the example region's own pixels against the region run of the same day.

Generates the bundled example region (ornax_make_region with its defaults, as
tools/run_examples.sh does) in a temporary folder, or takes the region folder given, then
in each round, alternating, runs the day with `ornax.x -rN` on one and two threads and
runs every pixel the region run gives to the core through ornax.run_points on one and two
threads (the pixels read once, beforehand, by the region run's own readers). Prints the
medians (and the fastest) per pixel: the region run's pixel simulation (assembling a pixel
from the line arrays, the core, storing its outputs; seconds summed over the threads), its
whole run and the CPU time of its process, and run_points' wall and CPU time, compiled
call and core; the ratios of run_points to the region run; the speed-ups on two threads;
and whether every output and flag of run_points equals the region run's rasters (by how
much when not). On a loaded machine wall times include the time a thread waits for a
core: the CPU times and the fastest rounds are then the better measure.

With --instructions it counts instructions instead, under valgrind's callgrind, which no
other load on the machine changes: the region run's pixel simulation and core (inclusive
counts of ornax_simulate_region and ornax_lanes_run) against two run_points calls on one
thread (the difference between a process making them and one that does not).

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_python_region_points.py \\
        [--build build] [--region DIR] [--switch 0|1] [--rounds 7] [--instructions]
"""
import argparse
import json
import os
import pathlib
import resource
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import ornax

ROOT = pathlib.Path(__file__).resolve().parents[1]


def region_day(region):
    """Year and day of the region's configuration (line 4, from column 31)."""
    line = (region / "config/region.cfg").read_text().splitlines()[3]
    year, doy = line[30:].split()[:2]
    return int(year), int(doy)


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_region(build, region, switch, year, doy, threads):
    """One region run: its run record's seconds (wall; the phases' summed over the threads)
    and the CPU seconds of the whole process."""
    env = dict(os.environ, HOME_DIR=str(region), OMP_NUM_THREADS=str(threads))
    cpu = children_cpu()
    subprocess.run([str(build / "ornax.x"), f"-r{switch}", "config/region.cfg", str(year), str(doy)],
                   cwd=region, env=env, check=True, capture_output=True)
    cpu = children_cpu() - cpu
    record = json.loads((region / "output/run_info.json").read_text())
    return dict(record["time_seconds"], cpu=cpu)


def run_points(inputs, switch, threads):
    """One run_points call: wall and CPU seconds of the call, the compiled call's and the
    core's (summed over the threads)."""
    cpu, start = time.process_time(), time.perf_counter()
    out, t = ornax.run_points(**inputs, region_switch=switch, threads=threads, timings=True)
    wall, cpu = time.perf_counter() - start, time.process_time() - cpu
    return out, {"wall": wall, "cpu": cpu, "engine": t["engine_s"], "core": t["core_s"]}


CALLS = 2  # run_points calls counted under callgrind


def inclusive_counts(profile, names):
    """PROGRAM TOTALS and the inclusive instruction count of each function named."""
    text = subprocess.run(["callgrind_annotate", "--inclusive=yes", str(profile)], check=True,
                          capture_output=True, text=True).stdout
    counts = {}
    for row in text.splitlines():
        fields = row.split(None, 2)
        if len(fields) < 3 or not fields[0].replace(",", "").isdigit():
            continue
        for name in ("PROGRAM TOTALS",) + names:
            if name not in counts and (fields[2].startswith(name) or f":{name}(" in fields[2]):
                counts[name] = int(fields[0].replace(",", ""))
    return counts


def callgrind(command, profile, env=None):
    """Runs the command under callgrind; the profile's path and the command's standard output."""
    done = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={profile}", *command],
                          check=True, capture_output=True, env=env, text=True)
    return profile, done.stdout


def count_instructions(build, region, switch, year, doy, inputs, pixels, scratch):
    """Instructions per pixel of the region run's pixel simulation and core, and of a
    run_points call and its core."""
    scratch = pathlib.Path(scratch)
    env = dict(os.environ, HOME_DIR=str(region), OMP_NUM_THREADS="1")
    region_profile, _ = callgrind([str(build / "ornax.x"), f"-r{switch}", "config/region.cfg", str(year), str(doy)],
                               scratch / "region.callgrind", env)
    region_counts = inclusive_counts(region_profile, ("ornax_simulate_region", "ornax_lanes_run"))
    np.savez(scratch / "pixels.npz", **inputs)
    # the module this process imported, also from the region folder
    package_env = dict(os.environ, PYTHONPATH=str(pathlib.Path(ornax.__file__).resolve().parents[1]))
    points = []
    for calls in (0, CALLS):
        profile, lanes = callgrind([sys.executable, __file__, "--worker", str(scratch / "pixels.npz"), str(calls),
                                    str(switch)], scratch / f"points{calls}.callgrind", package_env)
        points.append(inclusive_counts(profile, ("ornax_lanes_run",)))
    per = 1.0 / pixels
    call = (points[1]["PROGRAM TOTALS"] - points[0]["PROGRAM TOTALS"]) / CALLS * per
    core = (points[1].get("ornax_lanes_run", 0) - points[0].get("ornax_lanes_run", 0)) / CALLS * per
    return {"region_simulation": region_counts["ornax_simulate_region"] * per,
            "region_core": region_counts["ornax_lanes_run"] * per, "points_call": call, "points_core": core,
            "lanes": lanes.strip()}


def worker(path, calls, switch):
    """Under callgrind: the pixels loaded, then `calls` run_points calls on one thread."""
    inputs = dict(np.load(path))
    print(f"{ornax._ornax.instruction_set()} x {ornax._ornax.lane_width()} lanes")
    for _ in range(calls):
        ornax.run_points(**inputs, region_switch=switch, threads=1)


def compare(out, region, line, column):
    """Lines saying how run_points' outputs and flags differ from the region run's rasters."""
    ds = ornax.open_region_outputs(region / "output")
    flags = ds["region_qc"].values[line - 1, column - 1]
    lines = [f"flags: {int((out['quality_flag'] == flags).sum())} of {len(flags)} equal"]
    worst = []
    for name in ds.data_vars:
        if name == "region_qc":
            continue
        want, got = ds[name].values[line - 1, column - 1], out[name]
        same = (want == got) | (np.isnan(want) & np.isnan(got))
        both = np.isfinite(want) & np.isfinite(got)
        diff = float(np.max(np.abs(want[both] - got[both]))) if both.any() else 0.0
        worst.append((name, int(same.sum()), diff))
    unequal = [w for w in worst if w[1] != len(flags)]
    if not unequal:
        lines.append(f"outputs: all {len(worst)} listed variables bit for bit equal at every pixel")
    for name, same, diff in unequal:
        lines.append(f"outputs: {name} {same} of {len(flags)} equal, largest difference {diff:g}")
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=pathlib.Path, default=ROOT / "build")
    parser.add_argument("--region", type=pathlib.Path, help="a region folder (default: the example, generated)")
    parser.add_argument("--switch", type=int, choices=(0, 1), default=0)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--instructions", action="store_true", help="count instructions under callgrind")
    parser.add_argument("--worker", nargs=3, metavar=("NPZ", "CALLS", "SWITCH"), help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        return worker(args.worker[0], int(args.worker[1]), int(args.worker[2]))
    build = args.build.resolve()
    with tempfile.TemporaryDirectory(prefix="ornax_bench_region_points_") as scratch:
        region = args.region.resolve() if args.region else pathlib.Path(scratch) / "region"
        if not args.region:
            subprocess.run([str(build / "ornax_make_region"), "-o", str(region)], check=True, capture_output=True)
        year, doy = region_day(region)
        os.environ["HOME_DIR"] = str(region)
        os.chdir(region)
        inputs, line, column = ornax.read_region_pixels("config/region.cfg", year, doy, args.switch)
        pixels = len(line)
        if args.instructions:
            n = count_instructions(build, region, args.switch, year, doy, inputs, pixels, scratch)
            print(f"region day {year} {doy}, -r{args.switch}: {pixels} pixels given to the core; instructions "
                  f"per pixel under callgrind (core {n['lanes']} there)")
            print(f"region run pixel simulation {n['region_simulation']:9.0f} (core {n['region_core']:9.0f}, "
                  f"assembly, checks and storing {n['region_simulation'] - n['region_core']:7.0f})")
            print(f"run_points call             {n['points_call']:9.0f} (core {n['points_core']:9.0f}, "
                  f"Python, records, checks and outputs {n['points_call'] - n['points_core']:7.0f})")
            ratio = n["points_call"] / n["region_simulation"]
            print(f"run_points over the region's pixel simulation: {ratio:.3f} ({100 * (ratio - 1):+.1f} %)")
            return 0
        run_points(inputs, args.switch, 1)  # warm-up: pages, caches
        runs = {key: [] for key in ("region1", "region2", "points1", "points2")}
        for _ in range(args.rounds):
            for threads in (1, 2):
                runs[f"region{threads}"].append(run_region(build, region, args.switch, year, doy, threads))
                out, t = run_points(inputs, args.switch, threads)
                runs[f"points{threads}"].append(t)
        checks = compare(out, region, line, column)

    def per_pixel(key, field, how=statistics.median):
        return how(r[field] for r in runs[key]) * 1e6 / pixels

    print(f"region day {year} {doy}, -r{args.switch}: {pixels} pixels given to the core; {args.rounds} rounds; "
          f"{os.cpu_count()} cores, load {os.getloadavg()[0]:.1f}; core {ornax._ornax.instruction_set()} x "
          f"{ornax._ornax.lane_width()} lanes")
    print("us per pixel, median (fastest) of the rounds; wall seconds of a phase are summed over its threads")
    rows = [("region run, pixel simulation (wall)", "region", "core"),
            ("region run, whole run (wall)", "region", "total"),
            ("region run, whole process (CPU)", "region", "cpu"),
            ("run_points, call (wall)", "points", "wall"),
            ("run_points, call (CPU)", "points", "cpu"),
            ("run_points, compiled call (wall)", "points", "engine"),
            ("run_points, core (wall)", "points", "core")]
    print(f"{'':38s} {'1 thread':>18s} {'2 threads':>18s}")
    for label, what, field in rows:
        cells = [f"{per_pixel(f'{what}{n}', field):8.2f} ({per_pixel(f'{what}{n}', field, min):7.2f})"
                 for n in (1, 2)]
        print(f"{label:38s} {cells[0]:>18s} {cells[1]:>18s}")
    for how, name in ((statistics.median, "median"), (min, "fastest")):
        ratio = per_pixel("points1", "wall", how) / per_pixel("region1", "core", how)
        print(f"run_points (wall, one thread) over the region's pixel simulation, {name}: {ratio:.3f} "
              f"({100 * (ratio - 1):+.1f} %)")
    ratio = per_pixel("points1", "cpu") / per_pixel("region1", "cpu")
    print(f"run_points (CPU, one thread) over the whole region run (CPU): {ratio:.3f} ({100 * (ratio - 1):+.1f} %)")
    print(f"speed-up on 2 threads (median wall): run_points "
          f"{per_pixel('points1', 'wall') / per_pixel('points2', 'wall'):.2f}x, region run "
          f"{per_pixel('region1', 'total') / per_pixel('region2', 'total'):.2f}x (whole run)")
    for text in checks:
        print(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
