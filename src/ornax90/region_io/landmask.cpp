// Land mask and land subset: the UMD land-cover window of the run grid, the land cells
// built from it, and the land subset file written once and read back on later runs.
#include "ornax90/ORNAX_region_io_mod.hpp"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <unistd.h>

#include "baseforcing/GFS/GFS_io_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

inline constexpr double land_umd_step = 0.01;            // degrees per UMD pixel
inline constexpr double land_umd_west_centre = 179.995;  // -(centre of UMD column 1)
inline constexpr double land_umd_south_centre = 59.995;  // -(centre of UMD row 1)
inline constexpr float land_match_tolerance = 1.0e-6f;   // grid values of a subset file (degrees)
inline constexpr int land_subset_header_records = 8;
const char* const land_common_lc_file = "common_lc.dat";

void land_screen(const std::string& line) {
    ornax_screen_line(line);
}

void land_put_int(unsigned char* p, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int b = 0; b < 4; ++b) p[b] = static_cast<unsigned char>(bits >> (8 * b));
}

void land_put_real(unsigned char* p, float value) {
    land_put_int(p, std::bit_cast<std::int32_t>(value));
}

std::uint32_t land_bits(const unsigned char* p, bool big_endian) {
    std::uint32_t bits = 0;
    for (int b = 0; b < 4; ++b) {
        const int shift = big_endian ? 8 * (3 - b) : 8 * b;
        bits |= static_cast<std::uint32_t>(p[b]) << shift;
    }
    return bits;
}

std::int32_t land_get_int(const unsigned char* p) {
    return static_cast<std::int32_t>(land_bits(p, false));
}

float land_get_real(const unsigned char* p) {
    return std::bit_cast<float>(land_bits(p, false));
}

// Integer part of a real, with NaN read as 0 and huge values held inside the int range.
int land_integer_part(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<int>(std::clamp(value, -2.0e9, 2.0e9));
}

// Whole steps in a span: the integer part of span / step, allowing for the binary
// rounding of decimal spacings (0.29 / 0.01 counts 29 steps, not 28).
int land_whole_steps(double span, double step) {
    return land_integer_part(span / step + 1.0e-4);
}

// Image of the land cells: 1 on a land cell, 0 elsewhere, written to the working directory.
// A directory that is not writable loses only this view file.
void land_write_common_lc(int ncols, int nrows, int land_count,
                          const std::vector<Ornaxsinglegrid>& cells) {
    if (ncols < 1 || nrows < 1) return;
    const std::size_t size = static_cast<std::size_t>(ncols) * static_cast<std::size_t>(nrows);
    std::vector<unsigned char> bytes(4 * size, 0);
    const int count = std::clamp(land_count, 0, static_cast<int>(cells.size()));
    for (int i = 0; i < count; ++i) {
        const Ornaxsinglegrid& cell = cells[static_cast<std::size_t>(i)];
        if (cell.col < 1 || cell.col > ncols || cell.row < 1 || cell.row > nrows) continue;
        const std::size_t at = static_cast<std::size_t>(cell.row - 1) * ncols + (cell.col - 1);
        land_put_int(&bytes[4 * at], 1);
    }
    const int unit = ornax_get_next_unit_number();
    if (std::FILE* out = ornax_unit_open(unit, land_common_lc_file, "wb"))
        std::fwrite(bytes.data(), 1, bytes.size(), out);
    ornax_release_unit_number(unit);
}

}  // namespace

Ornaxumdwindow ornax_umd_window(const Ornaxcommonblock& common) {
    Ornaxumdwindow window;
    if (common.west_lon <= -180.0f) {
        window.ncols = land_whole_steps(common.east_lon + 180.0, land_umd_step);
        window.first_col = 1;
    } else {
        // the span in whole degrees times 100
        window.ncols = 100 * land_integer_part(common.east_lon - common.west_lon);
        window.first_col =
            land_integer_part((common.west_lon + land_umd_west_centre) / land_umd_step);
    }
    if (common.south_lat <= -60.0f) {
        window.nrows = land_whole_steps(common.north_lat + 60.0, land_umd_step);
        window.first_row = 1;
    } else {
        window.nrows = 100 * land_integer_part(common.north_lat - common.south_lat);
        window.first_row =
            land_integer_part((common.south_lat + land_umd_south_centre) / land_umd_step);
    }
    // a window never leaves the raster, so every window row is one run of consecutive pixels
    window.first_col = std::max(window.first_col, 1);
    window.first_row = std::max(window.first_row, 1);
    window.ncols = std::min(window.ncols, ornax_umd_ncols - window.first_col + 1);
    window.nrows = std::min(window.nrows, ornax_umd_nrows - window.first_row + 1);
    window.block_rows = land_whole_steps(common.dlat, land_umd_step);
    window.block_cols = land_whole_steps(common.dlon, land_umd_step);
    return window;
}

