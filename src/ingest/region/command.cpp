// `ornax_ingest region RECIPE`: a whole, run-ready region folder from one recipe. The
// folder is staged under a temporary name beside its destination; the land rasters, the
// forecast days, the satellite rasters and the configuration files are written into it
// with the converters' own functions (the land, forecast and satellite parts side by side),
// and it is renamed into place only when complete.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <vector>

#include "ornax90/ORNAX_io_mod.hpp"
#include "ingest/forecast/command.hpp"
#include "ingest/common/concurrent_parts.hpp"
#include "ingest/common/support.hpp"
#include "ingest/common/manifest.hpp"
#include "ingest/subcommands.hpp"
#include "ingest/region/check.hpp"
#include "ingest/region/config.hpp"
#include "ingest/region/land.hpp"
#include "ingest/raster/grid_warp.hpp"
#include "ingest/region/recipe.hpp"
#include "ingest/satellite/command.hpp"
#include "ingest/satellite/isolated_reads.hpp"
#include "ornax90/output/publish.hpp"
#include "ornax90/type_kinds.hpp"

namespace fs = std::filesystem;

namespace {

int fail(const std::string& text) {
    ingest_message(text);
    return ingest_exit_failure;
}

int write_text(const fs::path& file, const std::string& text) {
    std::string error;
    int st = 0;
    ingest_write_text_file(file, text, error, st);
    return st == 0 ? ingest_exit_ok : fail(error);
}

// The domain descriptions, read back with the model's own reader.
int write_domains(const fs::path& config, const RegionGrids& g) {
    const char* grids[5][2] = {{"domain_land.txt", "land grid"},
                               {"domain_veg.txt", "vegetation grid"},
                               {"domain_snow.txt", "snow grid"},
                               {"domain_sat.txt", "satellite grid"},
                               {"domain_run.txt", "run grid"}};
    for (const auto& d : grids)
        if (const int c = write_text(config / d[0], domain_info_text(d[1], g.run)); c != 0)
            return c;
    if (const int c = write_text(config / "domain_common.txt",
                                 domain_info_text("common (forecast) grid", g.common));
        c != 0)
        return c;
    for (const char* f : {"domain_run.txt", "domain_common.txt"}) {
        Spatialinfodata back;
        std::string error;
        int st = 0;
        ingest_read_grid((config / f).string(), back, error, st);
        const Spatialinfodata& want = std::string(f) == "domain_run.txt" ? g.run : g.common;
        if (st != 0 || back.ncols != want.ncols || back.nrows != want.nrows)
            return fail((config / f).string() + " does not read back as written");
    }
    return ingest_exit_ok;
}

int copy_class_table(const RegionRecipe& r, const fs::path& config, RegionLandJob& land) {
    int st = 0;
    ornax_read_landcover_table(r.class_table, land.table, land.nclasses, st);
    if (st != 0 || land.nclasses < 1)
        return fail(r.where("class_table") + ": " + r.class_table +
                    " is not a land-cover class table the model reads (see the messages above)");
    std::ifstream in(r.class_table, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return write_text(config / "landcover.txt", text.str());
}

int forecast_days(const RegionRecipe& r, const RegionGrids& g, const fs::path& folder,
                  const std::string& command) {
    ForecastJob job;
    job.grid_file = (folder / "config" / "domain_common.txt").string();
    job.out_root = (folder / "met").string();
    job.land_mask = (folder / "met" / "gfs_land.bin").string();
    job.config_lines = false;
    job.year = r.year, job.doy = r.doy, job.days = 2;  // the region run reads the next day too
    job.files = r.forecast;
    job.grid = g.common;
    const int code = forecast_convert(job, command);
    if (code != 0) ingest_message(r.where("forecast") + ": the forecast files were refused");
    return code;
}

// forecast_done, when the insolation comes from the forecast rasters: the forecast part's
// exit code once it has written them (the scans are read and warped meanwhile).
int satellite(const RegionRecipe& r, const RegionGrids& g, const fs::path& folder,
              const std::string& command, const std::shared_future<int>* forecast_done) {
    SatelliteRequest rq;
    rq.grid = g.run;
    rq.year = r.year, rq.doy = r.doy;
    rq.lst_files = r.lst;
    rq.tolerance_s = r.lst_tolerance * 60.0;
    rq.insolation_files = r.insolation_files;
    if (rq.insolation_files.empty()) {
        rq.met_root = (folder / "met").string();
        rq.met_grid = g.common;
    }
    rq.insolation_later = !rq.met_root.empty() && forecast_done != nullptr;
    SatelliteResult out;
    std::string error;
    int st = 0;
    prepare_satellite_isolated(rq, out, error, st);
    if (st != 0) return fail(r.where("lst") + ": " + error);
    if (rq.insolation_later) {
        if (const int code = forecast_done->get(); code != 0) return code;
        satellite_forecast_insolation(rq, out, error, st);
        if (st != 0) return fail(r.where("lst") + ": " + error);
    }
    for (const std::string& note : out.notes) ingest_message(note);
    const std::string day = ingest_day_dir_name(r.year, r.doy);
    for (const auto& [name, values] : out.rasters) {
        const std::string key =
            name.rfind("sdn", 0) == 0 && !r.insolation_files.empty() ? "insolation" : "lst";
        if (const int c = region_refuse_empty(r, key, "sat/" + day + "/" + name + ".bin", values,
                                              g.run.spare_value);
            c != 0)
            return c;
    }
    const fs::path dir = folder / "sat" / day;
    if (const int c =
            satellite_write_outputs(dir.string(), false, "config/domain_sat.txt", command, rq, out);
        c != 0)
        return c;
    // the region configuration names the insolation by its fixed-year names
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "2011%03d.dat", r.doy == 366 ? 365 : r.doy);
    for (const char* name : {"sdn1", "sdn2"}) {
        std::error_code ec;
        fs::create_symlink(std::string(name) + ".bin", dir / (std::string(name) + "_" + suffix),
                           ec);
        if (ec) return fail("cannot link " + (dir / name).string() + ": " + ec.message());
    }
    return ingest_exit_ok;
}

int configuration(const RegionRecipe& r, const RegionGrids& g, const RegionLandJob& land,
                  const fs::path& folder, nlohmann::json& doc) {
    const fs::path config = folder / "config";
    const std::pair<const char*, std::string> files[] = {
        {"region.cfg", region_config_text(r)},
        {"met.cfg", region_met_config_text(g)},
        {"gfs.cfg", region_gfs_config_text(g)},
        {"outlist.txt", region_outlist_text(r)},
        {"reserved.dat", "reserved file of the region configuration\n"}};
    for (const auto& [name, text] : files)
        if (const int c = write_text(config / name, text); c != 0) return c;
    long land_cells = 0;
    std::string error;
    int st = 0;
    region_write_land_subset(folder, g, land.landcover, land_cells, error, st);
    if (st != 0) return fail(error);
    doc["common_grid_land_cells"] = land_cells;
    std::error_code ec;
    fs::create_directories(folder / "output", ec);
    return ec ? fail("cannot create " + (folder / "output").string()) : ingest_exit_ok;
}

// Every file the recipe reads, the recipe first.
std::vector<IngestSource> recipe_sources(const RegionRecipe& r) {
    std::vector<IngestSource> sources{{r.file, "recipe", true},
                                      {r.class_table, "class table", true}};
    const auto add = [&](const std::vector<std::string>& files, const std::string& role) {
        for (const std::string& f : files) sources.push_back({f, role, true});
    };
    add(r.forecast, "forecast file");
    add(r.lst, "surface-temperature scan");
    add(r.insolation_files, "insolation file");
    add(r.landcover, "land-cover source");
    add(r.lai, "leaf-area source");
    add(r.snow, "snow source");
    for (const LandParameter& p : r.land) add(p.sources, p.key + " source");
    return sources;
}

// A source GDAL would read with the NetCDF or HDF library, which the geostationary scans
// call directly as well: that library takes one caller at a time.
bool read_by_netcdf(const std::string& source) {
    const std::string name = fs::path(source).extension().string();
    for (const char* prefix : {"NETCDF:", "HDF5:", "HDF4"})
        if (source.rfind(prefix, 0) == 0) return true;
    for (const char* ext : {".nc", ".nc4", ".cdf", ".h5", ".hdf", ".he5", ".hdf5"})
        if (name == ext) return true;
    return false;
}

// The land rasters, the forecast days and the satellite observations, side by side; when
// the satellite insolation comes from the forecast rasters, only that last step of the
// satellite part waits for the forecast part. Messages come out in the order land,
// forecast, satellite. Returns the first failing part's exit code.
int convert_parts(const RegionRecipe& r, const RegionGrids& g, const fs::path& folder,
                  const std::string& command, RegionLandJob& land) {
    bool side_by_side = true;
    std::vector<const std::vector<std::string>*> land_sources = {&r.landcover, &r.lai, &r.snow};
    for (const LandParameter& p : r.land) land_sources.push_back(&p.sources);
    for (const std::vector<std::string>* sources : land_sources)
        for (const std::string& source : *sources)
            if (read_by_netcdf(source)) side_by_side = false;
    std::promise<int> forecast_code;
    const std::shared_future<int> forecast_done = forecast_code.get_future().share();
    const bool wait_for_forecast = r.insolation_files.empty();
    const std::vector<std::function<int()>> parts = {
        [&] { return region_land_rasters(land, side_by_side); },
        [&] {
            int code = ingest_exit_failure;
            try {
                code = forecast_days(r, g, folder, command);
            } catch (...) {
                forecast_code.set_value(ingest_exit_failure);  // the satellite part waits no more
                throw;
            }
            forecast_code.set_value(code);
            return code;
        },
        [&] {
            return satellite(r, g, folder, command, wait_for_forecast ? &forecast_done : nullptr);
        }};
    ingest_gdal_init();
    std::vector<int> codes;
    ingest_run_parts(parts, side_by_side, codes);
    for (int code : codes)
        if (code != 0) return code;
    return ingest_exit_ok;
}

std::string grid_text(const Spatialinfodata& g) {
    return std::to_string(g.ncols) + " x " + std::to_string(g.nrows) + " cells of " +
           ingest_number(g.dlon) + " deg from " + ingest_number(g.west_lon) + " to " +
           ingest_number(g.east_lon) + " E, " + ingest_number(g.south_lat) + " to " +
           ingest_number(g.north_lat) + " N";
}

int run_region(int argc, char** argv) {
    IngestArgs a;
    std::string error;
    int st = 0;
    ingest_parse_args(argc, argv, 1, {"out"}, {"replace", "check", "allow-partial"}, a, error, st);
    if (st == 0 && a.positional.size() != 1)
        error = "region needs one RECIPE file", st = ornax_status_failure;
    if (st != 0) {
        ingest_message(error);
        return ingest_exit_usage;
    }
    // the check: every key and the metadata of every source, every problem listed
    RegionRecipe recipe;
    std::vector<std::string> problems, inventory;
    check_region_recipe(a.positional.front(), recipe, problems);
    if (a.has("allow-partial")) recipe.allow_partial = true;
    RegionGrids grids;
    if (recipe.grid_known) {  // the sources are checked even when other keys are wrong
        region_make_grids(recipe, grids);
        region_check_sources(recipe, grids, problems, inventory);
    }
    for (const std::string& p : problems) ingest_message(p);
    if (a.has("check")) {
        for (const std::string& line : inventory) std::printf("%s\n", line.c_str());
        ingest_message(problems.empty() ? "check: no problem found in " + recipe.file
                                        : "check: " + std::to_string(problems.size()) +
                                              (problems.size() == 1 ? " problem" : " problems") +
                                              " in " + recipe.file + "; nothing written");
        return problems.empty() ? ingest_exit_ok : ingest_exit_failure;
    }
    if (!problems.empty())
        return fail("region: " + std::to_string(problems.size()) +
                    (problems.size() == 1 ? " problem" : " problems") +
                    " found before converting; nothing written");
    const std::string out = a.has("out") ? a.value("out") : recipe.out;
    if (out.empty()) return fail(recipe.file + ": no region folder: give out = DIR or --out DIR");
    ingest_check_output_not_sources(out, recipe_sources(recipe), error, st);
    if (st != 0) return fail("region refused: " + error);
    fs::path destination = fs::absolute(out).lexically_normal();
    if (destination.filename().empty()) destination = destination.parent_path();
    ornax_publish_recover(destination.parent_path().string());
    std::error_code exists;
    if (!a.has("replace") && fs::exists(out, exists))
        return fail(out + " exists already (not replaced; --replace replaces it)");
    std::string command = "ornax_ingest";
    for (int i = 0; i < argc; ++i) command += std::string(" ") + argv[i];
    ingest_message("region: run grid " + grid_text(grids.run) + "; common grid " +
                   grid_text(grids.common));
    StagedDir stage;
    stage.open(out, error, st);
    if (st != 0) return fail(error);
    const fs::path folder = stage.path();
    std::error_code ec;
    fs::create_directories(folder / "config", ec);
    IngestManifest manifest("region", command);
    manifest.add_source(recipe.file, error, st);
    if (st != 0) return fail(error);
    RegionLandJob land;
    land.recipe = &recipe;
    land.grid = grids.run;
    land.folder = folder;
    land.command = command;
    int code = write_domains(folder / "config", grids);
    if (code == 0) code = copy_class_table(recipe, folder / "config", land);
    if (code == 0) code = convert_parts(recipe, grids, folder, command, land);
    nlohmann::json& doc = manifest.document();
    if (code == 0) code = configuration(recipe, grids, land, folder, doc);
    if (code != 0) return fail("region: nothing written to " + out);
    doc["day"] = {{"year", recipe.year}, {"doy", recipe.doy}};
    doc["run_grid"] = grid_text(grids.run);
    doc["common_grid"] = grid_text(grids.common);
    doc["missing_value"] = region_missing_value;
    doc["land"] = land.record;
    if (recipe.allow_partial) doc["allow_partial"] = true;
    const std::string day = ingest_day_dir_name(recipe.year, recipe.doy);
    doc["products"] = {
        {"met/" + day, "met/" + day + "/manifest.json"},
        {"sat/" + day, "sat/" + day + "/manifest.json"},
    };
    manifest.add_conversion("every grid of the run (land, vegetation, snow, satellite, run) is "
                            "the recipe's run grid; the forecast rasters lie on the common grid");
    manifest.add_conversion("sat/" + day +
                            "/sdn1_2011DDD.dat and sdn2_...: links to sdn1.bin "
                            "and sdn2.bin under the names the region configuration gives");
    manifest.write(folder / "manifest.json", error, st);
    if (st == 0) stage.commit(a.has("replace"), error, st);
    if (st != 0) return fail(error + "; region: nothing written to " + out);
    ingest_message("region written to " + out + "; run it there with: ornax.x -r0 " +
                   "config/region.cfg " + std::to_string(recipe.year) + " " +
                   std::to_string(recipe.doy) + " (HOME_DIR unset or empty)");
    return ingest_exit_ok;
}

void region_usage(std::FILE* stream) {
    std::fprintf(stream,
                 "Usage: ornax_ingest region [--out DIR] [--replace] [--check] [--allow-partial]\n"
                 "                           RECIPE\n"
                 "Writes a complete region folder (configuration, domain files, land, leaf\n"
                 "area, snow, forecast and satellite rasters, manifest.json) from the recipe's\n"
                 "sources; run it in that folder with ornax.x -r0 config/region.cfg YEAR DOY.\n"
                 "Every key and the metadata of every source are checked first and every\n"
                 "problem is listed. --check stops there: it prints what each source holds\n"
                 "and writes nothing (exit 3 when a problem was found). A raster must cover\n"
                 "the whole run grid (every cell centre inside its real footprint) unless\n"
                 "--allow-partial or allow_partial = yes (then recorded in manifest.json).\n"
                 "Recipe: one \"key = value\" a line, '#' starts a comment line; file names\n"
                 "relative to the recipe's folder, patterns allowed. Keys:\n");
    for (const RecipeKey& k : region_recipe_keys()) {
        const std::string note = k.required ? " (required)"
                                 : *k.fallback == '\0'
                                     ? " (optional)"
                                     : std::string(" (default ") + k.fallback + ")";
        std::fprintf(stream, "  %-24s %s%s\n", k.name, k.meaning, note.c_str());
    }
}

}  // namespace

const IngestSubcommand ingest_region_subcommand = {
    "region", "a whole region folder from one recipe of sources", run_region, region_usage};
