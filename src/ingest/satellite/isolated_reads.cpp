// Geostationary scans read in a child process.
#include "ingest/satellite/isolated_reads.hpp"

#include "ingest/common/support.hpp"
#include "ingest/raster/grid_warp.hpp"

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

void prepare_satellite_isolated(const SatelliteRequest& request, SatelliteResult& result,
                                std::string& error, int& status) {
    ingest_gdal_init();  // before the fork: the child finds the drivers registered
    IsolatedBytes bytes;
    const auto work = [&](IsolatedBytes& out, std::string& err, int& st) {
        SatelliteResult here;
        prepare_satellite(request, here, err, st);
        if (st != 0) return;
        out.put(static_cast<std::int64_t>(here.rasters.size()));
        for (const auto& [stem, values] : here.rasters) {
            out.put(stem);
            out.put(values);
        }
        out.put(here.manifest.dump());
        out.put(static_cast<std::int64_t>(here.notes.size()));
        for (const std::string& note : here.notes) out.put(note);
        out.put(here.obs1);
        out.put(here.obs2);
    };
    const std::string first =
        request.lst_files.empty() ? std::string("no scan") : request.lst_files.front();
    ingest_isolated_read("NetCDF", first, work, bytes, error, status);
    if (status != 0) return;
    std::int64_t n = 0;
    bytes.get(n);
    for (std::int64_t i = 0; i < n; ++i) {
        std::string stem;
        std::vector<float> values;
        if (bytes.get(stem) && bytes.get(values)) result.rasters[stem] = std::move(values);
    }
    std::string manifest;
    bytes.get(manifest);
    result.manifest = nlohmann::json::parse(manifest, nullptr, false);
    bytes.get(n);
    for (std::int64_t i = 0; i < n; ++i) {
        std::string note;
        if (bytes.get(note)) result.notes.push_back(std::move(note));
    }
    bytes.get(result.obs1);
    bytes.get(result.obs2);
    if (!bytes.complete()) {
        error = "the satellite rasters made from " + first + " came back incomplete";
        status = ingest_status_failed;
    }
}
