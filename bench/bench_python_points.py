"""Speed of ornax.run_points on 100,000 varied points against the core's own time on them.

Runs the bundled cropland site with leaf area, surface and air temperatures, wind,
insolation and view angle varied point by point (a fixed seed), a few times, and prints
per point: the wall time of the Python call, the time of the compiled call (records
gathered, range-checked, run, written back) and the time in the core itself; the binding
overhead is the wall time beyond the core's, relative to it.

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_python_points.py [POINTS] [THREADS]
"""
import pathlib
import sys
import time

import numpy as np

import ornax

ROOT = pathlib.Path(__file__).resolve().parents[1]


def varied_inputs(count, seed=11):
    site = ROOT / "examples/site/cropland_site.dat"
    inputs = ornax.read_site(site, site.parent / "landcover.txt")
    rng = np.random.default_rng(seed)
    inputs.update(
        xlai=rng.uniform(0.1, 6.0, count),
        trad1=inputs["trad1"] + rng.uniform(-3.0, 3.0, count),
        trad2=inputs["trad2"] + rng.uniform(-4.0, 8.0, count),
        taobs2=inputs["taobs2"] + rng.uniform(-2.0, 2.0, count),
        wind2=rng.uniform(1.0, 8.0, count),
        sdn2=inputs["sdn2"] * rng.uniform(0.8, 1.05, count),
        theta=rng.uniform(0.0, 55.0, count),
    )
    inputs.pop("fc")  # derived from each point's leaf area
    inputs.pop("hc")
    return inputs


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 100_000
    threads = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    inputs = varied_inputs(count)
    ornax.run_points(**inputs, threads=threads)  # warm-up: pages, caches
    best = None
    for _ in range(3):
        start = time.perf_counter()
        out, t = ornax.run_points(**inputs, threads=threads, timings=True)
        wall = time.perf_counter() - start
        if best is None or wall < best[0]:
            best = (wall, t["engine_s"], t["core_s"] / threads)
    wall, engine, core = best
    computed = int((out["quality_flag"] == 0).sum())
    us = 1e6 / count
    print(f"points {count}, computed {computed}, threads {threads}, "
          f"core {ornax._ornax.instruction_set()} x {ornax._ornax.lane_width()} lanes")
    print(f"run_points wall    {wall * us:8.3f} us per point")
    print(f"compiled call      {engine * us:8.3f} us per point")
    print(f"core               {core * us:8.3f} us per point")
    print(f"binding overhead   {100.0 * (wall - core) / core:8.1f} % of the core time "
          f"(Python side {100.0 * (wall - engine) / core:.1f} %, records and checks "
          f"{100.0 * (engine - core) / core:.1f} %)")


if __name__ == "__main__":
    main()