void ornax_subset_integer_matrix(const std::vector<int>& matrix, int ncols, int nrows,
                                 int first_col, int first_row, int block_cols, int block_rows,
                                 int& count, int& status) {
    count = 0;
    for (int row = first_row; row < first_row + block_rows; ++row) {
        for (int col = first_col; col < first_col + block_cols; ++col) {
            if (col < 1 || col > ncols || row < 1 || row > nrows) {
                land_screen(FreeLine() << "Out of bound" << col << row);
                continue;
            }
            if (matrix[static_cast<std::size_t>(row - 1) * ncols + (col - 1)] > 0) ++count;
        }
    }
    status = 0;
}

namespace {

// Grid values of a land subset file (records 3 to 8) and what they must match.
struct LandSubsetCheck {
    const char* message;
    float grid_value;
};

// Reads and checks records 1 to 8 of a land subset file, then the land cells.
void land_read_subset(std::FILE* in, const std::string& name, const float (&grid)[6], int ncols,
                      int nrows, int& land_count, std::vector<Ornaxsinglegrid>& cells,
                      int& status) {
    unsigned char header[4 * land_subset_header_records];
    if (std::fread(header, 1, sizeof header, in) != sizeof header) {
        land_screen(FreeLine() << "Error in reading the land subset file " << name);
        status = ornax_status_failure;
        return;
    }
    const std::int32_t record_count = land_get_int(&header[0]);
    land_count = land_get_int(&header[4]);
    if (land_count < 0 || static_cast<std::int64_t>(ncols) * nrows < land_count) {
        land_screen(FreeLine() << "Mismatch in total pixel number:" << land_count << " vs " << ncols
                               << nrows);
        status = ornax_status_failure;
    } else if (record_count != 2 * land_count + 7) {
        land_screen(FreeLine() << "Mismatch in record count:" << record_count << "vs"
                               << 2 * land_count + 7);
        status = ornax_status_failure;
    }
    const LandSubsetCheck checks[6] = {
        {"Mismatch in west lon:", grid[0]},      {"Mismatch in east lon", grid[1]},
        {"Mismatch in lon resolution", grid[2]}, {"Mismatch in south lat", grid[3]},
        {"Mismatch in north lat", grid[4]},      {"Mismatch in lat resolution", grid[5]}};
    for (int i = 0; i < 6; ++i) {
        const float file_value = land_get_real(&header[8 + 4 * i]);
        if (!(std::fabs(file_value - checks[i].grid_value) <= land_match_tolerance)) {
            land_screen(FreeLine()
                        << checks[i].message << file_value << "vs" << checks[i].grid_value);
            status = ornax_status_failure;
        }
    }
    if (status != 0) return;
    land_screen(FreeLine() << "Read in the details" << land_count);
    std::vector<unsigned char> bytes(8 * static_cast<std::size_t>(land_count));
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), in);
    if (got != bytes.size()) {
        // a truncated file is rejected rather than leaving cells unset
        land_screen(FreeLine() << "Land subset file " << name << " ends before record"
                               << static_cast<int>(land_subset_header_records + 1 + got / 4));
        status = ornax_status_failure;
        return;
    }
    if (cells.size() < static_cast<std::size_t>(land_count)) cells.resize(land_count);
    const float west_lon = grid[0], dlon = grid[2], south_lat = grid[3], dlat = grid[5];
    for (int i = 0; i < land_count; ++i) {
        Ornaxsinglegrid& cell = cells[static_cast<std::size_t>(i)];
        cell.lon = land_get_real(&bytes[8 * static_cast<std::size_t>(i)]);
        cell.lat = land_get_real(&bytes[8 * static_cast<std::size_t>(i) + 4]);
        cell.col = land_integer_part(1.0f + (cell.lon - west_lon) / dlon);
        cell.row = land_integer_part(1.0f + (cell.lat - south_lat) / dlat);
    }
    land_screen(FreeLine() << "Read in loop done"
                           << land_subset_header_records + 1 + 2 * land_count);
}

}  // namespace

