// CF-1.8 NetCDF-4 files of window composites and anomalies, a step appended per window.
#include "composite/netcdf_file.hpp"

#include <cstdio>

#include "ornax90/command_line/version.hpp"
#include "ornax90/type_kinds.hpp"
#include "ornax90/output/sidecars.hpp"

namespace {

void define_variable(Ornaxcompositenctype& file, const Ornaxcompositevarinfotype& info,
                     const int dims[3]) {
    Ornaxncfiletype& nc = file.nc;
    const std::string& name = info.var.name;
    int var = -1;
    nc.ok(nc_def_var(nc.id, name.c_str(), NC_FLOAT, 3, dims, &var), name);
    ornax_nc_chunk_and_deflate(nc, var, file.grid, name);
    nc.text(var, "long_name", info.var.description);
    nc.ok(nc_put_att_float(nc.id, var, "_FillValue", NC_FLOAT, 1, &file.missing), name);
    if (const std::vector<Ornaxfillflaginfotype>* flags = ornax_composite_flags_of(name)) {
        std::vector<float> values;
        std::string meanings;
        for (const Ornaxfillflaginfotype& flag : *flags) {
            values.push_back(static_cast<float>(flag.value));
            meanings += (meanings.empty() ? "" : " ") + flag.meaning;
        }
        nc.ok(nc_put_att_float(nc.id, var, "flag_values", NC_FLOAT, values.size(), values.data()),
              name);
        nc.text(var, "flag_meanings", meanings);
    } else {
        nc.text(var, "units", info.var.cf_units.empty() ? "1" : info.var.cf_units);
    }
    if (!info.var.standard_name.empty()) nc.text(var, "standard_name", info.var.standard_name);
    if (!info.cell_methods.empty()) nc.text(var, "cell_methods", info.cell_methods);
    nc.text(var, "grid_mapping", "crs");
    file.vars.push_back(var);
}

}  // namespace

const std::vector<Ornaxfillflaginfotype>* ornax_composite_flags_of(const std::string& name) {
    if (name == "FILL_FLAG") return &ornax_fill_flags();
    if (name == "ANOMALY_FLAG") return &ornax_anomaly_flags();
    return nullptr;
}

void ornax_composite_nc_open(Ornaxcompositenctype& file, const std::string& target,
                             const Ornaxcompositegridtype& grid,
                             const std::vector<Ornaxcompositevarinfotype>& vars, std::string& why,
                             int& status) {
    status = ornax_status_failure;
    file = Ornaxcompositenctype{};
    file.target = target;
    file.temp = ornax_nc_temporary_name(target);
    const Spatialinfodata& g = grid.grid;
    file.grid = {g.ncols,
                 g.nrows,
                 ornax_decimal_of(g.west_lon),
                 ornax_decimal_of(g.south_lat),
                 ornax_decimal_of(g.dlon),
                 ornax_decimal_of(g.dlat)};
    file.missing = g.spare_value;
    Ornaxncfiletype& nc = file.nc;
    if (!nc.ok(nc_create(file.temp.c_str(), NC_NETCDF4 | NC_CLOBBER, &nc.id), "create")) {
        why = std::string(nc_strerror(nc.status)) + " (" + file.temp + ")";
        return;
    }
    int time_dim = -1, bnds_dim = -1;
    nc.ok(nc_def_dim(nc.id, "time", NC_UNLIMITED, &time_dim), "time");
    nc.ok(nc_def_dim(nc.id, "nv", 2, &bnds_dim), "nv");
    file.time_var = ornax_nc_define_time(nc, time_dim, bnds_dim, file.bnds_var);
    Ornaxncgridvarstype grid_vars;
    ornax_nc_define_grid(nc, file.grid, bnds_dim, grid_vars);
    const int dims[3] = {time_dim, grid_vars.lat_dim, grid_vars.lon_dim};
    for (const Ornaxcompositevarinfotype& info : vars) define_variable(file, info, dims);
    nc.ok(nc_enddef(nc.id), "enddef");
    ornax_nc_put_grid(nc, file.grid, grid_vars);
    if (nc.status != NC_NOERR) {
        why = nc.failure() + " (" + file.temp + ")";
        ornax_composite_nc_abort(file);
        return;
    }
    status = 0;
}

void ornax_composite_nc_append(Ornaxcompositenctype& file, const Ornaxcompositewindowtype& window,
                               const std::vector<std::vector<float>>& rasters, std::string& why,
                               int& status) {
    Ornaxncfiletype& nc = file.nc;
    const double start =
        static_cast<double>(ornax_days_since_epoch(window.first_year, window.first_doy));
    const double end =
        static_cast<double>(ornax_days_since_epoch(window.last_year, window.last_doy)) + 1.0;
    const double middle = 0.5 * (start + end), bounds[2] = {start, end};
    const size_t step = file.steps;
    const size_t one = 1, two = 2;
    nc.ok(nc_put_vara_double(nc.id, file.time_var, &step, &one, &middle), "time");
    const size_t bnds_start[2] = {step, 0}, bnds_count[2] = {1, two};
    nc.ok(nc_put_vara_double(nc.id, file.bnds_var, bnds_start, bnds_count, bounds), "time_bnds");
    const size_t start3[3] = {step, 0, 0};
    const size_t count3[3] = {1, static_cast<size_t>(file.grid.nrows),
                              static_cast<size_t>(file.grid.ncols)};
    for (size_t k = 0; k < file.vars.size() && k < rasters.size(); ++k)
        nc.ok(nc_put_vara_float(nc.id, file.vars[k], start3, count3, rasters[k].data()),
              "window " + window.label());
    ++file.steps;
    status = nc.status == NC_NOERR ? 0 : 3;
    if (status != 0) why = nc.failure() + " (" + file.temp + ")";
}

void ornax_composite_nc_close(Ornaxcompositenctype& file, const std::string& title,
                              const std::map<std::string, std::string>& globals, std::string& why,
                              int& status) {
    status = ornax_status_failure;
    Ornaxncfiletype& nc = file.nc;
    nc.ok(nc_redef(nc.id), "redef");
    nc.text(NC_GLOBAL, "Conventions", "CF-1.8");
    nc.text(NC_GLOBAL, "title", title);
    nc.text(NC_GLOBAL, "source", ornax_version_line());
    for (const auto& [name, value] : globals) nc.text(NC_GLOBAL, name, value);
    nc.ok(nc_enddef(nc.id), "enddef");
    nc.ok(nc_close(nc.id), "close");
    nc.id = -1;
    if (nc.status != NC_NOERR) {
        why = nc.failure() + " (" + file.temp + ")";
        std::remove(file.temp.c_str());
        return;
    }
    if (std::rename(file.temp.c_str(), file.target.c_str()) != 0) {
        why = "cannot rename " + file.temp + " to " + file.target;
        std::remove(file.temp.c_str());
        return;
    }
    status = 0;
}

void ornax_composite_nc_abort(Ornaxcompositenctype& file) {
    if (file.nc.id >= 0) nc_close(file.nc.id);
    file.nc.id = -1;
    std::remove(file.temp.c_str());
}
