"""The model over an xarray.Dataset of inputs: maps of any dimensions, eagerly or chunk by chunk
on dask (a laptop's threads or a dask.distributed cluster), with the outputs' units and the
quality flag from the program's own tables."""
from . import _ornax

LEVEL_DIM = "level"  # the sounding levels of z_pbli and th_pblk
HOUR_DIM = "hour"    # the 24 hourly values of the hourly series
_EXTRA = {  # outputs beside the output variable table
    "energy_balance": ("f4", {"long_name": "RNET2 - XLE2 - G2 - H2", "units": "W m-2"}),
    "fc": ("f4", {"long_name": "vegetation cover fraction used", "units": "1"}),
    "hc": ("f4", {"long_name": "canopy height used", "units": "m"}),
    "hn_evaluations": ("i4", {"long_name": "heat-flux evaluations"}),
}


def _core_dim(kind):
    return [] if kind == "point" else [LEVEL_DIM if kind == "levels" else HOUR_DIM]


def _output_attrs():
    attrs = {}
    for v in _ornax.output_variables():
        a = {"long_name": v["description"], "units": v["cf_units"], "ornax_units": v["units"]}
        if v["standard_name"]:
            a["standard_name"] = v["standard_name"]
        attrs[v["name"]] = ("f4", a)
    attrs.update(_EXTRA)
    flags = _ornax.quality_flags()
    attrs["quality_flag"] = ("u1", {
        "long_name": "quality flag (0 computed; otherwise the values are missing)",
        "flag_values": [int(f[0]) for f in flags],
        "flag_meanings": " ".join(str(f[2]) for f in flags)})
    return attrs


def run_dataset(ds, names=None, threads=None, **options):
    """Runs every point of an xarray.Dataset whose variables are the inputs of run_points.

    Variables are scalars or maps of any dimensions that broadcast by name; z_pbli and th_pblk
    hold the sounding levels on the dimension "level", the hourly series the 24 hours on
    "hour". names maps an input to the variable that holds it ({"trad2": "lst_1030"}). Returns
    a Dataset of the outputs (the output variable table's 42 variables, energy_balance, fc, hc,
    hn_evaluations, quality_flag) on the inputs' dimensions and coordinates, with units.
    On dask-backed variables nothing runs until the result is computed, chunk by chunk, each
    chunk on `threads` threads (default 1: dask runs the chunks in parallel); on numpy-backed
    ones it runs at once on every core unless `threads` says otherwise. Other keywords go to
    run_points (core, region_switch, invalid).
    """
    import xarray as xr

    from . import _FIELDS, run_points

    names = dict(names or {})
    unknown = sorted(set(names) - set(_FIELDS))
    if unknown:
        raise TypeError(f"run_dataset: names maps unknown input(s) {', '.join(unknown)}")
    order, args = [], []
    for field, (kind, _) in _FIELDS.items():
        var = names.get(field, field)
        if var in ds.data_vars or var in ds.coords:
            a = ds[var]
            for dim in _core_dim(kind):
                if dim not in a.dims:
                    raise ValueError(f"{var} (input {field}): no dimension {dim!r}")
            order.append(field)
            args.append(a)
        elif field in names:
            raise KeyError(f"run_dataset: the dataset has no variable {var!r} (input {field})")
    lazy = any(a.chunks is not None for a in args)
    if lazy:
        args = [a.chunk({d: -1 for d in _core_dim(_FIELDS[f][0])}) if _core_dim(_FIELDS[f][0]) else a
                for f, a in zip(order, args)]
    nthreads = (1 if lazy else None) if threads is None else threads
    attrs = _output_attrs()
    outputs = list(attrs)

    def run(*arrays):
        out = run_points(**dict(zip(order, arrays)), threads=nthreads, **options)
        return tuple(out[k] for k in outputs)

    results = xr.apply_ufunc(
        run, *args,
        input_core_dims=[_core_dim(_FIELDS[f][0]) for f in order],
        output_core_dims=[[] for _ in outputs],
        dask="parallelized",
        output_dtypes=[attrs[k][0] for k in outputs],
        keep_attrs=False)
    out = xr.Dataset({k: r.astype(attrs[k][0]).assign_attrs(attrs[k][1]) for k, r in zip(outputs, results)})
    out = out.transpose(*[d for d in ds.dims if d in out.dims])  # the dataset's order
    out.attrs["ornax_version"] = _ornax.__version__
    return out