void ornax_load_land_subset(int ncols, int nrows, float west_lon, float east_lon, float dlon,
                            float south_lat, float north_lat, float dlat,
                            const std::string& file_name, int& land_count,
                            std::vector<Ornaxsinglegrid>& land_cells, int& status) {
    status = 0;
    const std::string name = trim_right(file_name);
    land_screen(FreeLine() << "Loading..." << name);
    const int unit = ornax_get_next_unit_number();
    std::FILE* in = ornax_unit_open(unit, name, "rb");
    if (in == nullptr) {
        land_screen(FreeLine() << "Open file error" << name << unit);
        status = ornax_status_failure;
    } else {
        const float grid[6] = {west_lon, east_lon, dlon, south_lat, north_lat, dlat};
        land_read_subset(in, name, grid, ncols, nrows, land_count, land_cells, status);
    }
    ornax_release_unit_number(unit);
    // a rejected file leaves no land cells behind
    if (status != 0) land_count = 0;
    land_screen(" Output the land mask to common_lc.dat");
    land_write_common_lc(ncols, nrows, land_count, land_cells);
}

namespace {

// Land subset file contents: record count, land count, grid edges and spacings, then
// longitude and latitude of every land cell.
std::vector<unsigned char> land_subset_bytes(int land_count, const float (&grid)[6],
                                             const std::vector<Ornaxsinglegrid>& cells) {
    std::vector<unsigned char> bytes(
        4 * (land_subset_header_records + 2 * static_cast<std::size_t>(land_count)));
    land_put_int(&bytes[0], 2 * land_count + 7);
    land_put_int(&bytes[4], land_count);
    for (int i = 0; i < 6; ++i) land_put_real(&bytes[8 + 4 * i], grid[i]);
    for (int i = 0; i < land_count; ++i) {
        const std::size_t at = 4 * (land_subset_header_records + 2 * static_cast<std::size_t>(i));
        land_put_real(&bytes[at], cells[static_cast<std::size_t>(i)].lon);
        land_put_real(&bytes[at + 4], cells[static_cast<std::size_t>(i)].lat);
    }
    return bytes;
}

// Writes a file through a temporary file of the same directory renamed into place, so
// that no reader ever sees a partly written file. Status 0, 3 on failure.
int land_write_atomically(const std::string& name, const std::vector<unsigned char>& bytes) {
    const std::string temporary = name + ".tmp" + std::to_string(static_cast<long>(getpid()));
    const int unit = ornax_get_next_unit_number();
    std::FILE* out = ornax_unit_open(unit, temporary, "wb");
    if (out == nullptr) {
        const int reason = errno;
        land_screen(FreeLine() << "Error " << reason << "in opening" << name);
        ornax_log_failure("cannot write the land subset file " + name + ": " +
                          std::strerror(reason));
        ornax_release_unit_number(unit);
        return ornax_status_failure;
    }
    errno = 0;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    written = std::fflush(out) == 0 && written;
    int reason = errno;
    ornax_release_unit_number(unit);
    if (written && std::rename(temporary.c_str(), name.c_str()) == 0) return 0;
    if (written) reason = errno;
    land_screen(FreeLine() << "Error in writing" << name);
    ornax_log_failure("cannot write the land subset file " + name + ": " +
                      std::strerror(reason != 0 ? reason : EIO));
    std::remove(temporary.c_str());
    return ornax_status_failure;
}

}  // namespace

void ornax_write_out_land_index(int land_count, int ncols, int nrows, float west_lon,
                                float east_lon, float dlon, float south_lat, float north_lat,
                                float dlat, const std::vector<Ornaxsinglegrid>& land_cells,
                                const std::string& file_name, int& status) {
    const std::string name = trim_right(file_name);
    if (land_count < 0 || static_cast<std::size_t>(land_count) > land_cells.size()) {
        land_screen(FreeLine() << "Land cell count out of range:" << land_count);
        status = ornax_status_failure;
    } else {
        const float grid[6] = {west_lon, east_lon, dlon, south_lat, north_lat, dlat};
        status = land_write_atomically(name, land_subset_bytes(land_count, grid, land_cells));
        if (status == 0)
            land_screen(FreeLine()
                        << "Write " << 2 * land_count + 7 << "bytes to " << name << "successfully");
    }
    land_screen(" Write out the land mask file for GRADS view");
    land_write_common_lc(ncols, nrows, land_count, land_cells);
}

