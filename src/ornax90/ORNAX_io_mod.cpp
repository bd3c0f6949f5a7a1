// Site input file, land-cover class table, site report, domain descriptions and the
// meteorological configuration.
#include "ORNAX_io_mod.hpp"

#include "ORNAX_log_mod.hpp"
#include "fixed_text_mod.hpp"

// ===================================================================================
// Site input file (site work)
// ===================================================================================


// ---- end of site input file ----


// ===================================================================================
// Land cover class table (site work)
// ===================================================================================


// ---- end of land cover class table ----


// ===================================================================================
// Site report (site work)
// ===================================================================================


// ---- end of site report ----


// ===================================================================================
// Domain description (raster work)
// ===================================================================================

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

// Reads the value lines of one domain description in order; a missing line or an
// unreadable value is logged with the file name and the line number.
class DomainLineReader {
public:
    DomainLineReader(std::FILE* stream, std::string file) : stream_(stream), file_(std::move(file)) {}

    // Next line of the file; false at its end.
    bool next_line(std::string& line) {
        line.clear();
        int c = 0;
        bool any = false;
        while ((c = std::fgetc(stream_)) != EOF) {
            any = true;
            if (c == '\n') break;
            line.push_back(static_cast<char>(c));
        }
        if (any) ++line_number_;
        return any;
    }

    // f7.2 in columns 31-37: seven characters, two implied decimals without a point.
    void real(float& field) {
        std::string line;
        if (!value_line(line)) return;
        float value = 0.0f;
        if (read_fixed_real(line, 31, 37, 2, value) == text_field_bad) return unreadable();
        field = value;  // a line ending before column 31 holds a blank field, read as 0
    }

    // i10 in columns 31-40, blanks ignored.
    void integer(int& field) {
        std::string line;
        if (!value_line(line)) return;
        int value = 0;
        if (read_fixed_int(line, 31, 40, value) == text_field_bad) return unreadable();
        field = value;
    }

    int status() const { return status_; }

private:
    bool value_line(std::string& line) {
        if (next_line(line)) return true;
        if (!ended_)
            ornax_log_msg((FreeLine() << "Domain file " << file_ << " ends at line"
                                      << line_number_ << "; values expected up to line" << 12)
                              .str());
        ended_ = true;
        status_ = 3;
        return false;
    }

    void unreadable() {
        ornax_log_msg((FreeLine() << "Domain file " << file_ << " line" << line_number_
                                  << "holds no readable value").str());
        status_ = 3;
    }

    std::FILE* stream_;
    std::string file_;
    int line_number_ = 0;
    bool ended_ = false;
    int status_ = 0;
};

// Bounding box and size checks of a grid; each failed check is logged and gives 3.
int check_domain(const Spatialinfodata& grid, bool check_lon_order, bool check_lat_order) {
    int status = 0;
    if (check_lon_order && grid.west_lon > grid.east_lon) {
        ornax_log_msg("West Longitude " + write_f(grid.west_lon, 10, 2) +
                      "is larger than East Longitude" + write_f(grid.east_lon, 10, 2));
        status = 3;
    }
    if (check_lat_order && grid.south_lat > grid.north_lat) {
        ornax_log_msg("South Latitude" + write_f(grid.south_lat, 10, 2) +
                      "is larger than North Latitude" + write_f(grid.north_lat, 10, 2));
        status = 3;
    }
    return status;
}

// ncols and nrows against the box over the step, in single precision; a difference of
// exactly one cell passes. A zero or non-finite step fails (the quotient is not finite).
int check_domain_size(const Spatialinfodata& grid) {
    int status = 0;
    float span_cols = (grid.east_lon - grid.west_lon) / grid.dlon;
    if (!(std::fabs(static_cast<float>(grid.ncols) - span_cols) <= 1.0f)) {
        ornax_log_msg("Mismatched input col" + write_i(grid.ncols, 6) + " with lon from " +
                      write_f(grid.east_lon, 10, 2) + write_a(" to ", 4) +
                      write_f(grid.west_lon, 10, 2) + " in resolution" + write_f(grid.dlon, 8, 4));
        status = 3;
    }
    float span_rows = (grid.north_lat - grid.south_lat) / grid.dlat;
    if (!(std::fabs(static_cast<float>(grid.nrows) - span_rows) <= 1.0f)) {
        ornax_log_msg("Mismatched input row " + write_i(grid.nrows, 6) + " with lat from " +
                      write_f(grid.south_lat, 10, 2) + write_a(" to ", 4) +
                      write_f(grid.north_lat, 10, 2) + " in resolution!" +
                      write_f(grid.dlat, 8, 4));
        status = 3;
    }
    return status;
}

}  // namespace

void read_domain_info_from_txt(const std::string& file_name, Spatialinfodata& grid, int& status) {
    status = 0;
    std::string name = trim_right(file_name);
    int unit = ornax_get_next_unit_number();
    std::FILE* stream = unit < 0 ? nullptr : ornax_unit_open(unit, name, "r");
    DomainLineReader reader(stream, name);
    std::string header;
    // A file without even its header line counts as one that cannot be opened.
    if (stream == nullptr || !reader.next_line(header)) {
        ornax_log_msg("Error in opening the input file:" + name);
        status = 3;
        ornax_release_unit_number(unit);
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
    if (box_status != 0 || size_status != 0 || reader.status() != 0) status = 3;
    ornax_release_unit_number(unit);
}

// ---- end of domain description ----


// ===================================================================================
// Meteorological configuration (forcing-a work)
// ===================================================================================


// ---- end of meteorological configuration ----

