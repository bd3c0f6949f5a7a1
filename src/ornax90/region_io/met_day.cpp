// Sources of a day's line meteorology: the sunrise cache rasters read (or computed and
// written) once for the whole model grid, the forecast-model rasters of the day and the next
// held open, and the forecast rows shared by neighbouring lines read once.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "utils/fixed_text.hpp"
#include "utils/sha256.hpp"
#include "ornax90/ornax_constants_mod.hpp"
#include "utils/sunrise_mod.hpp"

namespace {

constexpr int met_surface_files = 8;
// Rasters of a day, in reading order: the profile, then the surface fields.
constexpr std::array<const char*, met_surface_files + 1> met_day_file_names = {
    ornax_met_profile_file,
    "psfc_series.bin",
    "t2_series.bin",
    "q2_series.bin",
    "wind_surface.bin",
    "lwdn.bin",
    "swdn.bin",
    "cfslst.bin",
    "lhtfl.bin"};
constexpr int steps = ornax_forecast_steps_used;

// A cache raster is trusted only when it holds exactly one grid of 4-byte values.
bool cache_raster_valid(const std::string& path, int ncols, int nrows) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    const std::uintmax_t expected =
        4u * static_cast<std::uintmax_t>(ncols) * static_cast<std::uintmax_t>(nrows);
    return !error && static_cast<std::uintmax_t>(size) == expected;
}

