// NetCDF export of a finished region run: reads the run record run_info.json and the
// rasters of an output directory and writes one CF-1.8 NetCDF-4 file with lat / lon /
// time coordinates, every variable with its long name, units, fill value and standard
// name, and the quality raster as a byte variable with its flag values and meanings.
// Compressed (deflate) and chunked by lines; written under a temporary name, then renamed.
//
// Usage: ornax_to_netcdf OUTPUT_DIR [FILE.nc]   (FILE.nc defaults to OUTPUT_DIR/ornax_outputs.nc)
#include <netcdf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <new>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ORNAX_output_guard_mod.hpp"
#include "ORNAX_output_meta_mod.hpp"
#include "file_io_mod.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr int deflate_level = 4;
constexpr size_t chunk_values = 65536;  // values per chunk, whole lines
constexpr unsigned char quality_fill = 254;  // never a quality flag

struct Run {
    json info;
    int ncols = 0, nrows = 0, year = 0, doy = 0;
    double west = 0, south = 0, dlon = 0, dlat = 0;
    float missing = 0;
    std::vector<std::string> names;  // listed variables, then region_qc
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
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        return false;
    in.peek();
    if (!in.eof()) return false;  // longer than the grid
    values.resize(count);
    raster_decode_le(bytes.data(), count, values.data());
    return true;
}

// Days from 1970-01-01 to the run's day.
long days_since_epoch(int year, int doy) {
    long days = 0;
    for (int y = 1970; y < year; ++y) days += ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 366 : 365;
    return days + doy - 1;
}

struct NcFile {
    int id = -1;
    int status = NC_NOERR;
    std::string where;
    // Keeps the first failure and where it happened.
    bool ok(int result, const std::string& what) {
        if (result != NC_NOERR && status == NC_NOERR) {
            status = result;
            where = what;
        }
        return status == NC_NOERR;
    }
    void text(int var, const std::string& name, const std::string& value) {
        ok(nc_put_att_text(id, var, name.c_str(), value.size(), value.c_str()), name);
    }
};

void define_globals(NcFile& nc, const Run& run, const std::string& command) {
    const json& p = run.info.at("program");
    std::string run_command;
    for (const json& word : run.info.value("command_line", json::array())) {
        if (!run_command.empty()) run_command += ' ';
        run_command += word.get<std::string>();
    }
    const std::string date = run.info.value("date", "");
    nc.text(NC_GLOBAL, "Conventions", "CF-1.8");
    nc.text(NC_GLOBAL, "title", "ornax region run, daily evapotranspiration and energy balance, " + date);
    nc.text(NC_GLOBAL, "source", "ornax " + p.value("version", "") + " (commit " +
                                     p.value("source_commit", "") + ")");
    nc.text(NC_GLOBAL, "history", run.info.value("finished_utc", "") + ": " + run_command + "\n" +
                                      ornax_utc_now() + ": " + command);
    const int sw = run.info.value("region_model_switch", 0);
    nc.text(NC_GLOBAL, "comment",
            "region model switch " + std::to_string(sw) + " (soil-resistance correction " +
                (sw == 1 ? "on" : "off") + "); day of year " + std::to_string(run.doy));
}

int define_coordinate(NcFile& nc, const char* name, int dim, const char* standard_name,
                      const char* units, const char* axis) {
    int var = -1;
    nc.ok(nc_def_var(nc.id, name, NC_DOUBLE, 1, &dim, &var), name);
    nc.text(var, "standard_name", standard_name);
    nc.text(var, "long_name", standard_name);
    nc.text(var, "units", units);
    nc.text(var, "axis", axis);
    return var;
}

int define_variable(NcFile& nc, const Run& run, const std::string& name, const int dims[3]) {
    const bool quality = name == "region_qc";
    int var = -1;
    nc.ok(nc_def_var(nc.id, name.c_str(), quality ? NC_UBYTE : NC_FLOAT, 3, dims, &var), name);
    const size_t lines = std::clamp<size_t>(chunk_values / static_cast<size_t>(run.ncols), 1,
                                            static_cast<size_t>(run.nrows));
    const size_t chunks[3] = {1, lines, static_cast<size_t>(run.ncols)};
    nc.ok(nc_def_var_chunking(nc.id, var, NC_CHUNKED, chunks), name + " chunking");
    nc.ok(nc_def_var_deflate(nc.id, var, 1, 1, deflate_level), name + " deflate");
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
    }
    nc.text(var, "grid_mapping", "crs");
    return var;
}

