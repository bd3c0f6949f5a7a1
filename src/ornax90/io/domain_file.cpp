// Domain description files: the labelled grid lines read into a grid record and checked
// for order and size.
#include "ornax90/ORNAX_io_mod.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "ornax90/ORNAX_log_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

// Reads the value lines of one domain description in order; a missing line or an
// unreadable value is logged with the file name and the line number, and its field keeps
// its value.
class DomainValueReader {
public:
    DomainValueReader(std::FILE* stream, std::string file)
        : reader_(stream), file_(std::move(file)) {}

    bool header() { return reader_.skip(); }
    // f7.2 in columns 31-37: seven characters, two implied decimals without a point; a line
    // ending before column 31 holds a blank field, read as 0.
    void real(float& field) {
        if (!reader_.real(7, 2, field)) report();
    }
    // i10 in columns 31-40, blanks ignored.
    void integer(int& field) {
        if (!reader_.integer(10, field)) report();
    }
    int status() const { return status_; }

private:
    void report() {
        status_ = 3;
        if (!reader_.ended()) {
            ornax_log_failure((FreeLine() << "Domain file " << file_ << " line"
                                          << reader_.line_number() << "holds no readable value")
                                  .str());
        } else if (!end_reported_) {
            ornax_log_failure((FreeLine() << "Domain file " << file_ << " ends before line"
                                          << reader_.line_number())
                                  .str());
            end_reported_ = true;
        }
    }

    LabelledLineReader reader_;
    std::string file_;
    bool end_reported_ = false;
    int status_ = 0;
};

// Bounding box and size checks of a grid; each failed check is logged and gives 3.
int check_domain(const Spatialinfodata& grid, bool check_lon_order, bool check_lat_order) {
    int status = 0;
    if (check_lon_order && grid.west_lon > grid.east_lon) {
        ornax_log_failure("West Longitude " + write_f(grid.west_lon, 10, 2) +
                          "is larger than East Longitude" + write_f(grid.east_lon, 10, 2));
        status = ornax_status_failure;
    }
    if (check_lat_order && grid.south_lat > grid.north_lat) {
        ornax_log_failure("South Latitude" + write_f(grid.south_lat, 10, 2) +
                          "is larger than North Latitude" + write_f(grid.north_lat, 10, 2));
        status = ornax_status_failure;
    }
    return status;
}

// ncols and nrows against the box over the step, in single precision; a difference of
// exactly one cell passes. A zero or non-finite step fails (the quotient is not finite).
int check_domain_size(const Spatialinfodata& grid) {
    int status = 0;
    if (!(grid.dlon > 0.0f) || !(grid.dlat > 0.0f) || grid.ncols < 1 || grid.nrows < 1) {
        ornax_log_msg((FreeLine() << "Grid resolution" << grid.dlon << grid.dlat << "and size"
                                  << grid.ncols << grid.nrows << "must be positive")
                          .str());
        status = ornax_status_failure;
    }
    float span_cols = (grid.east_lon - grid.west_lon) / grid.dlon;
    if (!(std::fabs(static_cast<float>(grid.ncols) - span_cols) <= 1.0f)) {
        ornax_log_failure("Mismatched input col" + write_i(grid.ncols, 6) + " with lon from " +
                          write_f(grid.east_lon, 10, 2) + write_a(" to ", 4) +
                          write_f(grid.west_lon, 10, 2) + " in resolution" +
                          write_f(grid.dlon, 8, 4));
        status = ornax_status_failure;
    }
    float span_rows = (grid.north_lat - grid.south_lat) / grid.dlat;
    if (!(std::fabs(static_cast<float>(grid.nrows) - span_rows) <= 1.0f)) {
        ornax_log_failure("Mismatched input row " + write_i(grid.nrows, 6) + " with lat from " +
                          write_f(grid.south_lat, 10, 2) + write_a(" to ", 4) +
                          write_f(grid.north_lat, 10, 2) + " in resolution!" +
                          write_f(grid.dlat, 8, 4));
        status = ornax_status_failure;
    }
    return status;
}

}  // namespace

void read_domain_info_from_txt(const std::string& file_name, Spatialinfodata& grid, int& status) {
    status = 0;
    std::string name = trim_right(file_name);
    int unit = ornax_get_next_unit_number();
    std::FILE* stream = unit < 0 ? nullptr : ornax_unit_open(unit, name, "r");
    DomainValueReader reader(stream, name);
    // A file without even its header line counts as one that cannot be opened.
    if (stream == nullptr || !reader.header()) {
        ornax_log_failure("Error in opening the input file:" + name);
        status = ornax_status_failure;
        if (unit >= 0) ornax_release_unit_number(unit);
        return;
    }
    reader.real(grid.east_lon);
    reader.real(grid.west_lon);
    reader.real(grid.dlon);
    int box_status = check_domain(grid, true, false);
    reader.real(grid.north_lat);
    reader.real(grid.south_lat);
    reader.real(grid.dlat);
    box_status = std::max(box_status, check_domain(grid, false, true));
    reader.integer(grid.ncols);
    reader.integer(grid.nrows);
    int size_status = check_domain_size(grid);
    reader.integer(grid.nlayers);
    reader.integer(grid.nhours);
    reader.real(grid.spare_value);
    if (grid.nlayers < 0 || grid.nlayers > ornax_max_pbl_levels || grid.nhours < 0 ||
        grid.nhours > ornax_hours_per_day) {
        ornax_log_msg((FreeLine() << "Domain file " << name << " layers" << grid.nlayers
                                  << "and hours" << grid.nhours << "outside 0.."
                                  << ornax_max_pbl_levels << "and 0.." << ornax_hours_per_day)
                          .str());
        status = ornax_status_failure;
    }
    if (box_status != 0 || size_status != 0 || reader.status() != 0) status = ornax_status_failure;
    ornax_release_unit_number(unit);
}

std::string domain_info_text(const std::string& what, const Spatialinfodata& grid) {
    auto real = [](float v) { return write_f(v, 7, 2); };
    auto count = [](int v) { return write_i(v, 10); };
    return join_lines({labelled_line("Domain description", what),
                       labelled_line("East longitude", real(grid.east_lon)),
                       labelled_line("West longitude", real(grid.west_lon)),
                       labelled_line("Longitude resolution", real(grid.dlon)),
                       labelled_line("North latitude", real(grid.north_lat)),
                       labelled_line("South latitude", real(grid.south_lat)),
                       labelled_line("Latitude resolution", real(grid.dlat)),
                       labelled_line("Number of columns", count(grid.ncols)),
                       labelled_line("Number of rows", count(grid.nrows)),
                       labelled_line("Number of layers", count(grid.nlayers)),
                       labelled_line("Number of hours", count(grid.nhours)),
                       labelled_line("Missing value", write_f_fitting(grid.spare_value, 7, 2))});
}
