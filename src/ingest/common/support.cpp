// Shared pieces of the input converters: messages, options, the common grid, staged
// output, model rasters, value counts and configuration lines.
#include "ingest/common/support.hpp"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ingest/common/manifest.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/file_io_mod.hpp"
#include "ornax90/output/guard.hpp"
#include "ornax90/output/publish.hpp"
#include "utils/fixed_text.hpp"

namespace fs = std::filesystem;

// ---- messages ----

void ingest_log_open(const std::string& file_name, std::string& error, int& status) {
    status = 0;
    const int unit = ornax_get_next_unit_number();
    if (unit < ornax_unit_first || ornax_unit_open(unit, file_name, "a") == nullptr) {
        error = "cannot open the log " + file_name + ": " + std::strerror(errno);
        if (unit >= ornax_unit_first) ornax_release_unit_number(unit);
        status = ingest_status_failed;
        return;
    }
    // The model's own routines (raster writers, domain reader) log to this unit as well.
    ornax_logunit = unit;
}

void ingest_log_close() {
    ornax_log_close();
}

namespace {
thread_local IngestMessageList* kept_messages = nullptr;
}  // namespace

IngestMessageCapture::IngestMessageCapture(IngestMessageList& list) : previous_(kept_messages) {
    kept_messages = &list;
}

IngestMessageCapture::~IngestMessageCapture() {
    kept_messages = previous_;
}

void ingest_message(std::string_view text) {
    if (kept_messages != nullptr) {
        kept_messages->push_back({IngestMessageKind::message, std::string(text)});
        return;
    }
    // a file being written under a staging name is named where it will be published
    const std::string named = ingest_manifest_published_path(std::string(text));
    std::fprintf(stderr, "ornax_ingest: %s\n", named.c_str());
    if (ornax_unit_stream(ornax_logunit) != nullptr) ornax_log_msg(named);
}

void ingest_raw_line(std::string_view text) {
    if (kept_messages != nullptr) {
        kept_messages->push_back({IngestMessageKind::raw, std::string(text)});
        return;
    }
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

void ingest_log_only(std::string_view text) {
    if (kept_messages != nullptr) {
        kept_messages->push_back({IngestMessageKind::log_only, std::string(text)});
        return;
    }
    if (ornax_unit_stream(ornax_logunit) != nullptr)
        ornax_log_msg(ingest_manifest_published_path(std::string(text)));
}

// ---- options ----

bool IngestArgs::has(const std::string& name) const {
    if (values.count(name) != 0) return true;
    for (const std::string& f : flags)
        if (f == name) return true;
    return false;
}

std::string IngestArgs::value(const std::string& name, const std::string& fallback) const {
    auto it = values.find(name);
    return it == values.end() ? fallback : it->second;
}

namespace {

bool listed(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& n : names)
        if (n == name) return true;
    return false;
}

}  // namespace

void ingest_parse_args(int argc, char** argv, int first,
                       const std::vector<std::string>& value_options,
                       const std::vector<std::string>& switches, IngestArgs& args,
                       std::string& error, int& status) {
    status = 0;
    args = IngestArgs{};
    bool options_end = false;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_end || arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            if (!options_end && arg == "--") {
                options_end = true;
                continue;
            }
            args.positional.push_back(arg);
            continue;
        }
        std::string name = arg.substr(2), value;
        const std::size_t eq = name.find('=');
        const bool inline_value = eq != std::string::npos;
        if (inline_value) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (listed(switches, name) && !inline_value) {
            args.flags.push_back(name);
        } else if (listed(value_options, name)) {
            if (!inline_value) {
                if (i + 1 >= argc) {
                    error = "option --" + name + " needs a value";
                    status = ingest_status_failed;
                    return;
                }
                value = argv[++i];
            }
            args.values[name] = value;
        } else {
            error = "unknown option " + arg;
            status = ingest_status_failed;
            return;
        }
    }
}

void ingest_parse_int(const std::string& text, const char* what, int low, int high, int& value,
                      std::string& error, int& status) {
    status = 0;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < low || v > high) {
        error = std::string(what) + " \"" + text + "\" is not a whole number in " +
                std::to_string(low) + ".." + std::to_string(high);
        status = ingest_status_failed;
        return;
    }
    value = static_cast<int>(v);
}