// Replaces `path` through a temporary file of the same directory and a rename, so that no
// reader ever sees a partly written file. `write` fills the temporary file; false when it
// or the rename failed.
template <class Write> bool replace_file(const std::string& path, Write write) {
    const std::string temporary = path + ".tmp" + std::to_string(static_cast<long>(getpid()));
    if (!write(temporary) || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool write_cache_raster(const Real2dArray& image, int ncols, int nrows, const std::string& path) {
    return replace_file(path, [&](const std::string& temporary) {
        int status = 0;
        write_out_2d_real(image, ncols, nrows, temporary, status);
        return status == 0;
    });
}

// The sunrise cache is trusted only through its sidecar "riseMET.chk", written after both
// rasters: a header naming the grid and the day, then one line per row with the checksums
// of that row of both rasters. A cache without it, for another grid or day, or with a row
// that does not match its checksums is computed again.
constexpr const char* sunrise_sidecar_name = "riseMET.chk";

std::string sunrise_sidecar_header(const Ornaxmeteoornax& grid, int year, int jday, int solar_doy) {
    return FreeLine() << "ORNAX sunrise cache" << grid.ncols << grid.nrows << grid.start_lon
                      << grid.dlon << grid.start_lat << grid.dlat << year << jday << solar_doy;
}

// FNV-1a over the little-endian bytes of the values.
std::string row_checksum(const float* values, int n) {
    std::uint64_t hash = 1469598103934665603ULL;
    for (int i = 0; i < n; ++i) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &values[i], sizeof bits);
        for (int b = 0; b < 4; ++b) {
            hash ^= (bits >> (8 * b)) & 0xffu;
            hash *= 1099511628211ULL;
        }
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string sunrise_sidecar_row(int row, const Real2dArray& rise15, const Real2dArray& rise55) {
    return "row" + write_i(row, 8) + " " +
           row_checksum(&rise15.values[rise15.index(1, row)], rise15.n1) + " " +
           row_checksum(&rise55.values[rise55.index(1, row)], rise55.n1);
}

// Last line of the sidecar: the SHA-256 of the header (grid description and day) followed
// by the bytes of both cache rasters as the files hold them, so that a header edited to
// name another grid no longer matches. Empty when a raster cannot be read.
std::string sunrise_sidecar_digest(const std::string& header, const std::string& dir) {
    std::string bytes = header + "\n";
    for (const char* name : {"rise15MET", "rise55MET"}) {
        std::FILE* in = std::fopen((dir + name).c_str(), "rb");
        if (in == nullptr) return std::string();
        char buffer[65536];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, n);
        std::fclose(in);
    }
    return "sha256 " + sha256_hex(bytes);
}

bool write_sunrise_sidecar(const std::string& path, const std::string& header,
                           const Real2dArray& rise15, const Real2dArray& rise55,
                           const std::string& digest) {
    return !digest.empty() && replace_file(path, [&](const std::string& temporary) {
        std::FILE* out = std::fopen(temporary.c_str(), "w");
        if (out == nullptr) return false;
        bool ok = std::fprintf(out, "%s\n", header.c_str()) > 0;
        for (int j = 1; j <= rise15.n2 && ok; ++j)
            ok = std::fprintf(out, "%s\n", sunrise_sidecar_row(j, rise15, rise55).c_str()) > 0;
        ok = ok && std::fprintf(out, "%s\n", digest.c_str()) > 0;
        return std::fclose(out) == 0 && ok;
    });
}

// True when the sidecar names this grid and day and every row of both grids matches it.
bool sunrise_grids_trusted(const std::string& sidecar, const std::string& header,
                           const Real2dArray& rise15, const Real2dArray& rise55) {
    std::FILE* in = std::fopen(sidecar.c_str(), "r");
    if (in == nullptr) return false;
    std::string line;
    bool trusted = read_text_line(in, line) && line == header;
    for (int j = 1; trusted && j <= rise15.n2; ++j)
        trusted = read_text_line(in, line) && line == sunrise_sidecar_row(j, rise15, rise55);
    // an older sidecar without the digest is not trusted: the grids are computed again
    const std::string dir = sidecar.substr(0, sidecar.size() - std::strlen(sunrise_sidecar_name));
    trusted = trusted && read_text_line(in, line) && line == sunrise_sidecar_digest(header, dir);
    std::fclose(in);
    return trusted;
}

// Both observation-time grids (1: first, 2: second) computed for the whole model grid and
// written to the cache with their sidecar. The flags tell which grids could be computed.
void compute_sunrise_grids(const Ornaxmeteoornax& grid, const std::string& dir,
                           const std::string& header, Ornaxmetday& day) {
    day.from_cache = false;
    day.rise15_read = day.rise55_read = false;
    for (int mode = 1; mode <= 2; ++mode) {
        Real2dArray& m = mode == 1 ? day.rise15 : day.rise55;
        m.allocate(grid.ncols, grid.nrows, grid.undef);
        std::vector<float> day_shift(m.values.size(), grid.undef);
        int status = 0;
        create_sun_rise_time_matrix_utc(day.year, day.solar_doy, grid.ncols, grid.nrows, mode, 0,
                                        grid.start_lon, grid.dlon, grid.start_lat, grid.dlat,
                                        m.values, day_shift, status);
        if (status != 0) return;
        (mode == 1 ? day.rise15_read : day.rise55_read) = true;
    }
    std::remove((dir + sunrise_sidecar_name).c_str());  // the rasters change under it
    if (write_cache_raster(day.rise15, grid.ncols, grid.nrows, dir + "rise15MET") &&
        write_cache_raster(day.rise55, grid.ncols, grid.nrows, dir + "rise55MET"))
        write_sunrise_sidecar(dir + sunrise_sidecar_name, header, day.rise15, day.rise55,
                              sunrise_sidecar_digest(header, dir));
}

// Both observation-time grids of the day, from the cache rasters when their sidecar vouches
// for them, else computed for the whole grid and cached.
void load_sunrise_grids(const Ornaxmeteoornax& grid, Ornaxmetday& day) {
    const std::string dir = ornax_sunrise_dir(grid.met_dir, day.year, day.jday);
    const std::string rise15_file = dir + "rise15MET";
    const std::string rise55_file = dir + "rise55MET";
    const std::string header = sunrise_sidecar_header(grid, day.year, day.jday, day.solar_doy);
    if (cache_raster_valid(rise15_file, grid.ncols, grid.nrows) &&
        cache_raster_valid(rise55_file, grid.ncols, grid.nrows)) {
        int status15 = 0, status55 = 0;
        read_2d_real_by_col_row(rise15_file, grid.ncols, grid.nrows, 0, day.rise15, status15);
        read_2d_real_by_col_row(rise55_file, grid.ncols, grid.nrows, 0, day.rise55, status55);
        if (status15 == 0 && status55 == 0 &&
            sunrise_grids_trusted(dir + sunrise_sidecar_name, header, day.rise15, day.rise55)) {
            day.from_cache = day.rise15_read = day.rise55_read = true;
            return;
        }
        ornax_log_msg("Sunrise cache " + dir + " is not vouched for by its " +
                      sunrise_sidecar_name + "; computed again");
    }
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    compute_sunrise_grids(grid, dir, header, day);
}

// The day after (year, jday): the next year's first day follows day 366, and day 365 of a
// common year.
void following_day(int year, int jday, int& next_year, int& next_jday) {
    next_year = year;
    next_jday = jday + 1;
    if (jday == 366 || (jday == 365 && !is_leap_year(year))) {
        next_year = year + 1;
        next_jday = 1;
    }
}

// Directories of the forecast-model rasters of the day (0) and the next (1).
std::array<std::string, 2> forecast_dirs(const Ornaxcommonblock& common, int year, int jday) {
    int year2 = 0, jday2 = 0;
    following_day(year, jday, year2, jday2);
    return {ornax_met_day_dir(common.met_data_dir, year, jday),
            ornax_met_day_dir(common.met_data_dir, year2, jday2)};
}

}  // namespace

