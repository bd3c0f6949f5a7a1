// Geostationary fixed-grid scans (ABI level-2 products in NetCDF-4): the packed variable
// with its quality flags, the scan-angle axes, the imager projection and the scan time.
#pragma once

#include <string>
#include <vector>

// The satellite's fixed-grid projection as the file gives it.
struct GeosProjection {
    double perspective_point_height = 0.0;  // satellite height above the ellipsoid (m)
    double semi_major_axis = 0.0;           // m
    double semi_minor_axis = 0.0;           // m
    double lon_0 = 0.0;                     // longitude_of_projection_origin (deg east)
    std::string sweep = "x";                // sweep_angle_axis
    double nominal_subpoint_lon = 0.0;      // platform longitude, logged beside lon_0
    // PROJ definition: +proj=geos with the file's height, axes, lon_0 and sweep axis.
    std::string proj_string() const;
    bool same_as(const GeosProjection& other) const;
};

// One scan of one variable, decoded; values hold the physical value (scale and offset
// applied) of every pixel that counts, and NaN elsewhere.
struct GeosScan {
    std::string file, variable, units, platform, time_coverage_start;
    int nx = 0, ny = 0;
    double x0 = 0.0, y0 = 0.0, dx = 0.0, dy = 0.0;  // upper-left corner and step (m)
    double scan_time = 0.0;                         // mid-scan, seconds since 1970-01-01 UTC
    std::vector<float> values;                      // ny rows of nx, first row first
    long valid = 0, flagged = 0, fill = 0;          // pixel counts
    GeosProjection projection;
};

// J2000 epoch (2000-01-01 12:00:00 UTC) in seconds since 1970-01-01 UTC.
inline constexpr double j2000_unix_seconds = 946728000.0;

// Reads `variable` of an ABI level-2 file: only pixels whose DQF is 0 (good quality),
// that are not the fill value and lie in valid_range count. expected_units is compared
// with the variable's units (a temperature in deg C where K is expected is refused).
// Status 0, or 3 with error naming the file and the reason.
void read_geos_scan(const std::string& file, const std::string& variable,
                    const std::string& expected_units, GeosScan& scan, std::string& error,
                    int& status);

// The same checks and fields without reading the values (values stay empty).
void read_geos_header(const std::string& file, const std::string& variable,
                      const std::string& expected_units, GeosScan& scan, std::string& error,
                      int& status);

// Seconds since 1970-01-01 UTC of an ISO-8601 text "YYYY-MM-DDThh:mm:ss[.s]Z"; false
// when the text is not of that form.
bool parse_iso_time(const std::string& text, double& seconds);
// Seconds since 1970-01-01 UTC of 00 UTC of a day of year.
double day_start_seconds(int year, int doy);
