// NetCDF export of a finished region run: reads the run record run_info.json and the
// rasters of an output directory and writes one CF-1.8 NetCDF-4 file with lat / lon /
// time coordinates, every variable with its long name, units, fill value and standard
// name, and the quality raster as a byte variable with its flag values and meanings.
// Daily variables carry cell_methods "time: mean" over the day of time_bnds, the values of
// the observation times "time: point" with the time they hold at; every coordinate has
// its bounds; EDAY is also given as water, ET in kg m-2 day-1 (mm day-1); the run's exit
// status and computed-pixel count are global attributes. A run that failed or computed
// nothing is refused unless --allow-failed. Compressed (deflate) and chunked by lines;
// written under a staging name, then switched into place by the publishing routine.
//
// Usage: ornax_to_netcdf [--allow-failed] OUTPUT_DIR [FILE.nc]
//        (FILE.nc defaults to OUTPUT_DIR/ornax_outputs.nc); --help, --version
// Exit status: 0 written, 2 usage error, 3 failure (nothing written).
#include <netcdf.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <new>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ornax90/output/guard.hpp"
#include "ornax90/output/publish.hpp"
#include "ornax90/output/run_info.hpp"
#include "ornax90/output/vocabulary.hpp"
#include "ornax90/output/quality.hpp"
#include "ornax90/command_line/version.hpp"
#include "ornax90/file_io_mod.hpp"
#include "netcdf/writer.hpp"
#include "ornax90/ornax_constants_mod.hpp"
#include "ornax90/type_kinds.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr unsigned char quality_fill = 254;  // never a quality flag
constexpr const char* water_name = "ET";     // EDAY as evaporated water
constexpr const char* program = "ornax_to_netcdf";

struct Run {
    json info;
    int ncols = 0, nrows = 0, year = 0, doy = 0;
    double west = 0, south = 0, dlon = 0, dlat = 0;
    float missing = 0;
    int exit_status = 0;
    long long computed = -1, pixels = -1;  // computed (quality 0) and all pixels; -1 unknown
    std::vector<std::string> names;        // listed variables, then region_qc
};

bool read_run(const fs::path& dir, Run& run, std::string& why) {
    std::ifstream in(dir / "run_info.json");
    if (!in) {
        why = "no run_info.json in " + dir.string() + " (not a finished run)";
        return false;
    }
    try {
        run.info = json::parse(in);
        const json& g = run.info.at("run_grid");
        run.ncols = g.at("ncols");
        run.nrows = g.at("nrows");
        run.west = g.at("west_lon");
        run.south = g.at("south_lat");
        run.dlon = g.at("dlon");
        run.dlat = g.at("dlat");
        run.missing = g.at("missing_value").get<float>();
        run.year = run.info.at("year");
        run.doy = run.info.at("day_of_year");
        run.exit_status = run.info.value("exit_status", 0);
        const json pixels = run.info.value("pixels", json::object());  // -1: not recorded
        run.computed = pixels.value("computed", -1LL);
        run.pixels = pixels.value("total", -1LL);
        for (const json& v : run.info.at("outputs").at("variables"))
            run.names.push_back(v.at("name"));
    } catch (const json::exception& e) {
        why = "run_info.json in " + dir.string() + " cannot be read: " + e.what();
        return false;
    }
    run.names.push_back("region_qc");
    if (run.ncols < 1 || run.nrows < 1) {
        why = "run_info.json gives an empty grid";
        return false;
    }
    return true;
}