namespace {

// Integer part of a UMD land-cover value (land classes are 1 and above).
int land_umd_class(const unsigned char* p) {
    return land_integer_part(std::bit_cast<float>(land_bits(p, true)));
}

// Reads the UMD window one row at a time: the pixels of a window row are consecutive in
// the raster, so each row is one read. Matrix is window columns x rows, column fastest.
bool land_read_umd_window(const std::string& name, const Ornaxumdwindow& window,
                          std::vector<int>& matrix) {
    const int unit = ornax_get_next_unit_number();
    std::FILE* in = ornax_unit_open(unit, name, "rb");
    if (in == nullptr) {
        land_screen(FreeLine() << "Error" << errno << "in opening the land mask file" << name);
        ornax_release_unit_number(unit);
        return false;
    }
    std::vector<unsigned char> row_bytes(4 * static_cast<std::size_t>(window.ncols));
    bool read_ok = true;
    for (int j = 1; j <= window.nrows && read_ok; ++j) {
        // 1-based record of window pixel (1, j)
        const std::int64_t record =
            static_cast<std::int64_t>(window.first_row + j - 2) * ornax_umd_ncols +
            window.first_col;
        read_ok = fseeko(in, static_cast<off_t>((record - 1) * 4), SEEK_SET) == 0 &&
                  std::fread(row_bytes.data(), 1, row_bytes.size(), in) == row_bytes.size();
        if (!read_ok) break;
        int* out = &matrix[static_cast<std::size_t>(j - 1) * window.ncols];
        for (int k = 0; k < window.ncols; ++k)
            out[k] = land_umd_class(&row_bytes[4 * static_cast<std::size_t>(k)]);
    }
    if (read_ok) {
        const std::int64_t first_record =
            static_cast<std::int64_t>(window.first_row - 1) * ornax_umd_ncols + window.first_col;
        land_screen(FreeLine() << "domain_pos (1,1) = " << static_cast<long long>(first_record));
    } else {
        land_screen(FreeLine() << "Error in reading the UMD land mask from file:" << name);
    }
    ornax_release_unit_number(unit);
    return read_ok;
}

// Adds a land cell for every common-grid cell whose UMD block holds a land pixel.
void land_find_cells(Ornaxcommonblock& common, const Ornaxumdwindow& window,
                     const std::vector<int>& matrix) {
    const int block_rows = std::clamp(window.block_rows, 1, ornax_umd_nrows);
    const int block_cols = std::clamp(window.block_cols, 1, ornax_umd_ncols);
    const std::size_t cells =
        static_cast<std::size_t>(common.ncols) * static_cast<std::size_t>(common.nrows);
    if (common.ptr_land_grid.size() < cells) common.ptr_land_grid.resize(cells);
    common.land_count = 0;
    land_screen(FreeLine() << "Start domain loop" << common.nrows << common.ncols);
    land_screen(FreeLine() << "Land grid matrix"
                           << static_cast<long long>(common.ptr_land_grid.size())
                           << static_cast<long long>(cells));
    land_screen(FreeLine() << "Domain" << window.ncols << window.nrows);
    land_screen(FreeLine() << "Grid" << block_cols << block_rows);
    for (int j = 1; j <= common.nrows; ++j) {
        for (int k = 1; k <= common.ncols; ++k) {
            int count = 0, status = 0;
            ornax_subset_integer_matrix(matrix, window.ncols, window.nrows,
                                        (k - 1) * block_cols + 1, (j - 1) * block_rows + 1,
                                        block_cols, block_rows, count, status);
            if (count < 1) continue;
            Ornaxsinglegrid& cell =
                common.ptr_land_grid[static_cast<std::size_t>(common.land_count)];
            ++common.land_count;
            cell.lat = common.south_lat + (static_cast<float>(j) - 0.5f) * common.dlat;
            cell.lon = common.west_lon + (static_cast<float>(k) - 0.5f) * common.dlon;
            cell.row = j;
            cell.col = k;
            cell.land_frac = static_cast<float>(count) / static_cast<float>(block_rows) /
                             static_cast<float>(block_cols);
        }
    }
    land_screen(" Done with domain check with UMD land mask");
    land_screen(FreeLine() << "Total land pixels are: " << common.land_count);
    land_screen(FreeLine() << "The land frac in this area is:"
                           << static_cast<float>(common.land_count) /
                                  static_cast<float>(common.nrows) /
                                  static_cast<float>(common.ncols));
}

// Counts the land pixels of the window and reports them; false when there is none.
bool land_window_has_land(const Ornaxumdwindow& window, const std::vector<int>& matrix) {
    const auto land = static_cast<long long>(
        std::count_if(matrix.begin(), matrix.end(), [](int value) { return value >= 1; }));
    land_screen(" Read in the domain data successfully, searching for land pixels");
    const double share = static_cast<double>(land) / static_cast<double>(matrix.size());
    land_screen(" domain(" + write_i(window.ncols, 6) + "," + write_i(window.nrows, 6) + ") with" +
                write_i(land, 10) + " land pixels, about" + write_f(share, 8, 3) +
                " of total area");
    if (land > 0) return true;
    land_screen(FreeLine() << "Domain read error at (col, row):" << window.first_col
                           << window.first_row);
    return false;
}

}  // namespace

