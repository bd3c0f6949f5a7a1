// Meteorological configuration: the common grid, the model grid and the data paths of a
// region run.
#include "ornax90/ORNAX_io_mod.hpp"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/file_io_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

inline constexpr int met_text_width = 300;  // a300 values
inline constexpr int met_path_length = 300;

void met_screen(const std::string& line) {
    std::cout << line << '\n';
}

// HOME_DIR (trailing blanks removed) followed by the value, cut to 300 characters.
// A value already beginning with HOME_DIR, or existing as written while the prefixed path
// does not, is used as written (logged).
std::string met_home_path(const std::string& home, const std::string& value) {
    std::string note;
    const std::string path = ornax_home_prefixed_path(home, trim_right(value), note);
    if (!note.empty()) ornax_log_msg("Meteorological configuration: " + note);
    return path.substr(0, met_path_length);
}

// Cells between two edges at a spacing, to the nearest whole cell; -1 when undefined.
int met_expected_count(float low_edge, float high_edge, float spacing) {
    const float cells = (high_edge - low_edge) / spacing + 0.5f;
    if (!std::isfinite(cells) || std::fabs(cells) > 2.0e9f) return -1;
    return static_cast<int>(cells);
}

// Lines 1 to 7: land-mask options and files. False when reading must stop; checked is
// set when a failed check (not a line that could not be read) stopped it.
bool met_read_land_lines(LabelledLineReader& in, const std::string& home, Ornaxcommonblock& common,
                         int& status, bool& checked) {
    std::string text;
    if (!in.skip() || !in.integer(10, common.land_option) ||
        !in.integer(10, common.land_index_option) ||
        !in.text(met_text_width, common.land_subset_file))
        return false;
    if (common.land_index_option != 0 && common.land_index_option != 1) {
        met_screen(" Error in reading the options for land index, 0 or 1 only");
        met_screen(FreeLine() << common.land_option << common.land_index_option);
        status = ornax_status_failure;
        checked = true;
        return false;
    }
    if (!in.skip() || !in.text(met_text_width, text)) return false;
    common.met_data_dir = met_home_path(home, text);
    if (!in.text(met_text_width, text)) return false;
    common.umd_landcover_file = met_home_path(home, text);
    std::error_code error;
    if (!std::filesystem::exists(common.umd_landcover_file, error)) {
        met_screen(trim_right(common.umd_landcover_file) + " not exist.");
        status = ornax_status_failure;
        checked = true;
        return false;
    }
    return true;
}

// Lines 8 to 19: edges, spacings and sizes of the common grid, with their checks.
bool met_read_common_grid_lines(LabelledLineReader& in, Ornaxcommonblock& common, int& status) {
    if (!in.real(7, 2, common.land_spare_value) || !in.real(7, 2, common.east_lon) ||
        !in.real(7, 2, common.west_lon) || !in.real(7, 2, common.dlon))
        return false;
    if (common.west_lon > common.east_lon) {
        met_screen(" West Longitude is larger than East Longitude");
        status = ornax_status_failure;
    }
    if (!in.real(7, 2, common.north_lat) || !in.real(7, 2, common.south_lat) ||
        !in.real(7, 2, common.dlat))
        return false;
    if (common.south_lat > common.north_lat) {
        met_screen(" South Latitude is larger than North Latitude");
        status = ornax_status_failure;
    }
    if (!in.integer(10, common.ncols) || !in.integer(10, common.nrows) ||
        !in.integer(10, common.nlayers) || !in.integer(10, common.nhours) ||
        !in.real(7, 2, common.undef))
        return false;
    common.nlayers = ornax_common_layer_count;
    const int rows = met_expected_count(common.south_lat, common.north_lat, common.dlat);
    if (common.nrows != rows) {
        met_screen(FreeLine() << "Unmatch row number" << common.nrows
                              << "with input latitude range and resolution");
        met_screen(FreeLine() << rows);
        status = ornax_status_failure;
    }
    const int cols = met_expected_count(common.west_lon, common.east_lon, common.dlon);
    if (common.ncols != cols) {
        met_screen(FreeLine() << "Unmatch col number" << common.ncols
                              << "with input longitude range and resolution");
        met_screen(FreeLine() << cols);
        status = ornax_status_failure;
    }
    return true;
}

