// Geostationary scans read in a child process.
#include "ingest/satellite/isolated_reads.hpp"

#include "ingest/common/support.hpp"

void pack_geos_scan(const GeosScan& s, IsolatedBytes& out) {
    for (const std::string* t :
         {&s.file, &s.variable, &s.units, &s.platform, &s.time_coverage_start})
        out.put(*t);
    out.put(static_cast<std::int64_t>(s.nx));
    out.put(static_cast<std::int64_t>(s.ny));
    for (double d : {s.x0, s.y0, s.dx, s.dy, s.scan_time}) out.put(d);
    out.put(s.values);
    for (long n : {s.valid, s.flagged, s.fill}) out.put(static_cast<std::int64_t>(n));
    const GeosProjection& p = s.projection;
    for (double d : {p.perspective_point_height, p.semi_major_axis, p.semi_minor_axis, p.lon_0,
                     p.nominal_subpoint_lon})
        out.put(d);
    out.put(p.sweep);
}

bool unpack_geos_scan(IsolatedBytes& in, GeosScan& s) {
    for (std::string* t : {&s.file, &s.variable, &s.units, &s.platform, &s.time_coverage_start})
        in.get(*t);
    in.get(s.nx);
    in.get(s.ny);
    for (double* d : {&s.x0, &s.y0, &s.dx, &s.dy, &s.scan_time}) in.get(*d);
    in.get(s.values);
    for (long* n : {&s.valid, &s.flagged, &s.fill}) in.get(*n);
    GeosProjection& p = s.projection;
    for (double* d : {&p.perspective_point_height, &p.semi_major_axis, &p.semi_minor_axis, &p.lon_0,
                      &p.nominal_subpoint_lon})
        in.get(*d);
    in.get(p.sweep);
    return in.complete();
}

namespace {

void read_isolated(bool with_values, const std::string& file, const std::string& variable,
                   const std::string& expected_units, GeosScan& scan, std::string& error,
                   int& status) {
    IsolatedBytes result;
    const auto work = [&](IsolatedBytes& out, std::string& err, int& st) {
        GeosScan read;
        if (with_values)
            read_geos_scan(file, variable, expected_units, read, err, st);
        else
            read_geos_header(file, variable, expected_units, read, err, st);
        if (st == 0) pack_geos_scan(read, out);
    };
    ingest_isolated_read("NetCDF", file, work, result, error, status);
    if (status == 0 && !unpack_geos_scan(result, scan)) {
        error = "the scan read from " + file + " came back incomplete";
        status = ingest_status_failed;
    }
}

}  // namespace

void read_geos_scan_isolated(const std::string& file, const std::string& variable,
                             const std::string& expected_units, GeosScan& scan, std::string& error,
                             int& status) {
    read_isolated(true, file, variable, expected_units, scan, error, status);
}

void read_geos_header_isolated(const std::string& file, const std::string& variable,
                               const std::string& expected_units, GeosScan& scan,
                               std::string& error, int& status) {
    read_isolated(false, file, variable, expected_units, scan, error, status);
}