bool write_file(const std::string& path, const fs::path& dir, const Run& run,
                const std::string& command, std::string& why) {
    NcFile nc;
    if (!nc.ok(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &nc.id), "create")) {
        why = std::string(nc_strerror(nc.status)) + " (" + path + ")";
        return false;
    }
    int time_dim = -1, lat_dim = -1, lon_dim = -1;
    nc.ok(nc_def_dim(nc.id, "time", 1, &time_dim), "time");
    nc.ok(nc_def_dim(nc.id, "lat", static_cast<size_t>(run.nrows), &lat_dim), "lat");
    nc.ok(nc_def_dim(nc.id, "lon", static_cast<size_t>(run.ncols), &lon_dim), "lon");
    const int time_var = define_coordinate(nc, "time", time_dim, "time",
                                           "days since 1970-01-01 00:00:00", "T");
    nc.text(time_var, "calendar", "standard");
    const int lat_var = define_coordinate(nc, "lat", lat_dim, "latitude", "degrees_north", "Y");
    const int lon_var = define_coordinate(nc, "lon", lon_dim, "longitude", "degrees_east", "X");
    int crs = -1;
    nc.ok(nc_def_var(nc.id, "crs", NC_INT, 0, nullptr, &crs), "crs");
    nc.text(crs, "grid_mapping_name", "latitude_longitude");
    const double axis = 6378137.0, inverse_flattening = 298.257223563;
    nc.ok(nc_put_att_double(nc.id, crs, "semi_major_axis", NC_DOUBLE, 1, &axis), "crs");
    nc.ok(nc_put_att_double(nc.id, crs, "inverse_flattening", NC_DOUBLE, 1, &inverse_flattening),
          "crs");
    nc.text(crs, "crs_wkt", "EPSG:4326");
    const int dims[3] = {time_dim, lat_dim, lon_dim};
    std::vector<int> vars;
    for (const std::string& name : run.names) vars.push_back(define_variable(nc, run, name, dims));
    define_globals(nc, run, command);
    nc.ok(nc_enddef(nc.id), "enddef");

    const double day = static_cast<double>(days_since_epoch(run.year, run.doy));
    nc.ok(nc_put_var_double(nc.id, time_var, &day), "time");
    std::vector<double> lat(static_cast<size_t>(run.nrows)), lon(static_cast<size_t>(run.ncols));
    for (int r = 0; r < run.nrows; ++r) lat[static_cast<size_t>(r)] = run.south + (r + 0.5) * run.dlat;
    for (int c = 0; c < run.ncols; ++c) lon[static_cast<size_t>(c)] = run.west + (c + 0.5) * run.dlon;
    nc.ok(nc_put_var_double(nc.id, lat_var, lat.data()), "lat");
    nc.ok(nc_put_var_double(nc.id, lon_var, lon.data()), "lon");
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
                               ? static_cast<unsigned char>(values[k]) : quality_fill;
            nc.ok(nc_put_var_uchar(nc.id, vars[i], flags.data()), run.names[i]);
        } else {
            nc.ok(nc_put_var_float(nc.id, vars[i], values.data()), run.names[i]);
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
bool is_run_file(const std::string& target, const fs::path& dir, const Run& run,
                 std::string& why) {
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "Usage: %s OUTPUT_DIR [FILE.nc]\n"
                     "  writes the finished region run in OUTPUT_DIR (its run_info.json and\n"
                     "  rasters) as one CF-1.8 NetCDF-4 file, by default OUTPUT_DIR/ornax_outputs.nc\n",
                     argv[0]);
        return argc == 2 ? 0 : 2;
    }
    const fs::path dir = argv[1];
    const std::string target = argc == 3 ? argv[2] : (dir / "ornax_outputs.nc").string();
    Run run;
    std::string why;
    if (!read_run(dir, run, why)) {
        std::fprintf(stderr, "ornax_to_netcdf: %s\n", why.c_str());
        return 3;
    }
    std::string command;
    for (int i = 0; i < argc; ++i) command += (i ? " " : "") + std::string(argv[i]);
    const fs::path target_path(target);
    const fs::path folder = target_path.has_parent_path() ? target_path.parent_path() : fs::path(".");
    std::string hidden = ".";  // hidden temporary name beside the target
    hidden += target_path.filename().string();
    hidden += ".tmp" + std::to_string(::getpid());
    const std::string temp = (folder / hidden).string();
    if (is_run_file(target, dir, run, why)) {
        std::fprintf(stderr, "ornax_to_netcdf: refused: %s\n", why.c_str());
        return 3;
    }
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
        std::fprintf(stderr, "ornax_to_netcdf: %s\n", why.c_str());
        return 3;
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "ornax_to_netcdf: cannot write %s\n", target.c_str());
        return 3;
    }
    std::printf("%s written (%zu variables, %d x %d, %s)\n", target.c_str(), run.names.size(),
                run.ncols, run.nrows, run.info.value("date", "").c_str());
    return 0;
}
