// Geostationary fixed-grid scans: decoding with the NetCDF library.
#include "ingest/satellite/abi_scan.hpp"
#include "ornax90/type_kinds.hpp"
#include "ingest/common/support.hpp"

#include <netcdf.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "ingest/common/plausibility.hpp"
#include "ingest/common/support.hpp"

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
long days_from_civil(long y, long m, long d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool att_double(int nc, int var, const char* name, double& value) {
    return nc_get_att_double(nc, var, name, &value) == NC_NOERR;
}

bool att_text(int nc, int var, const char* name, std::string& value) {
    std::size_t len = 0;
    if (nc_inq_attlen(nc, var, name, &len) != NC_NOERR) return false;
    value.assign(len, '\0');
    if (nc_get_att_text(nc, var, name, value.data()) != NC_NOERR) return false;
    while (!value.empty() && value.back() == '\0') value.pop_back();
    return true;
}

// A scan-angle axis (radians, packed): first centre and step, in metres on the fixed grid.
bool read_axis(int nc, const char* name, double height, int& n, double& first, double& step) {
    int var = 0, dim = 0;
    std::size_t len = 0;
    if (nc_inq_varid(nc, name, &var) != NC_NOERR || nc_inq_vardimid(nc, var, &dim) != NC_NOERR ||
        nc_inq_dimlen(nc, dim, &len) != NC_NOERR || len < 2)
        return false;
    std::vector<double> v(len);
    if (nc_get_var_double(nc, var, v.data()) != NC_NOERR) return false;
    double scale = 1.0, offset = 0.0;
    att_double(nc, var, "scale_factor", scale);
    att_double(nc, var, "add_offset", offset);
    n = static_cast<int>(len);
    first = (v[0] * scale + offset) * height;
    step = (v[1] - v[0]) * scale * height;
    return std::isfinite(first) && step != 0.0;
}

struct NcFile {
    int id = -1;
    ~NcFile() {
        if (id >= 0) nc_close(id);
    }
};

bool read_projection(int nc, GeosProjection& p) {
    int var = 0;
    if (nc_inq_varid(nc, "goes_imager_projection", &var) != NC_NOERR) return false;
    bool ok = att_double(nc, var, "perspective_point_height", p.perspective_point_height) &&
              att_double(nc, var, "semi_major_axis", p.semi_major_axis) &&
              att_double(nc, var, "semi_minor_axis", p.semi_minor_axis) &&
              att_double(nc, var, "longitude_of_projection_origin", p.lon_0);
    att_text(nc, var, "sweep_angle_axis", p.sweep);
    p.nominal_subpoint_lon = p.lon_0;
    int lon_var = 0;
    float lon = 0.0f;
    if (nc_inq_varid(nc, "nominal_satellite_subpoint_lon", &lon_var) == NC_NOERR &&
        nc_get_var_float(nc, lon_var, &lon) == NC_NOERR && lon > -361.0f)
        p.nominal_subpoint_lon = lon;
    return ok && p.perspective_point_height > 0.0 && p.semi_major_axis > 0.0 &&
           (p.sweep == "x" || p.sweep == "y");
}

// Mid-scan time: the variable t (J2000 seconds), else time_coverage_start.
// Seconds by which the scan time t may lie outside the scan's coverage (start to end).
constexpr double scan_time_tolerance = 60.0;

// The scan time: t, which must agree with time_coverage_start (and lie before
// time_coverage_end) when the file gives them; else time_coverage_start. `problem` tells
// a disagreement.
bool read_scan_time(int nc, GeosScan& scan, std::string& problem) {
    att_text(nc, NC_GLOBAL, "time_coverage_start", scan.time_coverage_start);
    std::string end_text;
    att_text(nc, NC_GLOBAL, "time_coverage_end", end_text);
    double start = 0.0, end = 0.0;
    const bool have_start = parse_iso_time(scan.time_coverage_start, start);
    const bool have_end = parse_iso_time(end_text, end) && end >= start;
    int var = 0;
    double t = 0.0;
    if (nc_inq_varid(nc, "t", &var) == NC_NOERR && nc_get_var_double(nc, var, &t) == NC_NOERR &&
        std::isfinite(t)) {
        scan.scan_time = j2000_unix_seconds + t;
        const double last = (have_end ? end : start) + scan_time_tolerance;
        if (have_start && (scan.scan_time < start - scan_time_tolerance || scan.scan_time > last))
            problem = "the scan time t (" + ingest_number(scan.scan_time - start) +
                      " s from time_coverage_start " + scan.time_coverage_start +
                      ") lies outside the scan's coverage" +
                      (have_end ? " (to " + end_text + ")" : std::string()) +
                      ": which of them is right is not known";
        return true;
    }
    scan.scan_time = start;
    return have_start;
}

// Opens the file and reads everything but the values: variable, projection, axes, units,
// platform and scan time.
bool read_header(const std::string& file, const std::string& variable,
                 const std::string& expected_units, NcFile& nc, int& var, GeosScan& scan,
                 std::string& error) {
    if (nc_open(file.c_str(), NC_NOWRITE, &nc.id) != NC_NOERR) {
        nc.id = -1;
        std::string kind;
        error = file + ": " +
                (!ingest_file_kind(file, kind) ? kind
                 : kind == "a NetCDF file" || kind == "an HDF5/NetCDF-4 file"
                     ? kind + " the NetCDF library cannot open"
                     : "is " + kind + ", not a NetCDF file");
        return false;
    }
    if (nc_inq_varid(nc.id, variable.c_str(), &var) != NC_NOERR) {
        error = file + ": no variable " + variable + " (not a product of that variable)";
        return false;
    }
    if (!read_projection(nc.id, scan.projection)) {
        error = file + ": no usable goes_imager_projection (height, axes, lon_0, sweep axis)";
        return false;
    }
    const double h = scan.projection.perspective_point_height;
    int ny = 0;
    if (!read_axis(nc.id, "x", h, scan.nx, scan.x0, scan.dx) ||
        !read_axis(nc.id, "y", h, ny, scan.y0, scan.dy)) {
        error = file + ": no scan-angle axes x and y";
        return false;
    }
    scan.ny = ny;
    scan.x0 -= scan.dx / 2, scan.y0 -= scan.dy / 2;  // centres to the upper-left corner
    att_text(nc.id, var, "units", scan.units);
    if (scan.units != expected_units) {
        error = file + ": " + variable + " is in '" + scan.units + "', expected '" +
                expected_units + "'";
        return false;
    }
    att_text(nc.id, NC_GLOBAL, "platform_ID", scan.platform);
    std::string time_problem;
    if (!read_scan_time(nc.id, scan, time_problem)) {
        error = file + ": no scan time (variable t or time_coverage_start)";
        return false;
    }
    if (!time_problem.empty()) {
        error = file + ": " + time_problem;
        return false;
    }
    return true;
}

}  // namespace

