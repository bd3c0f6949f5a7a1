// NetCDF writing shared by the export programs: first-failure handle, grid coordinates
// and bounds with the CF grid mapping, the time coordinate, chunking and temporary names.
#include "netcdf/writer.hpp"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "ornax90/output/vocabulary.hpp"

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

int ornax_nc_define_coordinate(Ornaxncfiletype& nc, const char* name, int dim, int nv_dim,
                               const char* standard_name, const char* units, const char* axis,
                               int& bounds_var) {
    int var = -1;
    nc.ok(nc_def_var(nc.id, name, NC_DOUBLE, 1, &dim, &var), name);
    nc.text(var, "standard_name", standard_name);
    nc.text(var, "long_name", standard_name);
    nc.text(var, "units", units);
    nc.text(var, "axis", axis);
    const std::string bounds = std::string(name) + "_bnds";
    nc.text(var, "bounds", bounds);
    const int dims[2] = {dim, nv_dim};
    nc.ok(nc_def_var(nc.id, bounds.c_str(), NC_DOUBLE, 2, dims, &bounds_var), bounds);
    return var;
}

void ornax_nc_define_grid(Ornaxncfiletype& nc, const Ornaxncgridtype& grid, int nv_dim,
                          Ornaxncgridvarstype& vars) {
    nc.ok(nc_def_dim(nc.id, "lat", static_cast<size_t>(grid.nrows), &vars.lat_dim), "lat");
    nc.ok(nc_def_dim(nc.id, "lon", static_cast<size_t>(grid.ncols), &vars.lon_dim), "lon");
    vars.lat_var = ornax_nc_define_coordinate(nc, "lat", vars.lat_dim, nv_dim, "latitude",
                                              "degrees_north", "Y", vars.lat_bnds);
    vars.lon_var = ornax_nc_define_coordinate(nc, "lon", vars.lon_dim, nv_dim, "longitude",
                                              "degrees_east", "X", vars.lon_bnds);
    nc.ok(nc_def_var(nc.id, "crs", NC_INT, 0, nullptr, &vars.crs_var), "crs");
    nc.text(vars.crs_var, "grid_mapping_name", "latitude_longitude");
    const double axis = 6378137.0, inverse_flattening = 298.257223563;  // WGS 84 (m, 1)
    nc.ok(nc_put_att_double(nc.id, vars.crs_var, "semi_major_axis", NC_DOUBLE, 1, &axis), "crs");
    nc.ok(nc_put_att_double(nc.id, vars.crs_var, "inverse_flattening", NC_DOUBLE, 1,
                            &inverse_flattening),
          "crs");
    nc.text(vars.crs_var, "crs_wkt", ornax_crs_wkt);
    nc.text(vars.crs_var, "spatial_ref", ornax_crs_wkt);  // the name GDAL writes and reads first
}

void ornax_nc_put_grid(Ornaxncfiletype& nc, const Ornaxncgridtype& grid,
                       const Ornaxncgridvarstype& vars) {
    std::vector<double> lat(static_cast<size_t>(grid.nrows)), lon(static_cast<size_t>(grid.ncols));
    for (int r = 0; r < grid.nrows; ++r)
        lat[static_cast<size_t>(r)] = grid.south + (r + 0.5) * grid.dlat;
    for (int c = 0; c < grid.ncols; ++c)
        lon[static_cast<size_t>(c)] = grid.west + (c + 0.5) * grid.dlon;
    nc.ok(nc_put_var_double(nc.id, vars.lat_var, lat.data()), "lat");
    nc.ok(nc_put_var_double(nc.id, vars.lon_var, lon.data()), "lon");
    std::vector<double> bounds(2 * static_cast<size_t>(std::max(grid.nrows, grid.ncols)));
    for (int r = 0; r < grid.nrows; ++r) {
        bounds[2 * static_cast<size_t>(r)] = grid.south + r * grid.dlat;
        bounds[2 * static_cast<size_t>(r) + 1] = grid.south + (r + 1) * grid.dlat;
    }
    nc.ok(nc_put_var_double(nc.id, vars.lat_bnds, bounds.data()), "lat_bnds");
    for (int c = 0; c < grid.ncols; ++c) {
        bounds[2 * static_cast<size_t>(c)] = grid.west + c * grid.dlon;
        bounds[2 * static_cast<size_t>(c) + 1] = grid.west + (c + 1) * grid.dlon;
    }
    nc.ok(nc_put_var_double(nc.id, vars.lon_bnds, bounds.data()), "lon_bnds");
}

int ornax_nc_define_time(Ornaxncfiletype& nc, int time_dim, int nv_dim, int& bounds_var) {
    const int var = ornax_nc_define_coordinate(nc, "time", time_dim, nv_dim, "time",
                                               "days since 1970-01-01 00:00:00", "T", bounds_var);
    nc.text(var, "calendar", "standard");
    return var;
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

long ornax_days_since_epoch(int year, int doy) {
    const auto year_length = [](int y) {
        return ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 366 : 365;
    };
    long days = 0;
    for (int y = 1970; y < year; ++y) days += year_length(y);
    for (int y = year; y < 1970; ++y) days -= year_length(y);
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