// Lines 20 to 38: the model grid's scalars and the forecast-model source.
bool met_read_source_lines(LabelledLineReader& in, const std::string& home,
                           Ornaxcommonblock& common, Ornaxmeteoornax& grid) {
    std::string text;
    if (!in.skip() || !in.text(met_text_width, text)) return false;
    grid.met_dir = met_home_path(home, text);
    if (!in.real(7, 2, grid.end_lon) || !in.real(7, 2, grid.start_lon) ||
        !in.real(7, 2, grid.dlon) || !in.real(7, 2, grid.end_lat) ||
        !in.real(7, 2, grid.start_lat) || !in.real(7, 2, grid.dlat))
        return false;
    if (!in.integer(10, grid.ncols) || !in.integer(10, grid.nrows) ||
        !in.integer(10, grid.nlayers) || !in.integer(10, grid.nhours) || !in.real(7, 2, grid.undef))
        return false;
    if (!in.skip() || !in.integer(10, common.met_flag) || !in.integer(10, common.met_option) ||
        !in.text(met_text_width, common.met_text) || !in.text(met_text_width, text))
        return false;
    common.gfs_land_file = met_home_path(home, text);
    if (!in.text(met_text_width, common.gfs_config_file)) return false;
    common.config_read = 1;
    return true;
}

// Values of the common grid and the model grid that no run can use: spacings and sizes
// must be positive, the model grid's sizes must match its span, the series must hold a
// day. Each problem is written on the screen and gives status 3.
void met_check_grid_values(const std::string& name, const Ornaxcommonblock& common,
                           const Ornaxmeteoornax& grid, int& status) {
    auto problem = [&](const std::string& what) {
        met_screen(" The meteorological configuration file " + name + ": " + what);
        status = ornax_status_failure;
    };
    if (!(common.dlon > 0.0f) || !(common.dlat > 0.0f))
        problem("the forecast-model grid resolution must be positive");
    if (common.nhours < 8) problem("the forecast-model series need at least 8 time steps per day");
    if (!(grid.dlon > 0.0f) || !(grid.dlat > 0.0f))
        problem("the model grid resolution must be positive");
    if (grid.ncols < 1 || grid.nrows < 1) problem("the model grid needs columns and rows");
    if (grid.nlayers < 1 || grid.nlayers > ornax_common_layer_count)
        problem("the model grid layers must lie in 1.." + std::to_string(ornax_common_layer_count));
    if (grid.nhours < 1 || grid.nhours > ornax_hours_per_day)
        problem("the model grid hours must lie in 1.." + std::to_string(ornax_hours_per_day));
    if (grid.dlon > 0.0f &&
        grid.ncols != met_expected_count(grid.start_lon, grid.end_lon, grid.dlon))
        problem("the model grid columns do not match its longitudes and resolution");
    if (grid.dlat > 0.0f &&
        grid.nrows != met_expected_count(grid.start_lat, grid.end_lat, grid.dlat))
        problem("the model grid rows do not match its latitudes and resolution");
}

}  // namespace

void ornax_vesk_read_config(const std::string& file_name, Ornaxcommonblock& common,
                            Ornaxmeteoornax& grid, int& status) {
    common = Ornaxcommonblock{};
    grid = Ornaxmeteoornax{};
    const char* home_value = std::getenv("HOME_DIR");
    const std::string home = trim_right(home_value == nullptr ? "" : home_value);
    const std::string name = trim_right(file_name);
    met_screen(" Read VESK Meteorological configuration.");
    met_screen(FreeLine() << "from " << name);
    status = 0;
    const int unit = ornax_get_next_unit_number();
    std::FILE* stream = ornax_unit_open(unit, name, "r");
    if (stream == nullptr) {
        met_screen(FreeLine() << "Error in opening the input configuration file" << name);
        status = ornax_status_failure;
        ornax_release_unit_number(unit);
        return;
    }
    LabelledLineReader in(stream);
    bool checked = false;
    const bool read_to_end = met_read_land_lines(in, home, common, status, checked) &&
                             met_read_common_grid_lines(in, common, status) &&
                             met_read_source_lines(in, home, common, grid);
    // a stop without a failed check is a missing or unreadable line
    if (!read_to_end && !checked) {
        if (in.ended())
            met_screen(FreeLine() << "The meteorological configuration file " << name
                                  << " ends before line" << in.line_number());
        else
            met_screen(FreeLine() << "Error in reading the meteorological configuration file "
                                  << name << " at line" << in.line_number());
        status = ornax_status_failure;
    }
    if (read_to_end) met_check_grid_values(name, common, grid, status);
    ornax_release_unit_number(unit);
}