// Whole raster of the run grid, line 1 (south) first; false when the size is wrong.
bool read_raster(const fs::path& path, const Run& run, std::vector<float>& values) {
    const size_t count = static_cast<size_t>(run.ncols) * run.nrows;
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes(count * 4);
    if (!in ||
        !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        return false;
    in.peek();
    if (!in.eof()) return false;  // longer than the grid
    values.resize(count);
    raster_decode_le(bytes.data(), count, values.data());
    return true;
}

using NcFile = Ornaxncfiletype;

Ornaxncgridtype grid_of(const Run& run) {
    return {run.ncols, run.nrows, run.west, run.south, run.dlon, run.dlat};
}

void define_globals(NcFile& nc, const Run& run, const std::string& command) {
    const json& p = run.info.at("program");
    std::string run_command;
    for (const json& word : run.info.value("command_line", json::array())) {
        if (!run_command.empty()) run_command += ' ';
        run_command += word.get<std::string>();
    }
    const std::string date = run.info.value("date", "");
    nc.text(NC_GLOBAL, "Conventions", "CF-1.8");
    nc.text(NC_GLOBAL, "title",
            "ornax region run, daily evapotranspiration and energy balance, " + date);
    nc.text(NC_GLOBAL, "source",
            "ornax " + p.value("version", "") + " (commit " + p.value("source_commit", "") + ")");
    nc.text(NC_GLOBAL, "history",
            run.info.value("finished_utc", "") + ": " + run_command + "\n" + ornax_utc_now() +
                ": " + command);
    const int sw = run.info.value("region_model_switch", 0);
    nc.text(NC_GLOBAL, "comment",
            "region model switch " + std::to_string(sw) + " (soil-resistance correction " +
                (sw == 1 ? "on" : "off") + "); day of year " + std::to_string(run.doy));
    nc.ok(nc_put_att_int(nc.id, NC_GLOBAL, "ornax_run_exit_status", NC_INT, 1, &run.exit_status),
          "ornax_run_exit_status");
    nc.ok(
        nc_put_att_longlong(nc.id, NC_GLOBAL, "ornax_computed_pixels", NC_INT64, 1, &run.computed),
        "ornax_computed_pixels");
    nc.ok(nc_put_att_longlong(nc.id, NC_GLOBAL, "ornax_total_pixels", NC_INT64, 1, &run.pixels),
          "ornax_total_pixels");
}

// What a variable's value is over the day: cell_methods and, for the values of an
// observation time, the time they hold at.
void define_time_meaning(NcFile& nc, int var, const Ornaxoutputvarinfotype& info) {
    if (info.observation == 0) {
        nc.text(var, "cell_methods", "time: mean");
        return;
    }
    const std::string which = info.observation == 1 ? "first" : "second";
    nc.text(var, "cell_methods", "time: point");
    nc.text(var, "comment",
            "instantaneous value at the pixel's " + which +
                " morning satellite observation of the day (local solar time of the run's "
                "tloc" +
                std::to_string(info.observation) + "_file), not at the time coordinate");
}

int define_variable(NcFile& nc, const Run& run, const std::string& name, const int dims[3]) {
    const bool quality = name == "region_qc";
    int var = -1;
    nc.ok(nc_def_var(nc.id, name.c_str(), quality ? NC_UBYTE : NC_FLOAT, 3, dims, &var), name);
    ornax_nc_chunk_and_deflate(nc, var, grid_of(run), name);
    Ornaxoutputvarinfotype info;
    if (!ornax_output_var_info(name, info)) info.description = name;
    nc.text(var, "long_name", info.description);
    if (quality) {
        // 254 is never a flag (flags are 0 or odd), so 255 stays a value, not the default fill
        const unsigned char fill = quality_fill;
        nc.ok(nc_put_att_uchar(nc.id, var, "_FillValue", NC_UBYTE, 1, &fill), name);
        std::vector<unsigned char> values;
        std::string meanings;
        for (const Ornaxqualityflaginfotype& flag : ornax_quality_flags()) {
            values.push_back(static_cast<unsigned char>(flag.value));
            meanings += (meanings.empty() ? "" : " ") + flag.meaning;
        }
        nc.ok(nc_put_att_uchar(nc.id, var, "flag_values", NC_UBYTE, values.size(), values.data()),
              name);
        nc.text(var, "flag_meanings", meanings);
    } else {
        nc.ok(nc_put_att_float(nc.id, var, "_FillValue", NC_FLOAT, 1, &run.missing), name);
        nc.text(var, "units", info.cf_units.empty() ? "1" : info.cf_units);
        if (!info.standard_name.empty()) nc.text(var, "standard_name", info.standard_name);
        define_time_meaning(nc, var, info);
    }
    nc.text(var, "grid_mapping", "crs");
    return var;
}

// ET: EDAY as evaporated water, kg m-2 day-1 (1 kg m-2 is 1 mm of water).
int define_water_variable(NcFile& nc, const Run& run, const int dims[3]) {
    int var = -1;
    nc.ok(nc_def_var(nc.id, water_name, NC_FLOAT, 3, dims, &var), water_name);
    ornax_nc_chunk_and_deflate(nc, var, grid_of(run), water_name);
    char latent[32];
    std::snprintf(latent, sizeof latent, "%.2f", ornax_latent_heat_mj_per_kg);
    nc.text(var, "long_name",
            std::string("daily evapotranspiration as water (EDAY / ") + latent +
                " MJ kg-1), mm day-1");
    nc.ok(nc_put_att_float(nc.id, var, "_FillValue", NC_FLOAT, 1, &run.missing), water_name);
    nc.text(var, "units", "kg m-2 day-1");
    nc.text(var, "standard_name", "water_evapotranspiration_flux");
    nc.text(var, "cell_methods", "time: mean");
    nc.text(var, "comment",
            std::string("EDAY divided by the latent heat of vaporisation ") + latent +
                " MJ kg-1; 1 kg m-2 of water is 1 mm");
    nc.text(var, "grid_mapping", "crs");
    return var;
}

// EDAY values as water; missing stays missing.
std::vector<float> water_of(const std::vector<float>& eday, float missing) {
    std::vector<float> water(eday.size());
    for (size_t i = 0; i < eday.size(); ++i)
        water[i] = eday[i] == missing ? missing : eday[i] / ornax_latent_heat_mj_per_kg;
    return water;
}

bool write_file(const std::string& path, const fs::path& dir, const Run& run,
                const std::string& command, std::string& why) {
    NcFile nc;
    if (!nc.ok(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &nc.id), "create")) {
        why = std::string(nc_strerror(nc.status)) + " (" + path + ")";
        return false;
    }
    int time_dim = -1, nv_dim = -1;
    nc.ok(nc_def_dim(nc.id, "time", 1, &time_dim), "time");
    nc.ok(nc_def_dim(nc.id, "nv", 2, &nv_dim), "nv");
    int time_bnds = -1;
    const int time_var = ornax_nc_define_time(nc, time_dim, nv_dim, time_bnds);
    const Ornaxncgridtype grid = grid_of(run);
    Ornaxncgridvarstype grid_vars;
    ornax_nc_define_grid(nc, grid, nv_dim, grid_vars);
    const int lat_dim = grid_vars.lat_dim, lon_dim = grid_vars.lon_dim;
    const int dims[3] = {time_dim, lat_dim, lon_dim};
    std::vector<int> vars;
    for (const std::string& name : run.names) vars.push_back(define_variable(nc, run, name, dims));
    const bool has_eday = std::find(run.names.begin(), run.names.end(), "EDAY") != run.names.end();
    const int water_var = has_eday ? define_water_variable(nc, run, dims) : -1;
    define_globals(nc, run, command);
    nc.ok(nc_enddef(nc.id), "enddef");

    const double day = static_cast<double>(ornax_days_since_epoch(run.year, run.doy));
    nc.ok(nc_put_var_double(nc.id, time_var, &day), "time");
    const double day_bounds[2] = {day, day + 1.0};  // the whole day the values cover
    nc.ok(nc_put_var_double(nc.id, time_bnds, day_bounds), "time_bnds");
    ornax_nc_put_grid(nc, grid, grid_vars);
    std::vector<float> values;
    for (size_t i = 0; i < run.names.size() && nc.status == NC_NOERR; ++i) {
        const fs::path raster = dir / (run.names[i] + ".bin");
        if (!read_raster(raster, run, values)) {
            why = raster.string() + " is missing or not " + std::to_string(run.ncols) + " x " +
                  std::to_string(run.nrows) + " 4-byte values";
            nc_close(nc.id);
            return false;
        }
        if (run.names[i] == "region_qc") {
            std::vector<unsigned char> flags(values.size());
            for (size_t k = 0; k < values.size(); ++k)
                flags[k] = values[k] >= 0.0f && values[k] <= 255.0f
                               ? static_cast<unsigned char>(values[k])
                               : quality_fill;
            nc.ok(nc_put_var_uchar(nc.id, vars[i], flags.data()), run.names[i]);
        } else {
            nc.ok(nc_put_var_float(nc.id, vars[i], values.data()), run.names[i]);
            if (run.names[i] == "EDAY")
                nc.ok(nc_put_var_float(nc.id, water_var, water_of(values, run.missing).data()),
                      water_name);
        }
    }
    const int closed = nc_close(nc.id);
    nc.ok(closed, "close");
    if (nc.status != NC_NOERR) {
        why = std::string(nc_strerror(nc.status)) + " at " + nc.where;
        return false;
    }
    return true;
}

