// NetCDF writing shared by the export programs: first-failure handle, grid coordinates
// with the CF grid mapping, the time coordinate and temporary names.
#include "ornax_netcdf_mod.hpp"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

bool Ornaxncfiletype::ok(int result, const std::string& what) {
    if (result != NC_NOERR && status == NC_NOERR) {
        status = result;
        where = what;
    }
    return status == NC_NOERR;
}

void Ornaxncfiletype::text(int var, const std::string& name, const std::string& value) {
    ok(nc_put_att_text(id, var, name.c_str(), value.size(), value.c_str()), name);
}

std::string Ornaxncfiletype::failure() const {
    return std::string(nc_strerror(status)) + " at " + where;
}

int ornax_nc_define_coordinate(Ornaxncfiletype& nc, const char* name, int dim,
                               const char* standard_name, const char* units, const char* axis) {
    int var = -1;
    nc.ok(nc_def_var(nc.id, name, NC_DOUBLE, 1, &dim, &var), name);
    nc.text(var, "standard_name", standard_name);
    nc.text(var, "long_name", standard_name);
    nc.text(var, "units", units);
    nc.text(var, "axis", axis);
    return var;
}

void ornax_nc_define_grid(Ornaxncfiletype& nc, const Ornaxncgridtype& grid,
                          Ornaxncgridvarstype& vars) {
    nc.ok(nc_def_dim(nc.id, "lat", static_cast<size_t>(grid.nrows), &vars.lat_dim), "lat");
    nc.ok(nc_def_dim(nc.id, "lon", static_cast<size_t>(grid.ncols), &vars.lon_dim), "lon");
    vars.lat_var =
        ornax_nc_define_coordinate(nc, "lat", vars.lat_dim, "latitude", "degrees_north", "Y");
    vars.lon_var =
        ornax_nc_define_coordinate(nc, "lon", vars.lon_dim, "longitude", "degrees_east", "X");
    nc.ok(nc_def_var(nc.id, "crs", NC_INT, 0, nullptr, &vars.crs_var), "crs");
    nc.text(vars.crs_var, "grid_mapping_name", "latitude_longitude");
    const double axis = 6378137.0, inverse_flattening = 298.257223563;  // WGS 84 (m, 1)
    nc.ok(nc_put_att_double(nc.id, vars.crs_var, "semi_major_axis", NC_DOUBLE, 1, &axis), "crs");
    nc.ok(nc_put_att_double(nc.id, vars.crs_var, "inverse_flattening", NC_DOUBLE, 1,
                            &inverse_flattening),
          "crs");
    nc.text(vars.crs_var, "crs_wkt", "EPSG:4326");
}

void ornax_nc_put_grid(Ornaxncfiletype& nc, const Ornaxncgridtype& grid,
                       const Ornaxncgridvarstype& vars) {
    std::vector<double> lat(static_cast<size_t>(grid.nrows)), lon(static_cast<size_t>(grid.ncols));
    for (int r = 0; r < grid.nrows; ++r) lat[static_cast<size_t>(r)] = grid.south + (r + 0.5) * grid.dlat;
    for (int c = 0; c < grid.ncols; ++c) lon[static_cast<size_t>(c)] = grid.west + (c + 0.5) * grid.dlon;
    nc.ok(nc_put_var_double(nc.id, vars.lat_var, lat.data()), "lat");
    nc.ok(nc_put_var_double(nc.id, vars.lon_var, lon.data()), "lon");
}

void ornax_nc_chunk_and_deflate(Ornaxncfiletype& nc, int var, const Ornaxncgridtype& grid,
                                const std::string& name) {
    constexpr size_t chunk_values = 65536;  // values per chunk, whole lines
    constexpr int deflate_level = 4;
    const size_t lines = std::clamp<size_t>(chunk_values / static_cast<size_t>(grid.ncols), 1,
                                            static_cast<size_t>(grid.nrows));
    const size_t chunks[3] = {1, lines, static_cast<size_t>(grid.ncols)};
    nc.ok(nc_def_var_chunking(nc.id, var, NC_CHUNKED, chunks), name + " chunking");
    nc.ok(nc_def_var_deflate(nc.id, var, 1, 1, deflate_level), name + " deflate");
}

int ornax_nc_define_time(Ornaxncfiletype& nc, int time_dim) {
    const int var = ornax_nc_define_coordinate(nc, "time", time_dim, "time", ornax_nc_time_units, "T");
    nc.text(var, "calendar", "standard");
    return var;
}

long ornax_days_since_epoch(int year, int doy) {
    long days = 0;
    if (year >= 1970) {
        for (int y = 1970; y < year; ++y)
            days += ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 366 : 365;
    } else {
        for (int y = year; y < 1970; ++y)
            days -= ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 366 : 365;
    }
    return days + doy - 1;
}

std::string ornax_nc_temporary_name(const std::string& target) {
    const std::filesystem::path path(target);
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string hidden = ".";
    hidden += path.filename().string();
    hidden += ".tmp" + std::to_string(::getpid());
    return (folder / hidden).string();
}
