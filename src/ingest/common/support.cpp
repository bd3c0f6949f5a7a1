// Shared pieces of the input converters: messages, options, the common grid, staged
// output, model rasters, value counts and configuration lines.
#include "ingest/common/support.hpp"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/file_io_mod.hpp"
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
    std::fprintf(stderr, "ornax_ingest: %.*s\n", static_cast<int>(text.size()), text.data());
    if (ornax_unit_stream(ornax_logunit) != nullptr) ornax_log_msg(text);
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
    if (ornax_unit_stream(ornax_logunit) != nullptr) ornax_log_msg(text);
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

void ingest_read_grid(const std::string& file_name, Spatialinfodata& grid, std::string& error,
                      int& status) {
    grid = Spatialinfodata{};
    read_domain_info_from_txt(file_name, grid, status);
    if (status != 0) {
        error = "grid file " + file_name + " could not be read (see the messages above)";
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
    static std::mt19937 generator{std::random_device{}()};
    const fs::path name = destination.filename();
    return destination.parent_path() / (name.string() + ".partial-" + std::to_string(getpid()) +
                                        "-" + std::to_string(generator() % 1000000));
}

}  // namespace

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
    temp_ = temporary_name(destination_);
    if (ec || !fs::create_directory(temp_, ec) || ec) {
        error = "cannot create the folder " + temp_.string() + ": " + ec.message();
        temp_.clear();
        status = ingest_status_failed;
        return;
    }
    committed_ = false;
}

void StagedDir::commit(bool replace, std::string& error, int& status) {
    status = 0;
    std::error_code ec;
    if (temp_.empty() || committed_) {
        error = "no staged folder to move to " + destination_.string();
        status = ingest_status_failed;
        return;
    }
    fs::path aside;
    if (fs::exists(destination_, ec)) {
        if (!replace) {
            error = destination_.string() + " exists already (not replaced)";
            status = ingest_status_failed;
            return;
        }
        aside = temporary_name(destination_.string() + ".old");
        fs::rename(destination_, aside, ec);
        if (ec) {
            error = "cannot move the old " + destination_.string() + " aside: " + ec.message();
            status = ingest_status_failed;
            return;
        }
    }
    fs::rename(temp_, destination_, ec);
    if (ec) {
        error = "cannot rename " + temp_.string() + " to " + destination_.string() + ": " +
                ec.message();
        if (!aside.empty()) fs::rename(aside, destination_, ec);  // put the old one back
        status = ingest_status_failed;
        return;
    }
    committed_ = true;
    temp_.clear();
    if (!aside.empty()) fs::remove_all(aside, ec);
}

void StagedDir::discard() {
    if (!temp_.empty() && !committed_) {
        std::error_code ec;
        fs::remove_all(temp_, ec);
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

// ---- configuration lines ----

std::string ingest_config_line(std::string_view label, std::string_view value) {
    std::string line(label.substr(0, std::min<std::size_t>(label.size(), 30)));
    line.resize(30, ' ');
    line += value;
    return line;
}

std::string ingest_join_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) {
        text += l;
        text += '\n';
    }
    return text;
}

std::string ingest_number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", value);
    return text;
}
