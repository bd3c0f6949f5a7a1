// `ornax_ingest raster`: command line, output raster and manifest.
#include "ingest/raster/command.hpp"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "ingest/common/support.hpp"
#include "ingest/common/manifest.hpp"
#include "ingest/raster/convert.hpp"
#include "ingest/raster/isolated_reads.hpp"
#include "ornax90/output/publish.hpp"

namespace {

namespace fs = std::filesystem;

std::string joined(int argc, char** argv) {
    std::string text = "ornax_ingest";
    for (int i = 0; i < argc; ++i) text += std::string(" ") + argv[i];
    return text;
}

bool parse_number(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end != nullptr && *end == '\0' && std::isfinite(value);
}

// --valid takes two values: "--valid MIN MAX" becomes "--valid=MIN,MAX".
std::vector<std::string> joined_valid(int argc, char** argv) {
    std::vector<std::string> out;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--valid" && i + 2 < argc) {
            out.push_back("--valid=" + std::string(argv[i + 1]) + "," + argv[i + 2]);
            i += 2;
        } else {
            out.push_back(a);
        }
    }
    return out;
}

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

bool read_rules(const IngestArgs& a, RasterRules& r, std::string& error) {
    if (a.has("resample") && !parse_resampling(a.value("resample"), r.resampling))
        return fail(error,
                    "--resample " + a.value("resample") + ": nearest, average, bilinear or mode");
    if (a.has("scale") || a.has("offset")) {
        r.scale_given = true;
        if (!parse_number(a.value("scale", "1"), r.scale) ||
            !parse_number(a.value("offset", "0"), r.offset))
            return fail(error, "--scale and --offset take numbers");
    }
    if (a.has("valid")) {
        const std::string v = a.value("valid");
        const std::size_t comma = v.find(',');
        r.valid_given = true;
        if (comma == std::string::npos || !parse_number(v.substr(0, comma), r.valid_min) ||
            !parse_number(v.substr(comma + 1), r.valid_max) || r.valid_min > r.valid_max)
            return fail(error, "--valid takes MIN MAX (stored values, MIN <= MAX)");
    }
    if (a.has("band")) {
        int status = 0;
        std::string why;
        ingest_parse_int(a.value("band"), "--band", 1, 100000, r.band, why, status);
        if (status != 0) return fail(error, why);
    }
    if (a.has("missing-codes") && !parse_code_list(a.value("missing-codes"), r.missing_codes))
        return fail(error, "--missing-codes " + a.value("missing-codes") +
                               ": stored values or ranges, e.g. 249-255,0");
    if (a.has("class-map") && !parse_class_map(a.value("class-map"), r.class_map))
        return fail(error, "--class-map " + a.value("class-map") + ": e.g. 25=0,200=4");
    if (a.has("day")) {
        const std::string d = a.value("day");
        int status = 0;
        ingest_parse_int(d.size() == 7 ? d.substr(0, 4) : "", "--day YYYYDDD (year)", 1900, 2100,
                         r.year, error, status);
        if (status == 0)
            ingest_parse_int(d.substr(4), "--day YYYYDDD (day of year)", 1,
                             ingest_days_in_year(r.year), r.doy, error, status);
        if (status == 0)
            ingest_parse_int(a.value("window", "0"), "--window (days)", 0, 366, r.window_days,
                             error, status);
        if (status != 0) return false;
        r.check_day = true;
    }
    r.lat_file = a.value("lat-file");
    r.lon_file = a.value("lon-file");
    r.allow_partial = a.has("allow-partial");
    return true;
}

}  // namespace

// The raster and its manifest through temporary names, renamed when both are complete.
int raster_write_outputs(const std::filesystem::path& out, const std::string& command,
                         const std::string& grid_name, const Spatialinfodata& grid,
                         const RasterRules& rules, const std::string& class_map_text,
                         const std::vector<float>& values, const nlohmann::json& details,
                         bool replace) {
    namespace fs = std::filesystem;
    fs::path manifest_file = out;
    manifest_file.replace_extension(".manifest.json");
    ornax_publish_recover(out.parent_path().string());
    const fs::path temp = ornax_publish_staging_name(out.string());
    const fs::path manifest_temp = ornax_publish_staging_name(manifest_file.string());
    std::string error;
    int st = 0;
    IngestManifest manifest("raster", command);
    for (const nlohmann::json& d : details) {
        manifest.add_source(source_file_name(d["source"]), error, st);
        if (st != 0) break;
    }
    if (st == 0) ingest_write_raster(temp, values, grid.ncols, grid.nrows, 1, error, st);
    if (st == 0) {
        nlohmann::json& doc = manifest.document();
        doc["layers"] = details;
        doc["grid"] = grid_name;
        doc["missing_value"] = grid.spare_value;
        doc["resampling"] = resampling_name(rules.resampling);
        manifest.add_conversion("stored values that are fill, outside the valid range or listed "
                                "as missing codes become the missing value before resampling");
        if (!rules.class_map.empty())
            manifest.add_conversion("classes mapped: " + class_map_text +
                                    "; other classes are missing");
        else
            manifest.add_conversion("physical value from the stored value with each source's "
                                    "scale and offset (see layers)");
        manifest.add_counts(out.filename().string(), ingest_count_values(values, grid.spare_value));
        manifest.write(manifest_temp, error, st);
    }
    if (st == 0)
        ornax_publish(
            {{temp.string(), out.string()}, {manifest_temp.string(), manifest_file.string()}},
            replace, error, st);
    if (st != 0) {
        std::error_code ec;
        fs::remove(temp, ec);
        fs::remove(manifest_temp, ec);
        ingest_message(error);
        return ingest_exit_failure;
    }
    const ValueCounts c = ingest_count_values(values, grid.spare_value);
    ingest_message("raster: " + out.string() + " written, " + std::to_string(c.valid) +
                   " cells with data, " + std::to_string(c.missing) + " missing");
    return ingest_exit_ok;
}