// True when `target` is one of the run's own files: a raster, descriptor, map or record
// it published, or an input its record lists; why then names it.
bool is_run_file(const std::string& target, const fs::path& dir, const Run& run, std::string& why) {
    std::vector<std::string> names(run.names.begin(), run.names.end() - 1);  // without region_qc
    std::vector<std::string> files = ornax_region_published_files(dir.string(), names);
    for (const json& input : run.info.value("inputs", json::array()))
        if (input.is_object() && input.value("path", json()).is_string())
            files.push_back(input["path"].get<std::string>());
    for (const std::string& file : files) {
        if (!ornax_same_file(target, file)) continue;
        why = target + " is " + file + ", a file of the run in " + dir.string();
        return true;
    }
    return false;
}

void print_usage(std::FILE* stream) {
    std::fprintf(stream,
                 "Usage: %s [--allow-failed] OUTPUT_DIR [FILE.nc]\n"
                 "       %s --help | --version\n"
                 "  writes the finished region run in OUTPUT_DIR (its run_info.json and rasters)\n"
                 "  as one CF-1.8 NetCDF-4 file, by default OUTPUT_DIR/ornax_outputs.nc, with\n"
                 "  the CRS as WKT2 (EPSG:4326), bounds, cell methods and ET in kg m-2 day-1.\n"
                 "  --allow-failed  export a run that failed or computed no pixel (refused\n"
                 "                  otherwise)\n"
                 "  Exit status: 0 written, 2 usage error, 3 failure (nothing written)\n",
                 program, program);
}

