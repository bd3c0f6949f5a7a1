// Writes a geostationary scan in the ABI level-2 layout with the NetCDF library.
#include "ingest/satellite/abi_writer.hpp"
#include "ornax90/type_kinds.hpp"

#include <netcdf.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

constexpr unsigned short fill_ushort = 65535;

// Transformation between the fixed grid (m) and longitude/latitude on its ellipsoid.
OGRCoordinateTransformationH geos_transform(const GeosProjection& p, bool to_lonlat) {
    OGRSpatialReferenceH geos = OSRNewSpatialReference(nullptr);
    OGRSpatialReferenceH geo = OSRNewSpatialReference(nullptr);
    OSRSetAxisMappingStrategy(geos, OAMS_TRADITIONAL_GIS_ORDER);
    OSRSetAxisMappingStrategy(geo, OAMS_TRADITIONAL_GIS_ORDER);
    const std::string lonlat = "+proj=longlat +a=" + std::to_string(p.semi_major_axis) +
                               " +b=" + std::to_string(p.semi_minor_axis) + " +no_defs";
    OGRCoordinateTransformationH t = nullptr;
    if (OSRImportFromProj4(geos, p.proj_string().c_str()) == OGRERR_NONE &&
        OSRImportFromProj4(geo, lonlat.c_str()) == OGRERR_NONE)
        t = to_lonlat ? OCTNewCoordinateTransformation(geos, geo)
                      : OCTNewCoordinateTransformation(geo, geos);
    OSRDestroySpatialReference(geos);
    OSRDestroySpatialReference(geo);
    return t;
}

bool ok(int code) {
    return code == NC_NOERR;
}

void put_projection(int nc, const GeosProjection& p, bool& good) {
    int var = 0;
    good = good && ok(nc_def_var(nc, "goes_imager_projection", NC_INT, 0, nullptr, &var));
    const double inv_f = p.semi_major_axis / (p.semi_major_axis - p.semi_minor_axis);
    const char* gm = "geostationary";
    good =
        good && ok(nc_put_att_text(nc, var, "grid_mapping_name", std::strlen(gm), gm)) &&
        ok(nc_put_att_double(nc, var, "perspective_point_height", NC_DOUBLE, 1,
                             &p.perspective_point_height)) &&
        ok(nc_put_att_double(nc, var, "semi_major_axis", NC_DOUBLE, 1, &p.semi_major_axis)) &&
        ok(nc_put_att_double(nc, var, "semi_minor_axis", NC_DOUBLE, 1, &p.semi_minor_axis)) &&
        ok(nc_put_att_double(nc, var, "inverse_flattening", NC_DOUBLE, 1, &inv_f)) &&
        ok(nc_put_att_double(nc, var, "longitude_of_projection_origin", NC_DOUBLE, 1, &p.lon_0)) &&
        ok(nc_put_att_text(nc, var, "sweep_angle_axis", p.sweep.size(), p.sweep.c_str()));
}

// A scan-angle axis stored as short with scale and offset (radians).
void put_axis(int nc, const char* name, int dim, double first, double step, int n, bool& good,
              int& var) {
    good = good && ok(nc_def_var(nc, name, NC_SHORT, 1, &dim, &var));
    const float scale = static_cast<float>(step), offset = static_cast<float>(first);
    const char* units = "rad";
    good = good && ok(nc_put_att_float(nc, var, "scale_factor", NC_FLOAT, 1, &scale)) &&
           ok(nc_put_att_float(nc, var, "add_offset", NC_FLOAT, 1, &offset)) &&
           ok(nc_put_att_text(nc, var, "units", 3, units));
    (void)n;
}

}  // namespace

void abi_window(const GeosProjection& p, double west, double south, double east, double north,
                double step_rad, AbiLayout& layout, int& status) {
    status = ornax_status_failure;
    OGRCoordinateTransformationH t = geos_transform(p, false);
    if (t == nullptr) return;
    double xmin = 1e30, xmax = -1e30, ymin = 1e30, ymax = -1e30;
    for (int i = 0; i <= 20; ++i)
        for (int j = 0; j <= 20; ++j) {
            double x = west + (east - west) * i / 20.0, y = south + (north - south) * j / 20.0;
            if (!OCTTransform(t, 1, &x, &y, nullptr)) continue;
            xmin = std::min(xmin, x), xmax = std::max(xmax, x);
            ymin = std::min(ymin, y), ymax = std::max(ymax, y);
        }
    OCTDestroyCoordinateTransformation(t);
    if (xmin > xmax) return;
    const double h = p.perspective_point_height;
    layout.projection = p;
    layout.step_rad = step_rad;
    layout.x0_rad = xmin / h - step_rad;  // one pixel of margin on every side
    layout.y0_rad = ymax / h + step_rad;  // rows run from north to south
    layout.nx = static_cast<int>(std::ceil((xmax - xmin) / h / step_rad)) + 3;
    layout.ny = static_cast<int>(std::ceil((ymax - ymin) / h / step_rad)) + 3;
    status = 0;
}