// ---- the common grid ----

namespace {

// Why the model's reader refused a domain description: a header line, then eleven lines
// with the label in columns 1-30 and the value from column 31.
std::string domain_file_fault(const std::string& file_name) {
    static const char* const names[11] = {
        "east longitude",   "west longitude",      "longitude resolution", "north latitude",
        "south latitude",   "latitude resolution", "number of columns",    "number of rows",
        "number of layers", "number of hours",     "missing value"};
    std::ifstream in(file_name);
    std::string line;
    std::getline(in, line);  // the header
    double v[11] = {0};
    for (int k = 0; k < 11; ++k) {
        const int n = k + 2;
        if (!std::getline(in, line))
            return "ends after line " + std::to_string(n - 1) + ": no line for the " + names[k];
        const std::string value = line.size() > 30 ? line.substr(30) : "";
        char* end = nullptr;
        v[k] = std::strtod(value.c_str(), &end);
        while (end != nullptr && (*end == ' ' || *end == '\t' || *end == '\r')) ++end;
        if (value.find_first_not_of(" \t\r") == std::string::npos || end == nullptr || *end != '\0')
            return "line " + std::to_string(n) + ": no number for the " + names[k] +
                   " from column 31 (labels fill columns 1-30): \"" + line + "\"";
    }
    if (v[0] <= v[1]) return "the east longitude does not lie east of the west longitude";
    if (v[3] <= v[4]) return "the north latitude does not lie north of the south latitude";
    if (!(v[2] > 0.0) || !(v[5] > 0.0)) return "a resolution that is not positive";
    const double cols = (v[0] - v[1]) / v[2], rows = (v[3] - v[4]) / v[5];
    if (std::fabs(cols - v[6]) > 0.01 || std::fabs(rows - v[7]) > 0.01)
        return "the edges and resolutions give " + ingest_number(cols) + " columns and " +
               ingest_number(rows) + " rows, the file says " + ingest_number(v[6]) + " and " +
               ingest_number(v[7]);
    return "its layers, hours or bounds are outside what the model accepts (the log has the "
           "model's words)";
}

}  // namespace

void ingest_grid_from_bounds(double west, double east, double south, double north, double step,
                             Spatialinfodata& grid, std::string& error, int& status) {
    grid = Spatialinfodata{};
    status = ingest_status_failed;
    const double cols = (east - west) / step, rows = (north - south) / step;
    if (!(step > 0.0) || !(east > west) || !(north > south) || west < -180.0 || east > 360.0 ||
        south < -90.0 || north > 90.0) {
        error = "bounds W,E,S,N,STEP need west < east, south < north within -90..90 and a "
                "positive step";
        return;
    }
    if (std::fabs(cols - std::round(cols)) > 1e-6 || std::fabs(rows - std::round(rows)) > 1e-6) {
        error = "the spans " + ingest_number(east - west) + " and " + ingest_number(north - south) +
                " degrees are not whole numbers of " + ingest_number(step) + " degree cells";
        return;
    }
    grid.west_lon = static_cast<float>(west), grid.east_lon = static_cast<float>(east);
    grid.south_lat = static_cast<float>(south), grid.north_lat = static_cast<float>(north);
    grid.dlon = grid.dlat = static_cast<float>(step);
    grid.ncols = static_cast<int>(std::lround(cols));
    grid.nrows = static_cast<int>(std::lround(rows));
    grid.nlayers = 30, grid.nhours = 24;
    grid.spare_value = -9999.0f;
    status = 0;
}

