// ornax_ingest forecast: one day of forecast-model GRIB2 fields into the nine forcing
// rasters of the region run, with the land mask and configuration lines on request.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "baseforcing/GFS/GFS_io_mod.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/file_io_mod.hpp"
#include "utils/fixed_text.hpp"
#include "ingest/forecast/command.hpp"
#include "ingest/forecast/day.hpp"
#include "ingest/forecast/fields.hpp"
#include "ingest/forecast/grib.hpp"
#include "ingest/forecast/isolated_reads.hpp"
#include "ingest/common/support.hpp"
#include "ingest/common/manifest.hpp"
#include "ingest/subcommands.hpp"
#include "ornax90/type_kinds.hpp"

namespace fs = std::filesystem;

namespace {

int fail(const std::string& text) {
    ingest_message(text);
    return ingest_exit_failure;
}

int parse(int argc, char** argv, ForecastJob& job) {
    IngestArgs args;
    std::string error;
    int status = 0;
    ingest_parse_args(argc, argv, 1, {"grid", "out", "land-mask", "config"},
                      {"replace", "substitute-missing-averages"}, args, error, status);
    if (status == 0 && (!args.has("grid") || !args.has("out")))
        error = "--grid and --out are required", status = ornax_status_failure;
    if (status == 0 && args.positional.size() < 3)
        error = "YEAR, DOY and at least one GRIB2 file are required", status = ornax_status_failure;
    if (status == 0)
        ingest_parse_int(args.positional[0], "YEAR", 1900, 2100, job.year, error, status);
    if (status == 0)
        ingest_parse_int(args.positional[1], "DOY", 1, ingest_days_in_year(job.year), job.doy,
                         error, status);
    if (status != 0) {
        ingest_message(error);
        return ingest_exit_usage;
    }
    job.grid_file = args.value("grid");
    job.out_root = args.value("out");
    job.land_mask = args.value("land-mask");
    job.config_dir = args.value("config");
    job.replace = args.has("replace");
    job.substitute_missing_averages = args.has("substitute-missing-averages");
    job.files.assign(args.positional.begin() + 2, args.positional.end());
    return ingest_exit_ok;
}

// The land mask on the common grid: 1 where the land-sea fraction is 0.5 or more, else 0.
int write_land_mask(const ForecastStore& store, const ForecastJob& job, IngestManifest& manifest) {
    const StoredField* lsm = store.constant("lsm");
    if (lsm == nullptr)
        return fail("lsm (land-sea mask, surface 0) is missing in every file given");
    std::vector<unsigned char> bytes;
    long land = 0, missing = 0;
    for (float v : lsm->cells) {
        if (std::isnan(v)) ++missing;
        const std::uint32_t value = v >= 0.5f ? 1u : 0u;
        land += value;
        for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<unsigned char>(value >> (8 * b)));
    }
    if (missing > 0)
        return fail("the land-sea mask of " + lsm->source + " is missing at " +
                    std::to_string(missing) + " common-grid cells; no land mask written");
    std::string error;
    int status = 0;
    fs::create_directories(fs::absolute(job.land_mask).parent_path());
    ingest_write_text_file(job.land_mask, std::string(bytes.begin(), bytes.end()), error, status);
    if (status != 0) return fail(error);
    manifest.document()["land_mask"] = {
        {"file", fs::absolute(job.land_mask).string()},
        {"source", lsm->source},
        {"land_cells", land},
        {"rule", "1 where the land-sea mask is 0.5 or more, else 0"}};
    return ingest_exit_ok;
}

// A path as a configuration line gives it: after HOME_DIR when that is set and leads it.
std::string home_path(const std::string& path) {
    const std::string full = fs::absolute(path).lexically_normal().string();
    const char* home = std::getenv("HOME_DIR");
    const std::string h = home == nullptr ? "" : trim_right(home);
    if (!h.empty() && full.rfind(h, 0) == 0) return full.substr(h.size());
    return full;
}