void ornax_met_config_grids(const Spatialinfodata& c, const Spatialinfodata& m, int common_hours,
                            float missing, Ornaxcommonblock& common, Ornaxmeteoornax& grid) {
    common.land_spare_value = missing, common.undef = missing;
    common.east_lon = c.east_lon, common.west_lon = c.west_lon, common.dlon = c.dlon;
    common.north_lat = c.north_lat, common.south_lat = c.south_lat, common.dlat = c.dlat;
    common.ncols = c.ncols, common.nrows = c.nrows;
    common.nlayers = ornax_common_layer_count, common.nhours = common_hours;
    grid.end_lon = m.east_lon, grid.start_lon = m.west_lon, grid.dlon = m.dlon;
    grid.end_lat = m.north_lat, grid.start_lat = m.south_lat, grid.dlat = m.dlat;
    grid.ncols = m.ncols, grid.nrows = m.nrows;
    grid.nlayers = ornax_common_layer_count, grid.nhours = ornax_hours_per_day;
    grid.undef = missing;
}

std::vector<std::string> ornax_met_config_lines(const std::string& description,
                                                const Ornaxcommonblock& common,
                                                const Ornaxmeteoornax& grid) {
    auto real = [](float v) { return write_f(v, 7, 2); };
    auto missing = [](float v) { return write_f_fitting(v, 7, 2); };
    auto count = [](int v) { return write_i(v, 10); };
    const std::string separator(30, '-');
    return {labelled_line("Meteorological configuration", description),
            labelled_line("Land option", count(common.land_option)),
            labelled_line("Land index option", count(common.land_index_option)),
            labelled_line("Land subset file", common.land_subset_file),
            separator,
            labelled_line("Forecast data directory", common.met_data_dir),
            labelled_line("UMD land cover file", common.umd_landcover_file),
            labelled_line("Land missing value", missing(common.land_spare_value)),
            labelled_line("East longitude", real(common.east_lon)),
            labelled_line("West longitude", real(common.west_lon)),
            labelled_line("Longitude resolution", real(common.dlon)),
            labelled_line("North latitude", real(common.north_lat)),
            labelled_line("South latitude", real(common.south_lat)),
            labelled_line("Latitude resolution", real(common.dlat)),
            labelled_line("Number of columns", count(common.ncols)),
            labelled_line("Number of rows", count(common.nrows)),
            labelled_line("Number of layers", count(common.nlayers)),
            labelled_line("Time steps per day", count(common.nhours)),
            labelled_line("Missing value", missing(common.undef)),
            separator,
            labelled_line("Model grid directory", grid.met_dir),
            labelled_line("End longitude", real(grid.end_lon)),
            labelled_line("Start longitude", real(grid.start_lon)),
            labelled_line("Longitude resolution", real(grid.dlon)),
            labelled_line("End latitude", real(grid.end_lat)),
            labelled_line("Start latitude", real(grid.start_lat)),
            labelled_line("Latitude resolution", real(grid.dlat)),
            labelled_line("Number of columns", count(grid.ncols)),
            labelled_line("Number of rows", count(grid.nrows)),
            labelled_line("Number of layers", count(grid.nlayers)),
            labelled_line("Number of hours", count(grid.nhours)),
            labelled_line("Missing value", missing(grid.undef)),
            separator,
            labelled_line("Meteorological flag", count(common.met_flag)),
            labelled_line("Meteorological option", count(common.met_option)),
            labelled_line("Meteorological source", common.met_text),
            labelled_line("GFS land mask file", common.gfs_land_file),
            labelled_line("GFS configuration file", common.gfs_config_file)};
}
