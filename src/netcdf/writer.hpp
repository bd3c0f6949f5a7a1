// NetCDF writing shared by the programs that export region outputs (the daily export and
// the composites): a file handle that keeps the first failure and where it happened, the
// time, latitude and longitude coordinates with their bounds, the CF grid mapping "crs" of
// every run grid (WKT of ornax_crs_wkt), the days since 1970 of a day, line chunking, and
// the hidden temporary name a file is written under before it is renamed into place.
#pragma once

#include <netcdf.h>

#include <string>

// Grid of a region run as its run record gives it: cell corners and sizes in degrees,
// line 1 the southernmost.
struct Ornaxncgridtype {
    int ncols = 0;
    int nrows = 0;
    double west = 0.0;   // western edge (deg E)
    double south = 0.0;  // southern edge (deg N)
    double dlon = 0.0;   // cell width (deg)
    double dlat = 0.0;   // cell height (deg)
};

// An open NetCDF file; ok() keeps the first failing call and the name given with it.
struct Ornaxncfiletype {
    int id = -1;
    int status = NC_NOERR;
    std::string where;
    bool ok(int result, const std::string& what);
    void text(int var, const std::string& name, const std::string& value);
    // "<library message> at <where>" for the first failure
    std::string failure() const;
};

// Coordinate variable `name` over dim (double) with its standard and long name, units and
// axis, and its bounds variable NAME_bnds (NAME, nv); bounds_var gets it.
int ornax_nc_define_coordinate(Ornaxncfiletype& nc, const char* name, int dim, int nv_dim,
                               const char* standard_name, const char* units, const char* axis,
                               int& bounds_var);

// The dimensions lat and lon of the grid with their coordinates and bounds, and the grid
// mapping variable "crs" (WGS 84 latitude-longitude, crs_wkt and spatial_ref the WKT of
// the run grids) that every mapped variable names.
struct Ornaxncgridvarstype {
    int lat_dim = -1, lon_dim = -1;
    int lat_var = -1, lon_var = -1, lat_bnds = -1, lon_bnds = -1, crs_var = -1;
};
void ornax_nc_define_grid(Ornaxncfiletype& nc, const Ornaxncgridtype& grid, int nv_dim,
                          Ornaxncgridvarstype& vars);
// Writes the cell-centre latitudes and longitudes and the cells' edges (data mode).
void ornax_nc_put_grid(Ornaxncfiletype& nc, const Ornaxncgridtype& grid,
                       const Ornaxncgridvarstype& vars);

// The time coordinate: days since 1970-01-01, standard calendar, bounds time_bnds.
int ornax_nc_define_time(Ornaxncfiletype& nc, int time_dim, int nv_dim, int& bounds_var);

// Chunks of whole lines (about 65536 values, one time step) and deflate level 4 for a
// (time, lat, lon) variable.
void ornax_nc_chunk_and_deflate(Ornaxncfiletype& nc, int var, const Ornaxncgridtype& grid,
                                const std::string& name);

// Days from 1970-01-01 to day `doy` of `year`.
long ornax_days_since_epoch(int year, int doy);

// Hidden temporary name beside `target` for this process (".NAME.tmpPID").
std::string ornax_nc_temporary_name(const std::string& target);