// The lines of the meteorological and forecast-model configuration files that the job
// decides, as their writers write them, each after its line number.
std::vector<std::string> config_lines(const ForecastJob& job) {
    const Spatialinfodata& g = job.grid;
    Ornaxcommonblock common;
    common.met_data_dir = home_path(job.out_root);
    common.east_lon = g.east_lon, common.west_lon = g.west_lon, common.dlon = g.dlon;
    common.north_lat = g.north_lat, common.south_lat = g.south_lat, common.dlat = g.dlat;
    common.ncols = g.ncols, common.nrows = g.nrows;
    common.nlayers = ornax_common_layer_count, common.nhours = forecast_steps_per_day;
    common.undef = forecast_fill, common.met_flag = 3;
    if (!job.land_mask.empty()) common.gfs_land_file = home_path(job.land_mask);
    const std::vector<std::string> met = ornax_met_config_lines("", common, Ornaxmeteoornax{});
    const std::vector<std::string> gfs =
        gfs_config_lines("", "", "", gfs_config_record("", 0, 0, 0, 0, 0, 0, g.ncols, g.nrows));
    auto line = [](int n, const std::vector<std::string>& file) {
        return "line " + write_i(n, 2, 2) + ": " + file[static_cast<std::size_t>(n - 1)];
    };
    std::vector<std::string> l = {"Meteorological configuration (HOME_DIR " +
                                  std::string(std::getenv("HOME_DIR") ? "set" : "unset") + "):"};
    for (int n : {6, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 34}) l.push_back(line(n, met));
    if (!job.land_mask.empty()) l.push_back(line(37, met));
    l.push_back("Forecast-model configuration:");
    for (int n : {14, 15, 17}) l.push_back(line(n, gfs));
    return l;
}

int write_day(const ForecastDayRasters& day, const ForecastJob& job, int year, int doy,
              IngestManifest& manifest) {
    const fs::path dest = fs::path(job.out_root) / ingest_day_dir_name(year, doy);
    StagedDir stage;
    std::string error;
    int status = 0;
    std::vector<IngestSource> sources;
    for (const std::string& f : job.files) sources.push_back({f, "forecast file", true});
    ingest_check_output_not_sources(dest.string(), sources, error, status);
    if (status == 0) stage.open(dest, error, status);
    if (status != 0) return fail(error);
    for (const ForecastRaster& r : day.rasters) {
        std::vector<float> values = r.values;
        for (float& v : values)
            if (!std::isfinite(v)) v = forecast_fill;
        manifest.add_counts(r.file, ingest_count_values(values, forecast_fill));
        manifest.document()["rasters"][r.file]["steps"] =
            day.record.value(r.file, nlohmann::json());
        ingest_write_raster(stage.path() / r.file, values, job.grid.ncols, job.grid.nrows,
                            r.layers * forecast_steps_per_day, error, status);
        if (status != 0) return fail(error);
    }
    for (const std::string& c : day.conversions) manifest.add_conversion(c);
    manifest.document()["profile_cells_above_highest_level"] = day.cells_above_top;
    manifest.document()["radiation_values_set_to_zero"] = day.radiation_set_to_zero;
    manifest.write(stage.path() / "manifest.json", error, status);
    if (status == 0) stage.commit(job.replace, error, status);
    if (status != 0) return fail(error + " (nothing written for this day)");
    ingest_message("wrote the nine rasters of " + ingest_day_dir_name(year, doy) + " to " +
                   dest.string());
    return ingest_exit_ok;
}

// The day after (year, doy).
void next_day(int& year, int& doy) {
    if (++doy > ingest_days_in_year(year)) {
        ++year;
        doy = 1;
    }
}

// Every output against every input file, before anything is read or written: the land
// mask may not be a forecast file or the grid file, and no day folder may be, contain or lie
// in one of them or hold the land mask (the day's switch would replace it), whether or not
// --replace is given. status 3 with the refusal naming both.
void check_outputs(const ForecastJob& job, std::string& error, int& status) {
    status = 0;
    std::vector<IngestSource> inputs;
    for (const std::string& f : job.files) inputs.push_back({f, "forecast file", false});
    std::error_code ec;
    if (fs::is_regular_file(job.grid_file, ec)) inputs.push_back({job.grid_file, "grid file"});
    if (!job.land_mask.empty()) {
        ingest_check_output_not_sources(job.land_mask, inputs, error, status);
        if (status != 0) return;
        inputs.push_back({job.land_mask, "land mask"});
    }
    for (IngestSource& input : inputs) input.output_is_folder = true;  // checked against days
    int year = job.year, doy = job.doy;
    for (int d = 0; d < job.days; ++d, next_day(year, doy)) {
        const fs::path dest = fs::path(job.out_root) / ingest_day_dir_name(year, doy);
        ingest_check_output_not_sources(dest.string(), inputs, error, status);
        if (status != 0) return;
    }
}

}  // namespace