void ingest_raster_usage(std::FILE* stream) {
    std::fprintf(
        stream,
        "Usage: ornax_ingest raster --grid DOMAIN_FILE|W,E,S,N,STEP --out FILE.bin [options] "
        "SOURCE...\n"
        "  Any raster GDAL opens (GeoTIFF, NETCDF:\"f.nc\":var, "
        "HDF4_EOS:EOS_GRID:\"f.hdf\":GRID:FIELD,\n"
        "  VRT; any projection) or an ASCII snow-and-ice grid (.asc) onto the grid, as one model\n"
        "  raster with FILE.manifest.json. Several tiles of one product mosaic into one grid.\n"
        "Options:\n"
        "  --resample METHOD      nearest (default), average, bilinear or mode\n"
        "  --scale S --offset O   physical = stored x S + O (default: the file's own)\n"
        "  --valid MIN MAX        valid stored values (default: the file's valid_range)\n"
        "  --missing-codes LIST   stored values that are missing, e.g. 249-255\n"
        "  --class-map LIST       stored class = written value, e.g. 25=0,200=4 (others missing)\n"
        "  --day YYYYDDD          the day the product must stand for (its period or name date)\n"
        "  --window DAYS          ... or lie within DAYS of it (default 0)\n"
        "  --lat-file F --lon-file F  cell positions of an ASCII grid (float32, one per cell)\n"
        "  --allow-partial        accept a grid the sources cover only in part\n"
        "  --replace              replace an existing FILE.bin and its manifest\n");
}

int ingest_raster_run(int argc, char** argv) {
    std::vector<std::string> words = joined_valid(argc, argv);
    std::vector<char*> av;
    for (std::string& w : words) av.push_back(w.data());
    IngestArgs a;
    std::string error;
    int st = 0;
    ingest_parse_args(static_cast<int>(av.size()), av.data(), 1,
                      {"grid", "out", "resample", "scale", "offset", "valid", "missing-codes",
                       "class-map", "day", "window", "lat-file", "lon-file", "band"},
                      {"allow-partial", "replace"}, a, error, st);
    RasterRules rules;
    Spatialinfodata grid;
    if (st == 0 && (!a.has("grid") || !a.has("out") || a.positional.empty())) {
        error = "raster needs --grid, --out and at least one SOURCE";
        st = ingest_status_failed;
    }
    if (st == 0 && !read_rules(a, rules, error)) st = ingest_status_failed;
    if (st != 0) {
        ingest_message(error);
        return ingest_exit_usage;
    }
    const fs::path out = a.value("out");
    std::vector<IngestSource> sources{{a.value("grid"), "grid file"},
                                      {a.value("lat-file"), "latitude file"},
                                      {a.value("lon-file"), "longitude file"}};
    for (const std::string& s : a.positional) sources.push_back({source_file_name(s), "source"});
    fs::path manifest_file = out;
    manifest_file.replace_extension(".manifest.json");
    ornax_publish_recover(fs::absolute(out).parent_path().string());
    for (const fs::path& o : {out, manifest_file}) {
        if (st == 0) ingest_check_output_not_sources(o.string(), sources, error, st);
        std::error_code ec;
        if (st == 0 && fs::exists(o, ec) && !a.has("replace"))
            error = o.string() + " exists already (not replaced; --replace replaces it)",
            st = ingest_status_failed;
    }
    if (st != 0) {
        ingest_message("raster refused: " + error);
        return ingest_exit_failure;
    }
    ingest_read_grid(a.value("grid"), grid, error, st);
    std::vector<float> values;
    nlohmann::json details;
    if (st == 0) prepare_raster_isolated(a.positional, grid, rules, values, details, error, st);
    if (st != 0) {
        ingest_message(error);
        return ingest_exit_failure;
    }
    return raster_write_outputs(a.value("out"), joined(argc, argv), a.value("grid"), grid, rules,
                                a.value("class-map"), values, details, a.has("replace"));
}