// The folder a new file goes into exists and can be written; why names it otherwise.
bool folder_writable(const fs::path& folder, std::string& why) {
    std::error_code error;
    const fs::file_status state = fs::status(folder, error);
    if (!fs::exists(state)) {
        why = "the folder " + folder.string() + " does not exist";
        return false;
    }
    if (!fs::is_directory(state)) {
        why = folder.string() + " is not a folder";
        return false;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        why = "the folder " + folder.string() + " cannot be written: " + std::strerror(errno);
        return false;
    }
    return true;
}

struct Arguments {
    bool allow_failed = false;
    std::vector<std::string> positional;
};

// Options matched whole; anything else beginning with "-" is refused by name (after "--"
// every argument is positional). Returns -1 to go on, else the exit status.
int read_arguments(int argc, char** argv, Arguments& args) {
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (options_end || word.empty() || word[0] != '-' || word == "-") {
            args.positional.push_back(word);
        } else if (word == "--") {
            options_end = true;
        } else if (word == "--help" || word == "-h") {
            print_usage(stdout);
            return 0;
        } else if (word == "--version") {
            std::printf("%s (%s)\n", program, ornax_version_line().c_str());
            return 0;
        } else if (word == "--allow-failed") {
            args.allow_failed = true;
        } else {
            std::fprintf(stderr, "%s: unknown option \"%s\"\n", program, word.c_str());
            print_usage(stderr);
            return 2;
        }
    }
    if (args.positional.empty() || args.positional.size() > 2) {
        std::fprintf(stderr, "%s: %s\n", program,
                     args.positional.empty()
                         ? "the output folder of a run is missing"
                         : ("one output folder and at most one target file, "
                            "not " +
                            std::to_string(args.positional.size()) + " arguments")
                               .c_str());
        print_usage(stderr);
        return 2;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (const int done = read_arguments(argc, argv, args); done >= 0) return done;
    const fs::path dir = args.positional[0];
    const std::string target =
        args.positional.size() == 2 ? args.positional[1] : (dir / "ornax_outputs.nc").string();
    Run run;
    std::string why;
    if (!read_run(dir, run, why)) {
        std::fprintf(stderr, "%s: %s\n", program, why.c_str());
        return ornax_status_failure;
    }
    if (run.exit_status != 0 || run.computed == 0) {
        const std::string state = "the run in " + dir.string() + " ended with exit status " +
                                  std::to_string(run.exit_status) + " and computed " +
                                  std::to_string(run.computed) + " of " +
                                  std::to_string(run.pixels) + " pixels";
        if (!args.allow_failed) {
            std::fprintf(stderr, "%s: %s; not exported (--allow-failed exports it anyway)\n",
                         program, state.c_str());
            return ornax_status_failure;
        }
        std::fprintf(stderr, "%s: warning: %s; exported as --allow-failed asks\n", program,
                     state.c_str());
    }
    std::string command;
    for (int i = 0; i < argc; ++i) command += (i ? " " : "") + std::string(argv[i]);
    const fs::path target_path(target);
    const fs::path folder =
        target_path.has_parent_path() ? target_path.parent_path() : fs::path(".");
    if (!folder_writable(folder, why)) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", program, target.c_str(), why.c_str());
        return ornax_status_failure;
    }
    if (is_run_file(target, dir, run, why)) {
        std::fprintf(stderr, "%s: refused: %s\n", program, why.c_str());
        return ornax_status_failure;
    }
    // a publication that a killed export left unfinished is finished first; the file is
    // written under a staging name beside the target and switched into place
    ornax_publish_recover(folder.string());
    const std::string temp = ornax_publish_staging_name(target);
    bool written = false;
    try {
        written = write_file(temp, dir, run, command, why);
    } catch (const std::bad_alloc&) {
        why = "not enough memory for the grid of " + std::to_string(run.ncols) + " x " +
              std::to_string(run.nrows) + " values (" +
              std::to_string(4.0 * run.ncols * run.nrows / 1048576.0) + " MiB per variable)";
    }
    if (!written) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "%s: %s\n", program, why.c_str());
        return ornax_status_failure;
    }
    int published = 0;
    ornax_publish({{temp, target}}, true, why, published);
    if (published != 0) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "%s: cannot write %s: %s\n", program, target.c_str(), why.c_str());
        return ornax_status_failure;
    }
    std::printf("%s written (%zu variables, %d x %d, %s)\n", target.c_str(),
                run.names.size() +
                    (std::find(run.names.begin(), run.names.end(), "EDAY") != run.names.end()),
                run.ncols, run.nrows, run.info.value("date", "").c_str());
    return 0;
}