int forecast_convert(const ForecastJob& job, const std::string& command) {
    std::string error;
    int status = 0;
    check_outputs(job, error, status);
    if (status != 0) return fail("forecast refused: " + error + "; nothing written");
    IngestManifest sources("forecast", command);
    for (const std::string& f : job.files) {
        sources.add_source(f, error, status);
        if (status != 0) return fail(error);
    }
    const std::int64_t start =
        forecast_hours(static_cast<long>(job.year) * 10000 + 101, 0) + 24 * (job.doy - 1);
    ForecastStore store;
    ForecastReadSummary summary;
    ingest_message("reading " + std::to_string(job.files.size()) + " GRIB2 file(s)");
    forecast_read_files_isolated(job.files, job.grid, start - 3, start + 24 * job.days, store,
                                 summary, error, status);
    if (status != 0) return fail(error);
    ingest_message(std::to_string(summary.fields_used) + " of " +
                   std::to_string(summary.fields_read) + " fields used, forecast grid " +
                   summary.grid.describe());
    int year = job.year, doy = job.doy;
    for (int d = 0; d < job.days; ++d, next_day(year, doy)) {
        ForecastDayRasters day;
        day.substitute_missing_averages = job.substitute_missing_averages;
        forecast_make_day(store, job.grid, year, doy, day, error, status);
        if (status != 0)
            return fail(error + " (nothing written for " + ingest_day_dir_name(year, doy) + ")");
        IngestManifest manifest = sources;
        nlohmann::json& doc = manifest.document();
        doc["forecast_grid"] = summary.grid.describe();
        doc["longitude_shifts"] = summary.shifts;
        doc["duplicate_fields_ignored"] = store.duplicates;
        doc["common_grid"] = {{"file", fs::absolute(job.grid_file).string()},
                              {"ncols", job.grid.ncols},
                              {"nrows", job.grid.nrows}};
        for (double s : summary.shifts)
            if (s != 0.0)
                manifest.add_conversion("common-grid longitudes shifted by " + ingest_number(s) +
                                        " degrees into the forecast grid's convention");
        if (day.cells_above_top > 0)
            ingest_message(std::to_string(day.cells_above_top) +
                           " profile cells reach above the highest pressure level: written as "
                           "missing");
        if (d == 0 && !job.land_mask.empty() && write_land_mask(store, job, manifest) != 0)
            return ingest_exit_failure;
        if (write_day(day, job, year, doy, manifest) != 0) return ingest_exit_failure;
    }
    if (!job.config_lines) return ingest_exit_ok;
    const std::string lines = join_lines(config_lines(job));
    if (job.config_dir.empty()) {
        std::fputs(lines.c_str(), stdout);
    } else {
        fs::create_directories(job.config_dir);
        ingest_write_text_file(fs::path(job.config_dir) / "forecast_config_lines.txt", lines, error,
                               status);
        if (status != 0) return fail(error);
    }
    return ingest_exit_ok;
}

namespace {

int run_forecast(int argc, char** argv) {
    ForecastJob job;
    if (const int code = parse(argc, argv, job); code != 0) return code;
    std::string error;
    int status = 0;
    ingest_read_grid(job.grid_file, job.grid, error, status);
    if (status != 0) return fail(error);
    std::string command = "ornax_ingest";
    for (int i = 0; i < argc; ++i) command += std::string(" ") + argv[i];
    return forecast_convert(job, command);
}

void forecast_usage(std::FILE* stream) {
    std::fprintf(
        stream,
        "Usage: ornax_ingest forecast --grid COMMON_GRID_DOMAIN_FILE|W,E,S,N,STEP --out MET_ROOT\n"
        "                             [--land-mask FILE] [--config DIR] [--replace]\n"
        "                             [--substitute-missing-averages]\n"
        "                             YEAR DOY GRIB2_FILE...\n"
        "Writes the nine forcing rasters of the day (00 to 21 UTC) to MET_ROOT/YYYYDDD/\n"
        "with manifest.json, from GRIB2 forecast files in any order; a region run needs\n"
        "the day and the next. --land-mask writes the land mask from the land-sea field;\n"
        "the configuration lines are printed, or written to DIR/forecast_config_lines.txt.\n"
        "A flux average missing inside the forecast is refused; with\n"
        "--substitute-missing-averages the next step's mean takes its place, said so.\n");
}

}  // namespace

const IngestSubcommand ingest_forecast_subcommand = {
    "forecast", "forecast-model GRIB2 files into one day of forcing rasters", run_forecast,
    forecast_usage};