struct Ornaxmetday::Band {
    int first = 0, count = 0;     // rows first .. first + count - 1
    std::array<bool, 2> whole{};  // every raster of the day (0) or the next (1) read
    // per day: the profile (column x row, layer x time step) and each surface field
    // (column x row, time step)
    std::array<Real2dArray, 2> profile;
    std::array<std::array<Real2dArray, met_surface_files>, 2> surface;
};

namespace {

// Reads row `row` of one day's nine rasters and keeps the first eight time steps of every
// series, from the band that holds the row when the band read the day whole. A raster that
// cannot be read is logged and its series hold the fill value, so that every value derived
// from it reads as missing. Returns the number of rasters not read.
int read_forecast_day(const Ornaxcommonblock& common, const RasterInputFiles& files,
                      const std::string& dir, int row, float undef, const Ornaxmetday::Band* band,
                      std::size_t d, std::vector<float>& pot, std::vector<float>& surface) {
    const int nc = common.ncols, nl = common.nlayers;
    if (band != nullptr && band->whole[d] && row >= band->first &&
        row < band->first + band->count) {
        // column c of the row is column (row - first) * nc + c of the band
        const int at = (row - band->first) * nc;
        pot.assign(static_cast<std::size_t>(nc) * static_cast<std::size_t>(nl) * steps, undef);
        surface.assign(static_cast<std::size_t>(nc) * met_surface_files * steps, undef);
        for (int c = 1; c <= nc; ++c) {
            for (int k = 1; k <= nl; ++k)
                for (int t = 1; t <= steps; ++t)
                    pot[(static_cast<std::size_t>(c - 1) * nl + (k - 1)) * steps + (t - 1)] =
                        band->profile[d](at + c, (t - 1) * nl + k);
            for (std::size_t f = 0; f < met_surface_files; ++f)
                for (int t = 1; t <= steps; ++t)
                    surface[(static_cast<std::size_t>(c - 1) * met_surface_files + f) * steps +
                            (t - 1)] = band->surface[d][f](at + c, t);
        }
        return 0;
    }
    int failed = 0;
    auto report = [&](const std::string& file) {
        ornax_log_msg((FreeLine() << "Forecast-model raster " << file << " row" << row
                                  << "could not be read; its values are missing")
                          .str());
        ++failed;
    };
    int status = 0;
    Real3dArray profile;
    read_4d_real_by_line(&files, dir + ornax_met_profile_file, nc, common.nrows, nl, common.nhours,
                         row, common.undef, profile, status);
    if (status != 0) {
        std::fill(profile.values.begin(), profile.values.end(), common.undef);
        report(dir + ornax_met_profile_file);
    }
    pot.assign(static_cast<std::size_t>(nc) * static_cast<std::size_t>(nl) * steps, undef);
    for (int c = 1; c <= nc; ++c)
        for (int k = 1; k <= nl; ++k)
            for (int t = 1; t <= steps; ++t)
                pot[(static_cast<std::size_t>(c - 1) * nl + (k - 1)) * steps + (t - 1)] =
                    profile(c, k, t);
    surface.assign(static_cast<std::size_t>(nc) * met_surface_files * steps, undef);
    Real2dArray buffer;
    for (int f = 0; f < met_surface_files; ++f) {
        buffer.allocate(nc, common.nhours, undef);
        int read_status = 0;
        const std::string file = dir + met_day_file_names[static_cast<std::size_t>(f + 1)];
        read_3d_real_by_line(&files, file, nc, common.nrows, common.nhours, row, 0.0f, buffer,
                             read_status);
        if (read_status != 0) {
            std::fill(buffer.values.begin(), buffer.values.end(), common.undef);
            report(file);
        }
        for (int c = 1; c <= nc; ++c)
            for (int t = 1; t <= steps; ++t)
                surface[(static_cast<std::size_t>(c - 1) * met_surface_files + f) * steps +
                        (t - 1)] = buffer(c, t);
    }
    return failed;
}

// Reads the rows of the band from one day's rasters; false when any could not be read
// whole (the rows are then read one by one, and their messages name them).
bool read_forecast_band(const Ornaxcommonblock& common, const RasterInputFiles& files,
                        const std::string& dir, std::size_t d, Ornaxmetday::Band& band) {
    int status = 0;
    read_3d_real_by_lines(&files, dir + ornax_met_profile_file, common.ncols, common.nrows,
                          common.nlayers * common.nhours, band.first, band.count, band.profile[d],
                          status);
    for (int f = 0; f < met_surface_files && status == 0; ++f)
        read_3d_real_by_lines(&files, dir + met_day_file_names[static_cast<std::size_t>(f + 1)],
                              common.ncols, common.nrows, common.nhours, band.first, band.count,
                              band.surface[d][static_cast<std::size_t>(f)], status);
    return status == 0;
}

// The hourly series of every surface field for every model-grid column of the row, each
// field shaped like the model grid's (column, hour) line arrays.
void form_hourly_series(const Ornaxcommonblock& common, const Ornaxmeteoornax& grid,
                        Ornaxforecastrows& rows) {
    rows.model_ncols = std::max(grid.ncols, 0);
    rows.nhours = std::max(grid.nhours, 0);
    const std::size_t field_size =
        static_cast<std::size_t>(rows.model_ncols) * static_cast<std::size_t>(rows.nhours);
    rows.hourly.assign(field_size * met_surface_files, grid.undef);
    std::array<float, met_surface_files> at_hour{};
    for (int i = 1; i <= rows.model_ncols; ++i) {
        const float lon = ornax_model_grid_lon(grid, i);
        const int c = ornax_forcing_cell(lon, common.west_lon, common.dlon);
        if (c < 1 || c > common.ncols) continue;  // the column keeps the fill value
        for (int h = 0; h < rows.nhours; ++h) {
            // every field of the column is read at the same place of the window
            ornax_window_values(ornax_local_hour_slot(lon, h), rows.surface_column(0, c),
                                rows.surface_column(1, c), common.undef, at_hour);
            for (std::size_t f = 0; f < at_hour.size(); ++f)
                rows.hourly[f * field_size + met_index2(rows.model_ncols, i, h + 1)] = at_hour[f];
        }
    }
}

}  // namespace

