// Forecast-model (GFS) file readers: configuration file and land-mask raster.
#include "baseforcing/GFS/GFS_io_mod.hpp"

#include <cstdint>
#include <cstdio>
#include <new>

#include "ornax90/ORNAX_log_mod.hpp"
#include "core/VESK_log_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

inline constexpr int gfs_text_width = 256;  // a256 values of the configuration file

// Reads lines 1 to 33 of the configuration file; false at the first line that is
// missing or unreadable (the reader's line number says which).
bool read_gfs_config_lines(LabelledLineReader& in, Gfs_struc_block& store) {
    for (int header = 1; header <= 5; ++header)
        if (!in.skip()) return false;
    if (!in.text(gfs_text_width, store.gfs_text_1)) return false;
    if (!in.real(7, 2, store.grid_value_1) || !in.real(7, 2, store.grid_value_2)) return false;
    if (!in.real(7, 2, store.grid_value_6)) return false;
    if (!in.real(7, 2, store.grid_value_3) || !in.real(7, 2, store.grid_value_4) ||
        !in.real(7, 2, store.grid_value_5))
        return false;
    if (!in.skip()) return false;
    if (!in.integer(10, store.nlon) || !in.integer(10, store.nlat)) return false;
    if (!in.integer(10, store.nlev) || !in.integer(10, store.ntime) ||
        !in.integer(10, store.nspare))
        return false;
    if (!in.real(12, 3, store.spare_e)) return false;
    if (!in.skip()) return false;
    std::string* const texts[] = {&store.gfs_text_6,  &store.gfs_text_7,  &store.gfs_text_10,
                                  &store.gfs_text_11, &store.gfs_text_12, &store.gfs_text_13,
                                  &store.gfs_text_5,  &store.gfs_text_8,  &store.gfs_text_9,
                                  &store.gfs_text_2,  &store.gfs_text_3,  &store.gfs_text_14,
                                  &store.gfs_text_15};
    for (std::string* text : texts)
        if (!in.text(gfs_text_width, *text)) return false;
    return true;
}

// Little-endian 4-byte signed integer at p, whatever the host's byte order.
std::int32_t little_endian_int(const unsigned char* p) {
    std::uint32_t bits =
        static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return static_cast<std::int32_t>(bits);
}

}  // namespace

void gfs_read_config(const std::string& file_name, Gfs_struc_block& store, int& status) {
    store = Gfs_struc_block{};
    const std::string name = trim_right(file_name);
    const int unit = vesk_get_next_unit_number();
    std::FILE* stream = ornax_unit_open(unit, name, "r");
    if (stream == nullptr) {
        vesk_write_line(FreeLine() << "Error in opening the GFS configuration file!");
        vesk_release_unit_number(unit);
        status = ornax_status_failure;
        return;
    }
    vesk_write_line(FreeLine() << "Start reading the GFS config" << name);
    LabelledLineReader in(stream);
    status = 0;
    if (!read_gfs_config_lines(in, store)) {
        if (in.ended())
            vesk_write_line(FreeLine() << "The GFS configuration file " << name
                                       << " ends before line" << in.line_number());
        else
            vesk_write_line(FreeLine() << "Error in reading the GFS configuration file " << name
                                       << " at line" << in.line_number());
        status = ornax_status_failure;
    }
    vesk_release_unit_number(unit);
}

void gfs_read_land_data(const std::string& file_name, Gfs_struc_block& store, int& status) {
    const std::int64_t cells = static_cast<std::int64_t>(store.nlat) * store.nlon;
    if (store.nlat < 1 || store.nlon < 1) {
        vesk_write_line("wrong record size in the GFS input");
        status = ornax_status_failure;
        return;
    }
    const int unit = vesk_get_next_unit_number();
    store.land_file = trim_right(file_name);
    std::FILE* stream = ornax_unit_open(unit, store.land_file, "rb");
    if (stream == nullptr) {
        vesk_write_line("Error in opening the input file" + store.land_file);
        vesk_release_unit_number(unit);
        status = ornax_status_failure;
        return;
    }
    status = 0;
    std::vector<unsigned char> bytes;
    bool read_ok = false;
    try {
        bytes.resize(static_cast<std::size_t>(cells) * 4);
        if (!store.land_allocated) store.land.assign(static_cast<std::size_t>(cells), 0);
        store.land_allocated = true;
        read_ok = std::fread(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    } catch (const std::bad_alloc&) {
        read_ok = false;
    }
    if (read_ok) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(cells); ++i)
            store.land[i] = little_endian_int(&bytes[4 * i]);
    } else {
        vesk_write_line("Read in GFS land mask file ...failed");
        status = ornax_status_failure;
    }
    vesk_release_unit_number(unit);
}
