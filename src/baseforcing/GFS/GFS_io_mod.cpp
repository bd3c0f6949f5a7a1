// Forecast-model (GFS) file readers: configuration file and land-mask raster.
#include "baseforcing/GFS/GFS_io_mod.hpp"

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <new>

#include "ornax90/ORNAX_log_mod.hpp"
#include "core/VESK_log_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

inline constexpr int gfs_text_width = 256;  // a256 values of the configuration file

// The texts of lines 21 to 33 (the file stems), in the order of the lines.
constexpr std::string Gfs_struc_block::*gfs_file_stems[] = {
    &Gfs_struc_block::gfs_text_6,  &Gfs_struc_block::gfs_text_7,  &Gfs_struc_block::gfs_text_10,
    &Gfs_struc_block::gfs_text_11, &Gfs_struc_block::gfs_text_12, &Gfs_struc_block::gfs_text_13,
    &Gfs_struc_block::gfs_text_5,  &Gfs_struc_block::gfs_text_8,  &Gfs_struc_block::gfs_text_9,
    &Gfs_struc_block::gfs_text_2,  &Gfs_struc_block::gfs_text_3,  &Gfs_struc_block::gfs_text_14,
    &Gfs_struc_block::gfs_text_15};

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
    for (std::string Gfs_struc_block::*text : gfs_file_stems)
        if (!in.text(gfs_text_width, store.*text)) return false;
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
    vesk_write_named_line(FreeLine() << "Start reading the GFS config" << name,
                          FreeLine() << "Start reading the GFS configuration file " << name);
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
        vesk_write_named_line("Error in opening the input file" + store.land_file,
                              "Error in opening the input file " + store.land_file);
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

std::vector<std::string> gfs_config_lines(const std::string& description, const std::string& note_1,
                                          const std::string& note_2, const Gfs_struc_block& store) {
    auto real = [](float v) { return write_f(v, 7, 2); };
    auto count = [](int v) { return write_i(v, 10); };
    const std::string separator(30, '-');
    std::vector<std::string> lines = {
        labelled_line("Forecast-model configuration", description),
        note_1,
        note_2,
        separator,
        separator,
        labelled_line("GFS data directory", store.gfs_text_1),
        labelled_line("West longitude", real(store.grid_value_1)),
        labelled_line("East longitude", real(store.grid_value_2)),
        labelled_line("Longitude resolution", real(store.grid_value_6)),
        labelled_line("South latitude", real(store.grid_value_3)),
        labelled_line("North latitude", real(store.grid_value_4)),
        labelled_line("Latitude resolution", real(store.grid_value_5)),
        separator,
        labelled_line("Number of longitudes", count(store.nlon)),
        labelled_line("Number of latitudes", count(store.nlat)),
        labelled_line("Number of pressure levels", count(store.nlev)),
        labelled_line("Time steps per day", count(store.ntime)),
        labelled_line("Spare count", count(store.nspare)),
        labelled_line("Spare value", write_e(store.spare_e, 12, 3)),
        separator};
    for (std::string Gfs_struc_block::*text : gfs_file_stems)
        lines.push_back(labelled_line("File stem", store.*text));
    return lines;
}

Gfs_struc_block gfs_config_record(const std::string& dir, float west, float east, float dlon,
                                  float south, float north, float dlat, int nlon, int nlat) {
    Gfs_struc_block store;
    store.gfs_text_1 = dir;
    store.grid_value_1 = west, store.grid_value_2 = east, store.grid_value_6 = dlon;
    store.grid_value_3 = south, store.grid_value_4 = north, store.grid_value_5 = dlat;
    store.nlon = nlon, store.nlat = nlat;
    store.nlev = gfs_default_level_count, store.ntime = gfs_steps_per_day, store.nspare = 0;
    store.spare_e = -9999.0f;
    const char* stems[] = {"HGT_sfc",  "DLWRF_sfc", "DSWRF_sfc", "TMP_sfc",  "LHTFL_sfc",
                           "PRES_sfc", "RH_2m",     "UGRD_10m",  "VGRD_10m", "HGT_prs",
                           "TMP_prs",  "RH_prs",    "SPFH_prs"};
    static_assert(std::size(stems) == std::size(gfs_file_stems));
    for (std::size_t i = 0; i < std::size(stems); ++i) store.*gfs_file_stems[i] = stems[i];
    return store;
}