int ornax_forcing_cell(float coordinate, float start, float spacing) {
    constexpr float forcing_column_offset = 0.33f;  // shift of a centre before truncation
    const float cell = std::trunc((coordinate - start) / spacing + forcing_column_offset) + 1.0f;
    if (!(cell >= -1.0e6f && cell <= 1.0e6f)) return 0;
    return static_cast<int>(cell);
}

std::span<const float> Ornaxforecastrows::hourly_field(int f) const {
    const std::size_t n = static_cast<std::size_t>(model_ncols) * static_cast<std::size_t>(nhours);
    return std::span<const float>(hourly).subspan(static_cast<std::size_t>(f) * n, n);
}

std::span<const float> Ornaxforecastrows::pot_series(int d, int c, int k) const {
    const std::size_t at = (static_cast<std::size_t>(c - 1) * nlayers + (k - 1)) * steps;
    return std::span<const float>(pot[static_cast<std::size_t>(d)]).subspan(at, steps);
}

std::span<const float> Ornaxforecastrows::surface_series(int d, int c, int f) const {
    const std::size_t at = (static_cast<std::size_t>(c - 1) * met_surface_files + f) * steps;
    return std::span<const float>(surface[static_cast<std::size_t>(d)]).subspan(at, steps);
}

std::span<const float> Ornaxforecastrows::pot_column(int d, int c) const {
    const std::size_t n = static_cast<std::size_t>(nlayers) * steps;
    return std::span<const float>(pot[static_cast<std::size_t>(d)])
        .subspan(static_cast<std::size_t>(c - 1) * n, n);
}

std::span<const float> Ornaxforecastrows::surface_column(int d, int c) const {
    const std::size_t n = static_cast<std::size_t>(met_surface_files) * steps;
    return std::span<const float>(surface[static_cast<std::size_t>(d)])
        .subspan(static_cast<std::size_t>(c - 1) * n, n);
}