void write_abi_file(const std::string& file, const AbiLayout& L, const PixelValue& value,
                    std::string& error, int& status) {
    status = ornax_status_failure;
    const std::size_t n = static_cast<std::size_t>(L.nx) * L.ny;
    std::vector<unsigned short> packed(n, fill_ushort), dqf(n, 0);
    std::vector<short> xs(static_cast<std::size_t>(L.nx)), ys(static_cast<std::size_t>(L.ny));
    for (int i = 0; i < L.nx; ++i) xs[static_cast<std::size_t>(i)] = static_cast<short>(i);
    for (int j = 0; j < L.ny; ++j) ys[static_cast<std::size_t>(j)] = static_cast<short>(j);
    OGRCoordinateTransformationH t = geos_transform(L.projection, true);
    if (t == nullptr) {
        error = "PROJ does not accept " + L.projection.proj_string();
        return;
    }
    // pixel centres as the file will store them: float scale and offset of short counts
    const float sx = static_cast<float>(L.step_rad), ox = static_cast<float>(L.x0_rad);
    const float sy = static_cast<float>(-L.step_rad), oy = static_cast<float>(L.y0_rad);
    const double h = L.projection.perspective_point_height;
    for (int j = 0; j < L.ny; ++j)
        for (int i = 0; i < L.nx; ++i) {
            double x = (i * static_cast<double>(sx) + ox) * h,
                   y = (j * static_cast<double>(sy) + oy) * h;
            const std::size_t k = static_cast<std::size_t>(j) * L.nx + i;
            if (!OCTTransform(t, 1, &x, &y, nullptr) || !std::isfinite(x)) continue;
            const double v = value(x, y);
            if (std::isnan(v)) {
                dqf[k] = 2;  // invalid: cloudy
                continue;
            }
            const double stored = std::round((v - L.offset) / L.scale);
            if (stored >= 0.0 && stored < 65535.0)
                packed[k] = static_cast<unsigned short>(stored);
            else
                dqf[k] = 32;  // out of range
        }
    OCTDestroyCoordinateTransformation(t);
    int nc = -1, dy = 0, dx = 0, vx = 0, vy = 0, var = 0, vq = 0, vt = 0;
    bool good = ok(nc_create(file.c_str(), NC_CLOBBER | NC_NETCDF4, &nc));
    good = good && ok(nc_def_dim(nc, "y", static_cast<std::size_t>(L.ny), &dy)) &&
           ok(nc_def_dim(nc, "x", static_cast<std::size_t>(L.nx), &dx));
    const int dims[2] = {dy, dx};
    good = good && ok(nc_def_var(nc, L.variable.c_str(), NC_USHORT, 2, dims, &var));
    const unsigned short fill = fill_ushort, range[2] = {0, 65534};
    const float scale = static_cast<float>(L.scale), offset = static_cast<float>(L.offset);
    good = good && ok(nc_put_att_ushort(nc, var, "_FillValue", NC_USHORT, 1, &fill)) &&
           ok(nc_put_att_ushort(nc, var, "valid_range", NC_USHORT, 2, range)) &&
           ok(nc_put_att_float(nc, var, "scale_factor", NC_FLOAT, 1, &scale)) &&
           ok(nc_put_att_float(nc, var, "add_offset", NC_FLOAT, 1, &offset)) &&
           ok(nc_put_att_text(nc, var, "units", L.units.size(), L.units.c_str())) &&
           ok(nc_put_att_text(nc, var, "grid_mapping", 22, "goes_imager_projection"));
    good = good && ok(nc_def_var(nc, "DQF", NC_USHORT, 2, dims, &vq)) &&
           ok(nc_put_att_ushort(nc, vq, "_FillValue", NC_USHORT, 1, &fill));
    good = good && ok(nc_def_var(nc, "t", NC_DOUBLE, 0, nullptr, &vt)) &&
           ok(nc_put_att_text(nc, vt, "units", 32, "seconds since 2000-01-01 12:00:00"));
    put_axis(nc, "y", dy, L.y0_rad, -L.step_rad, L.ny, good, vy);
    put_axis(nc, "x", dx, L.x0_rad, L.step_rad, L.nx, good, vx);
    put_projection(nc, L.projection, good);
    char start[32];
    const std::time_t whole = static_cast<std::time_t>(std::floor(L.scan_time));
    std::tm tm{};
    gmtime_r(&whole, &tm);
    std::strftime(start, sizeof start, "%Y-%m-%dT%H:%M:%S.0Z", &tm);
    good = good &&
           ok(nc_put_att_text(nc, NC_GLOBAL, "time_coverage_start", std::strlen(start), start)) &&
           ok(nc_put_att_text(nc, NC_GLOBAL, "platform_ID", 3, "G16")) && ok(nc_enddef(nc));
    const double t_j2000 = L.scan_time - j2000_unix_seconds;
    good = good && ok(nc_put_var_ushort(nc, var, packed.data())) &&
           ok(nc_put_var_ushort(nc, vq, dqf.data())) && ok(nc_put_var_short(nc, vx, xs.data())) &&
           ok(nc_put_var_short(nc, vy, ys.data())) && ok(nc_put_var_double(nc, vt, &t_j2000));
    if (nc >= 0) good = ok(nc_close(nc)) && good;
    if (!good) {
        error = file + ": the NetCDF library could not write the scan";
        return;
    }
    status = 0;
}