void ingest_read_grid(const std::string& file_name, Spatialinfodata& grid, std::string& error,
                      int& status) {
    grid = Spatialinfodata{};
    std::string kind;
    double b[5];
    char tail = 0;
    if (!ingest_file_kind(file_name, kind) &&
        std::sscanf(file_name.c_str(), "%lf,%lf,%lf,%lf,%lf%c", &b[0], &b[1], &b[2], &b[3], &b[4],
                    &tail) == 5) {
        ingest_grid_from_bounds(b[0], b[1], b[2], b[3], b[4], grid, error, status);
        if (status != 0) error = "--grid " + file_name + ": " + error;
        return;
    }
    if (!ingest_file_kind(file_name, kind) || kind != "a text") {
        error = "grid file " + file_name + ": " +
                (kind == "no such file" || kind == "an empty file" || kind == "cannot be read"
                     ? kind
                     : "is " + kind + ", not a domain description text");
        status = ingest_status_failed;
        return;
    }
    read_domain_info_from_txt(file_name, grid, status);
    if (status != 0) {
        error = "grid file " + file_name + ": " + domain_file_fault(file_name);
        status = ingest_status_failed;
        return;
    }
    if (grid.ncols < 1 || grid.nrows < 1 || !(grid.dlon > 0.0f) || !(grid.dlat > 0.0f)) {
        error = "grid file " + file_name + ": " + std::to_string(grid.ncols) + " columns, " +
                std::to_string(grid.nrows) + " rows, spacings " + ingest_number(grid.dlon) +
                " and " + ingest_number(grid.dlat) + " (cells and positive spacings required)";
        status = ingest_status_failed;
    }
}

double grid_col_lon(const Spatialinfodata& grid, int col) {
    return static_cast<double>(grid.west_lon) + (col - 0.5) * static_cast<double>(grid.dlon);
}

double grid_row_lat(const Spatialinfodata& grid, int row) {
    return static_cast<double>(grid.south_lat) + (row - 0.5) * static_cast<double>(grid.dlat);
}

bool ingest_file_kind(const std::string& file_name, std::string& kind) {
    std::error_code ec;
    if (!std::filesystem::exists(file_name, ec)) {
        kind = "no such file";
        return false;
    }
    if (std::filesystem::is_directory(file_name, ec)) {
        kind = "a folder, not a file";
        return false;
    }
    std::ifstream in(file_name, std::ios::binary);
    unsigned char b[8] = {0};
    in.read(reinterpret_cast<char*>(b), sizeof b);
    const std::streamsize n = in.gcount();
    if (!in && n == 0 && !in.eof()) {
        kind = "cannot be read";
        return false;
    }
    auto starts = [&](const char* magic, std::streamsize len) {
        return n >= len && std::memcmp(b, magic, static_cast<std::size_t>(len)) == 0;
    };
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
        kind = "a GeoTIFF";
    else if (starts("CDF\1", 4) || starts("CDF\2", 4) || starts("CDF\5", 4))
        kind = "a NetCDF file";
    else if (starts("\x89HDF", 4))
        kind = "an HDF5/NetCDF-4 file";
    else if (starts("\x0e\x03\x13\x01", 4))
        kind = "an HDF4 file";
    else if (starts("GRIB", 4))
        kind = "a GRIB file";
    else {
        bool text = true;
        for (std::streamsize k = 0; k < n; ++k)
            text = text &&
                   (b[k] == '\t' || b[k] == '\n' || b[k] == '\r' || (b[k] >= 32 && b[k] < 127));
        kind = n == 0 ? "an empty file" : text ? "a text" : "a binary file";
    }
    return true;
}

std::string ingest_day_dir_name(int year, int doy) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d%03d", year, doy);
    return text;
}

int ingest_days_in_year(int year) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return leap ? 366 : 365;
}

// ---- staged output ----

namespace {

// "NAME.partial-PID-RANDOM" beside the destination.
fs::path temporary_name(const fs::path& destination) {
    return ornax_publish_staging_name(destination.string());
}

// The path made absolute with its existing part resolved.
fs::path resolved(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) return path.lexically_normal();
    const fs::path canonical = fs::weakly_canonical(absolute, ec);
    absolute = ec ? absolute.lexically_normal() : canonical;
    if (absolute.filename().empty()) absolute = absolute.parent_path();
    return absolute;
}

// True when inner is outer or lies inside it.
bool within(const fs::path& inner, const fs::path& outer) {
    auto o = outer.begin(), i = inner.begin();
    for (; o != outer.end(); ++o, ++i)
        if (i == inner.end() || *i != *o) return false;
    return true;
}

}  // namespace

