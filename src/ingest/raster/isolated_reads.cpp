// Rasters read in a child process.
#include "ingest/raster/isolated_reads.hpp"

#include "ingest/common/isolated_read.hpp"
#include "ingest/common/support.hpp"
#include "ingest/raster/grid_warp.hpp"

namespace {

std::string first_file(const std::vector<std::string>& sources) {
    return sources.empty() ? std::string("no source") : source_file_name(sources.front());
}

}  // namespace

void prepare_raster_isolated(const std::vector<std::string>& sources, const Spatialinfodata& grid,
                             const RasterRules& rules, std::vector<float>& values,
                             nlohmann::json& details, std::string& error, int& status) {
    ingest_gdal_init();  // before the fork: the child finds the drivers registered
    IsolatedBytes result;
    const auto work = [&](IsolatedBytes& out, std::string& err, int& st) {
        std::vector<float> v;
        nlohmann::json d;
        prepare_raster(sources, grid, rules, v, d, err, st);
        out.put(v);
        out.put(d.dump());
    };
    ingest_isolated_read("GDAL", first_file(sources), work, result, error, status);
    if (status != 0) return;
    std::string text;
    if (!result.get(values) || !result.get(text) || !result.complete()) {
        error = "the values read from " + first_file(sources) + " came back incomplete";
        status = ingest_status_failed;
        return;
    }
    details = nlohmann::json::parse(text, nullptr, false);
}

void inspect_raster_isolated(const std::vector<std::string>& sources, const Spatialinfodata& grid,
                             const RasterRules& rules, RasterInventory& inventory,
                             std::vector<std::string>& problems) {
    ingest_gdal_init();
    IsolatedBytes result;
    const auto work = [&](IsolatedBytes& out, std::string&, int& st) {
        RasterInventory inv;
        std::vector<std::string> found;
        inspect_raster(sources, grid, rules, inv, found);
        out.put(static_cast<std::int64_t>(found.size()));
        for (const std::string& f : found) out.put(f);
        out.put(inv.cover);
        out.put(static_cast<std::int64_t>(inv.sources.size()));
        for (const RasterSourceInfo& s : inv.sources) {
            for (const std::string* t : {&s.source, &s.driver, &s.product, &s.period, &s.crs})
                out.put(*t);
            out.put(static_cast<std::int64_t>(s.has_nodata));
            out.put(s.nodata);
            out.put(s.cover);
        }
        st = 0;
    };
    std::string error;
    int status = 0;
    ingest_isolated_read("GDAL", first_file(sources), work, result, error, status);
    if (status != 0) {
        problems.push_back(error);
        return;
    }
    std::int64_t n = 0;
    result.get(n);
    for (std::int64_t i = 0; i < n; ++i) {
        std::string f;
        if (result.get(f)) problems.push_back(std::move(f));
    }
    result.get(inventory.cover);
    result.get(n);
    for (std::int64_t i = 0; i < n; ++i) {
        RasterSourceInfo s;
        for (std::string* t : {&s.source, &s.driver, &s.product, &s.period, &s.crs}) result.get(*t);
        result.get(s.has_nodata);
        result.get(s.nodata);
        result.get(s.cover);
        inventory.sources.push_back(std::move(s));
    }
    if (!result.complete())
        problems.push_back("the metadata read from " + first_file(sources) +
                           " came back incomplete");
}