std::shared_ptr<const Ornaxforecastrows>
Ornaxmetday::forecast_rows(const Ornaxcommonblock& common, const Ornaxmeteoornax& grid, int row) {
    const float undef = grid.undef;
    std::shared_ptr<Slot> slot;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::shared_ptr<Slot>& held = slots_[row];
        if (held == nullptr) {
            held = std::make_shared<Slot>();
            order_.push_back(row);
        }
        slot = held;
        // Rows are asked for roughly south to north: the oldest go first. A row dropped
        // while a line still uses it lives on in that line's hands.
        while (order_.size() > std::max<std::size_t>(keep_rows, 1)) {
            slots_.erase(order_.front());
            order_.erase(order_.begin());
        }
    }
    std::lock_guard<std::mutex> lock(slot->fill);
    if (slot->rows == nullptr) {
        auto rows = std::make_shared<Ornaxforecastrows>();
        rows->ncols = common.ncols;
        rows->nlayers = common.nlayers;
        const std::array<std::string, 2> dirs = forecast_dirs(common, year, jday);
        const std::shared_ptr<const Band> band = band_of(common, row);
        for (std::size_t d = 0; d < 2; ++d) {
            OrnaxMessageCapture capture(rows->messages[d]);
            rows->read_failures[d] =
                read_forecast_day(common, forecast_files, dirs[d], row, undef, band.get(), d,
                                  rows->pot[d], rows->surface[d]);
        }
        form_hourly_series(common, grid, *rows);
        slot->rows = std::move(rows);
    }
    return slot->rows;
}

std::shared_ptr<const Ornaxmetday::Band> Ornaxmetday::band_of(const Ornaxcommonblock& common,
                                                              int row) {
    const int rows_per_band = std::max(band_rows, 1);
    const int index = (row - 1) / rows_per_band;
    std::shared_ptr<BandSlot> slot;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::shared_ptr<BandSlot>& held = bands_[index];
        if (held == nullptr) {
            held = std::make_shared<BandSlot>();
            band_order_.push_back(index);
        }
        slot = held;
        // lines move on from band to band: enough are kept for the rows kept, two at least
        const std::size_t keep_bands =
            std::max<std::size_t>(keep_rows / static_cast<std::size_t>(rows_per_band) + 1, 2);
        while (band_order_.size() > keep_bands) {
            bands_.erase(band_order_.front());
            band_order_.erase(band_order_.begin());
        }
    }
    std::lock_guard<std::mutex> lock(slot->fill);
    if (slot->band == nullptr) {
        auto band = std::make_shared<Band>();
        band->first = index * rows_per_band + 1;
        band->count = std::max(std::min(rows_per_band, common.nrows - band->first + 1), 0);
        const std::array<std::string, 2> dirs = forecast_dirs(common, year, jday);
        for (std::size_t d = 0; d < 2; ++d)
            band->whole[d] =
                band->count > 0 && read_forecast_band(common, forecast_files, dirs[d], d, *band);
        slot->band = std::move(band);
    }
    return slot->band;
}

void ornax_prepare_met_day(const Ornaxcommonblock& common, const Ornaxmeteoornax& grid, int year,
                           int doy, Ornaxmetday& day, int& status) {
    status = 0;
    int month = -1, mday = -1;
    get_mmdd_by_yyyydoy(year, doy, month, mday);
    if (mday < 1 || year < 1 || month < 1) {
        status = ornax_status_failure;
        return;
    }
    day.year = year;
    day.jday = mday + ornax_const_jday_in_year[static_cast<std::size_t>(month - 1)] +
               (is_leap_year(year) && month > 2 ? 1 : 0);
    get_doy_by_yyyymmdd(year, month, mday, day.solar_doy);
    day.ncols = grid.ncols;
    day.nrows = grid.nrows;
    load_sunrise_grids(grid, day);
    if (!day.rise15_read || !day.rise55_read) status = ornax_status_failure;
    for (const std::string& dir : forecast_dirs(common, year, day.jday))
        for (const char* name : met_day_file_names) day.forecast_files.hold(dir + name);
}

void ornax_write_sunrise_cache(const Ornaxmeteoornax& grid, int year, int doy,
                               const std::vector<float>& rise15, const std::vector<float>& rise55,
                               int& status) {
    status = ornax_status_failure;
    Real2dArray matrix[2];
    for (int m = 0; m < 2; ++m) {
        matrix[m].allocate(grid.ncols, grid.nrows, grid.undef);
        const std::vector<float>& from = m == 0 ? rise15 : rise55;
        if (from.size() != matrix[m].values.size()) return;
        matrix[m].values = from;
    }
    const std::string dir = ornax_sunrise_dir(grid.met_dir, year, doy);
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (write_cache_raster(matrix[0], grid.ncols, grid.nrows, dir + "rise15MET") &&
        write_cache_raster(matrix[1], grid.ncols, grid.nrows, dir + "rise55MET") &&
        write_sunrise_sidecar(
            dir + sunrise_sidecar_name, sunrise_sidecar_header(grid, year, doy, doy), matrix[0],
            matrix[1], sunrise_sidecar_digest(sunrise_sidecar_header(grid, year, doy, doy), dir)))
        status = 0;
}

std::span<const char* const> ornax_met_day_files() {
    return met_day_file_names;
}