void ingest_check_output_not_sources(const std::string& output,
                                     const std::vector<IngestSource>& sources, std::string& error,
                                     int& status) {
    status = 0;
    const fs::path out = resolved(output);
    for (const IngestSource& source : sources) {
        if (source.path.empty()) continue;
        const fs::path in = resolved(source.path);
        std::error_code ec;
        const bool folder = fs::is_directory(in, ec);
        // a folder output holds (and replaces) whatever lies inside it; a file output
        // replaces only its own name
        const bool clash = source.output_is_folder
                               ? within(in, out) || (folder && within(out, in))
                               : out == in || ornax_same_file(output, source.path);
        if (!clash) continue;
        error = "the output " + output + " would replace the " + source.role + " " + source.path +
                " (an output may not be, contain or lie in a source)";
        status = ingest_status_failed;
        return;
    }
}

StagedDir::~StagedDir() {
    discard();
}

void StagedDir::open(const fs::path& destination, std::string& error, int& status) {
    status = 0;
    discard();
    destination_ = destination.lexically_normal();
    if (destination_.filename().empty()) destination_ = destination_.parent_path();
    std::error_code ec;
    if (!destination_.parent_path().empty()) fs::create_directories(destination_.parent_path(), ec);
    ornax_publish_recover(destination_.parent_path().string());
    temp_ = temporary_name(destination_);
    if (ec || !fs::create_directory(temp_, ec) || ec) {
        error = "cannot create the folder " + temp_.string() + ": " + ec.message();
        temp_.clear();
        status = ingest_status_failed;
        return;
    }
    committed_ = false;
    ingest_manifest_stage(temp_, destination_);  // manifests name the published paths
}

void StagedDir::commit(bool replace, std::string& error, int& status) {
    status = 0;
    if (temp_.empty() || committed_) {
        error = "no staged folder to move to " + destination_.string();
        status = ingest_status_failed;
        return;
    }
    ornax_publish({{temp_.string(), destination_.string()}}, replace, error, status);
    if (status != 0) return;
    committed_ = true;
    ingest_manifest_unstage(temp_);
    temp_.clear();
}

void StagedDir::discard() {
    if (!temp_.empty() && !committed_) {
        std::error_code ec;
        fs::remove_all(temp_, ec);
        ingest_manifest_unstage(temp_);
    }
    temp_.clear();
}

void ingest_write_text_file(const fs::path& file, const std::string& text, std::string& error,
                            int& status) {
    status = 0;
    const fs::path temp = temporary_name(file);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            error = "cannot write " + temp.string() + ": " + std::strerror(errno);
            std::error_code ec;
            fs::remove(temp, ec);
            status = ingest_status_failed;
            return;
        }
    }
    std::error_code ec;
    fs::rename(temp, file, ec);
    if (ec) {
        error = "cannot rename " + temp.string() + " to " + file.string() + ": " + ec.message();
        fs::remove(temp, ec);
        status = ingest_status_failed;
    }
}

// ---- model rasters ----

void ingest_write_raster(const fs::path& file, const std::vector<float>& values, int ncols,
                         int nrows, int nbands, std::string& error, int& status) {
    status = 0;
    const std::size_t expected = static_cast<std::size_t>(std::max(ncols, 0)) *
                                 static_cast<std::size_t>(std::max(nrows, 0)) *
                                 static_cast<std::size_t>(std::max(nbands, 0));
    if (expected == 0 || values.size() != expected) {
        error = file.string() + ": " + std::to_string(values.size()) + " values for " +
                std::to_string(ncols) + " x " + std::to_string(nrows) + " x " +
                std::to_string(nbands);
        status = ingest_status_failed;
        return;
    }
    Real3dArray raster;
    raster.n1 = ncols;
    raster.n2 = nrows;
    raster.n3 = nbands;
    raster.values = values;
    write_out_3d_real(raster, ncols, nrows, nbands, file.string(), status);
    if (status != 0) {
        error = "cannot write the raster " + file.string();
        status = ingest_status_failed;
    }
}

ValueCounts ingest_count_values(const std::vector<float>& values, float fill_value) {
    ValueCounts counts;
    for (float v : values) {
        if (!std::isfinite(v) || v == fill_value)
            ++counts.missing;
        else
            ++counts.valid;
    }
    return counts;
}

std::string ingest_number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", value);
    return text;
}