void ornax_set_umd_land_mask(Ornaxcommonblock& common, const std::string& umd_file,
                             float /*spare_value*/, int& status) {
    // cells of an earlier, failed attempt never count
    common.land_count = 0;
    const Ornaxumdwindow window = ornax_umd_window(common);
    const std::int64_t first_record =
        static_cast<std::int64_t>(window.first_row - 1) * ornax_umd_ncols + window.first_col;
    land_screen(" domain size(" + write_i(window.ncols, 6) + write_i(window.nrows, 6) +
                ") start at(" + write_i(window.first_col, 6) + write_i(window.first_row, 6) + ")[" +
                write_i(first_record, 15) + "]");
    std::vector<int> matrix;
    bool allocated = window.ncols >= 1 && window.nrows >= 1;
    try {
        if (allocated)
            matrix.assign(
                static_cast<std::size_t>(window.ncols) * static_cast<std::size_t>(window.nrows), 0);
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    if (!allocated) {
        land_screen(" Error in allocating memory for the land mask domain");
        status = ornax_status_failure;
        return;
    }
    land_screen(FreeLine() << "grid_row_num = " << window.block_rows);
    land_screen(FreeLine() << "grid_col_num = " << window.block_cols);
    if (land_read_umd_window(trim_right(umd_file), window, matrix) &&
        land_window_has_land(window, matrix))
        land_find_cells(common, window, matrix);
    std::vector<int>().swap(matrix);
    if (common.land_count < 2) {
        land_screen(" No land pixel in the domain");
        status = ornax_status_failure;
        return;
    }
    land_screen(FreeLine() << "land number" << common.land_count << " to file "
                           << trim_right(common.land_subset_file));
    ornax_write_out_land_index(common.land_count, common.ncols, common.nrows, common.west_lon,
                               common.east_lon, common.dlon, common.south_lat, common.north_lat,
                               common.dlat, common.ptr_land_grid, common.land_subset_file, status);
}

void ornax_load_land_data(Ornaxcommonblock& common, int& status) {
    status = 0;
    int step_status = 0;
    if (common.land_index_option == 1) {
        ornax_set_umd_land_mask(common, common.umd_landcover_file, common.land_spare_value,
                                step_status);
        if (step_status != 0) {
            land_screen(" Process land subset failed");
            status = ornax_status_failure;
            return;
        }
        land_screen(" Process land subset done" + write_i(common.land_count, 10) +
                    "records are land pixels");
    } else {
        ornax_load_land_subset(common.ncols, common.nrows, common.west_lon, common.east_lon,
                               common.dlon, common.south_lat, common.north_lat, common.dlat,
                               common.land_subset_file, common.land_count, common.ptr_land_grid,
                               step_status);
        if (step_status == 0) {
            land_screen(" Load land subset done" + write_i(common.land_count, 10) +
                        "records loaded");
        } else {
            land_screen(" Load land subset failed");
            land_screen(" Create a new land subset");
            ornax_set_umd_land_mask(common, common.umd_landcover_file, common.land_spare_value,
                                    step_status);
            if (step_status != 0) {
                land_screen(" Process land subset error");
                status = ornax_status_failure;
                return;
            }
            land_screen(" Created land subset done" + write_i(common.land_count, 10) +
                        " land pixels created in th common grids.");
        }
    }
    ornax_load_forcing_land_mask(common, status);
}

void ornax_load_forcing_land_mask(Ornaxcommonblock& common, int& status) {
    status = 0;
    int step_status = 0;
    if (common.met_flag == 2 || common.met_flag == 3) {
        // the forecast-model land mask reports its own failures
        gfs_read_land_data(common.gfs_land_file, common.gfs_struc, step_status);
    } else if (common.met_flag == 4) {
        land_screen(" Read ORNAX land cover later");
    } else {
        land_screen(" Unknown meteorological flag!");
        status = ornax_status_failure;
    }
}
