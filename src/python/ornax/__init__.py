"""The ornax land-surface model from Python: the program's own core over numpy arrays."""
import operator
import os

import numpy as np

from . import _ornax

from .region import open_region_outputs
from .dataset import run_dataset

__all__ = ["run_points", "read_site", "read_region_pixels", "run_site", "output_variables", "quality_flags", "open_region_outputs", "run_dataset"]

__version__ = _ornax.__version__
output_variables = _ornax.output_variables
quality_flags = _ornax.quality_flags
_FIELDS = {name: (kind, required) for name, kind, required in _ornax.point_fields()}
_HOURS = 24
_MAX_THREADS = 1024


def _point_shape(name, kind, a):
    if kind == "point":
        return a.shape
    if a.ndim == 0:
        raise ValueError(f"{name}: one value given; an array of {'levels' if kind == 'levels' else 'hours'} is needed")
    if kind == "hours" and a.shape[-1] != _HOURS:
        raise ValueError(f"{name}: last axis holds {a.shape[-1]} values; {_HOURS} hourly values are needed")
    return a.shape[:-1]


def run_points(*, threads=None, core="vector", region_switch=0, invalid="raise", timings=False, **inputs):
    """Runs the model on every point of broadcast inputs; returns a dict of numpy arrays.

    Inputs are the site file's fields (scalars or arrays that broadcast); z_pbli and th_pblk
    hold the sounding levels on their last axis, the hourly series 24 values on theirs.
    float32 and float64 arrays of any layout (strided views too) are read in place, each
    value rounded to float32 as it is taken; other numbers are converted to float32 first.
    Outputs: the 42 output variables, energy_balance, fc, hc, hn_evaluations and
    quality_flag (0 computed; values are NaN where it is not 0). With timings=True also a
    dict of the call's seconds: core_s (in the core, summed over the threads), engine_s
    (the compiled call: records gathered, checked, run and written back) and threads.
    """
    unknown = sorted(set(inputs) - set(_FIELDS))
    if unknown:
        raise TypeError(f"run_points: unknown input(s) {', '.join(unknown)}")
    missing = [n for n, (k, req) in _FIELDS.items() if req and n not in inputs]
    if missing:
        raise TypeError(f"run_points: missing input(s) {', '.join(missing)}")
    if core not in ("vector", "one_lane"):
        raise ValueError(f"core = {core!r}: 'vector' or 'one_lane'")
    if invalid not in ("raise", "flag"):
        raise ValueError(f"invalid = {invalid!r}: 'raise' or 'flag'")
    if region_switch not in (0, 1):
        raise ValueError(f"region_switch = {region_switch!r}: 0 or 1")
    arrays, shape = {}, ()
    for name, value in inputs.items():
        a = np.asarray(value)
        if a.dtype.kind not in "biuf":
            raise TypeError(f"{name}: numbers expected, got {a.dtype}")
        if a.dtype != np.float32 and a.dtype != np.float64:
            a = a.astype(np.float32)  # integers, booleans, float16, other byte orders
        kind = _FIELDS[name][0]
        ps = _point_shape(name, kind, a)
        try:
            shape = np.broadcast_shapes(shape, ps)
        except ValueError:
            raise ValueError(f"{name}: shape {a.shape} does not broadcast with the points' shape {shape}") from None
        arrays[name] = (kind, a)
    levels = {arrays[n][1].shape[-1] for n in ("z_pbli", "th_pblk")}
    if len(levels) != 1:
        raise ValueError(f"z_pbli and th_pblk hold different numbers of levels: {sorted(levels)}")
    nlev = levels.pop()
    if not 1 <= nlev <= 41:
        raise ValueError(f"z_pbli: {nlev} levels given; 1..41 are possible")
    # broadcast views, read in place with their strides: float32 and float64 are not copied
    views = {}
    for name, (kind, a) in arrays.items():
        tail = () if kind == "point" else (a.shape[-1],)
        views[name] = np.broadcast_to(a, shape + tail)
    try:
        nthreads = _ornax.default_threads() if threads is None else operator.index(threads)
    except TypeError:
        raise TypeError(f"threads = {threads!r}: a whole number expected") from None
    if not 1 <= nthreads <= _MAX_THREADS:
        raise ValueError(f"threads = {threads}: 1..{_MAX_THREADS}")
    out, seconds = _ornax.run_points(views, list(shape), nlev, region_switch, nthreads,
                                     core == "one_lane", invalid == "flag")
    out = {k: v.reshape(shape) for k, v in out.items()}
    if timings:
        return out, {"core_s": seconds["core_s"], "engine_s": seconds["total_s"], "threads": nthreads}
    return out


def _table_for(path, table):
    if table is not None:
        return str(table)
    beside = os.path.join(os.path.dirname(os.path.abspath(path)), "landcover.txt")
    return beside if os.path.exists(beside) else "landcover.txt"


def read_site(path, table=None):
    """The inputs of a site file as run_points takes them; with a class table, as the site
    run uses them (the class values replace the file's; leaf values, fc, hc, xl stay)."""
    return _ornax.read_site(str(path), "" if table is None else str(table))


def read_region_pixels(config, year, doy, region_switch=0):
    """The pixels a region run (`ornax.x -rN CONFIG YEAR DOY`) gives to the core, read and
    assembled by the region run's own readers: returns (inputs, line, column), the inputs
    as run_points takes them (one row per pixel) and each pixel's line and column of the
    run grid (1-based, south and west first). The core does not run and nothing is written.
    Paths in CONFIG are read from HOME_DIR when it is set, else from the working directory,
    as the region run reads them."""
    if region_switch not in (0, 1):
        raise ValueError(f"region_switch = {region_switch!r}: 0 or 1")
    return _ornax.read_region_pixels(os.fspath(config), operator.index(year), operator.index(doy), region_switch)


def run_site(path, table=None):
    """Runs a site as `ornax.x -s PATH -l TABLE` does; returns the values the report prints
    and the report's lines ("report"). TABLE defaults to landcover.txt beside the site file,
    else in the working directory."""
    return _ornax.run_site(str(path), _table_for(path, table))