std::string GeosProjection::proj_string() const {
    char text[256];
    std::snprintf(text, sizeof text,
                  "+proj=geos +h=%.3f +a=%.3f +b=%.5f +lon_0=%.6f +sweep=%s "
                  "+units=m +no_defs",
                  perspective_point_height, semi_major_axis, semi_minor_axis, lon_0, sweep.c_str());
    return text;
}

bool GeosProjection::same_as(const GeosProjection& o) const {
    return perspective_point_height == o.perspective_point_height &&
           semi_major_axis == o.semi_major_axis && semi_minor_axis == o.semi_minor_axis &&
           lon_0 == o.lon_0 && sweep == o.sweep;
}

bool parse_iso_time(const std::string& text, double& seconds) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0.0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%lf", &y, &mo, &d, &h, &mi, &s) != 6 ||
        mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s < 0.0 || s >= 61.0)
        return false;
    seconds = days_from_civil(y, mo, d) * 86400.0 + h * 3600.0 + mi * 60.0 + s;
    return true;
}

double day_start_seconds(int year, int doy) {
    return (days_from_civil(year, 1, 1) + doy - 1) * 86400.0;
}

void read_geos_header(const std::string& file, const std::string& variable,
                      const std::string& expected_units, GeosScan& scan, std::string& error,
                      int& status) {
    scan = GeosScan{};
    scan.file = file;
    scan.variable = variable;
    NcFile nc;
    int var = 0;
    status = read_header(file, variable, expected_units, nc, var, scan, error)
                 ? 0
                 : ornax_status_failure;
}

void read_geos_scan(const std::string& file, const std::string& variable,
                    const std::string& expected_units, GeosScan& scan, std::string& error,
                    int& status) {
    status = ornax_status_failure;
    scan = GeosScan{};
    scan.file = file;
    scan.variable = variable;
    NcFile nc;
    int var = 0, dqf = 0;
    if (!read_header(file, variable, expected_units, nc, var, scan, error)) return;
    const std::size_t n = static_cast<std::size_t>(scan.nx) * scan.ny;
    std::vector<unsigned short> raw(n), flags(n, 0);
    if (nc_inq_varid(nc.id, "DQF", &dqf) != NC_NOERR ||
        nc_get_var_ushort(nc.id, var, raw.data()) != NC_NOERR ||
        nc_get_var_ushort(nc.id, dqf, flags.data()) != NC_NOERR) {
        error = file + ": " + variable + " or its quality flags DQF cannot be read as " +
                std::to_string(scan.ny) + " x " + std::to_string(scan.nx) + " values";
        return;
    }
    double scale = 1.0, offset = 0.0, fill = 65535.0, range[2] = {0.0, 65535.0};
    att_double(nc.id, var, "scale_factor", scale);
    att_double(nc.id, var, "add_offset", offset);
    att_double(nc.id, var, "_FillValue", fill);
    nc_get_att_double(nc.id, var, "valid_range", range);
    scan.values.assign(n, std::numeric_limits<float>::quiet_NaN());
    for (std::size_t k = 0; k < n; ++k) {
        if (raw[k] == fill)
            ++scan.fill;
        else if (flags[k] != 0 || raw[k] < range[0] || raw[k] > range[1])
            ++scan.flagged;
        else {
            scan.values[k] = static_cast<float>(raw[k] * scale + offset);
            ++scan.valid;
        }
    }
    if (expected_units == "K" && scan.valid > 0) {  // a surface temperature
        std::vector<std::string> problems;
        check_field_plausible(file, variable, scan.units, "trad", scan.values, problems);
        if (!problems.empty()) {
            error = ingest_problems_text(problems);
            return;
        }
    }
    status = 0;
}
