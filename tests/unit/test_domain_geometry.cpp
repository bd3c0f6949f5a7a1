// Domain descriptions and the geometry of regular latitude/longitude grids.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_region_utl_mod.hpp"
#include "support/raster.hpp"

using raster_test::LogCapture;
using raster_test::ScratchDir;

namespace {

// One line of a domain file: a 30-column label, then the value from column 31.
std::string domain_line(const std::string& label, const std::string& value) {
    std::string line = label;
    line.resize(30, ' ');
    return line + value + "\n";
}

struct DomainText {
    std::string east = "-70.00", west = "-125.00", dlon = "0.25";
    std::string north = "50.00", south = "25.00", dlat = "0.25";
    std::string ncols = "220", nrows = "100", nlayers = "30", nhours = "24", spare = "-999.00";
    int lines = 12;  // lines written

    std::string text() const {
        std::vector<std::string> values = {"test grid", east,  west,  dlon,    north,  south,
                                           dlat,        ncols, nrows, nlayers, nhours, spare};
        std::string out;
        for (int i = 0; i < lines; ++i)
            out +=
                domain_line("Field " + std::to_string(i + 1), values[static_cast<std::size_t>(i)]);
        return out;
    }
};

Spatialinfodata read_domain(const ScratchDir& dir, const DomainText& domain, int& status) {
    std::string path = dir.file("domain.txt");
    raster_test::write_text(path, domain.text());
    Spatialinfodata grid;
    read_domain_info_from_txt(path + "   ", grid, status);
    return grid;
}

Spatialinfodata conus_quarter_degree() {
    Spatialinfodata grid;
    grid.east_lon = -70.0f;
    grid.west_lon = -125.0f;
    grid.dlon = 0.25f;
    grid.north_lat = 50.0f;
    grid.south_lat = 25.0f;
    grid.dlat = 0.25f;
    grid.ncols = 220;
    grid.nrows = 100;
    return grid;
}

}  // namespace

TEST(DomainReader, ConsistentGridPassesAndGivesCellCentres) {
    ScratchDir dir;
    int status = -1;
    Spatialinfodata grid = read_domain(dir, DomainText{}, status);
    EXPECT_EQ(status, 0);
    EXPECT_FLOAT_EQ(grid.east_lon, -70.0f);
    EXPECT_FLOAT_EQ(grid.west_lon, -125.0f);
    EXPECT_EQ(grid.ncols, 220);
    EXPECT_EQ(grid.nrows, 100);
    EXPECT_EQ(grid.nlayers, 30);
    EXPECT_EQ(grid.nhours, 24);
    EXPECT_FLOAT_EQ(grid.spare_value, -999.0f);
    float lon = 0, lat = 0;
    get_lon_lat_by_col_row(grid, 1, 1, lon, lat, status);
    EXPECT_EQ(status, 0);
    EXPECT_FLOAT_EQ(lon, -124.875f);
    EXPECT_FLOAT_EQ(lat, 25.125f);
}

TEST(DomainReader, ColumnCountWithinOneCell) {
    ScratchDir dir;
    LogCapture log(dir);
    DomainText domain;
    int status = -1;
    domain.ncols = "221";
    read_domain(dir, domain, status);
    EXPECT_EQ(status, 0) << "a difference of exactly one cell passes";
    domain.ncols = "222";
    Spatialinfodata grid = read_domain(dir, domain, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(grid.ncols, 222);
    EXPECT_FLOAT_EQ(grid.spare_value, -999.0f) << "reading goes on after a failed check";
    EXPECT_TRUE(log.contains(
        "Mismatched input col   222 with lon from     -70.00 to    -125.00 in resolution  0.2500"));
    domain.ncols = "220";
    domain.nrows = "98";
    read_domain(dir, domain, status);
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(log.contains("Mismatched input row     98 with lat from      25.00 to      50.00 "
                             "in resolution!  0.2500"));
}

TEST(DomainReader, BoxOrderChecksKeepReading) {
    ScratchDir dir;
    LogCapture log(dir);
    DomainText domain;
    domain.west = "-60.00";
    domain.ncols = "-40";  // consistent with the swapped box, so only the order check fails
    int status = 0;
    Spatialinfodata grid = read_domain(dir, domain, status);
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(log.contains("West Longitude     -60.00is larger than East Longitude    -70.00"));
    EXPECT_FLOAT_EQ(grid.spare_value, -999.0f);
    domain = DomainText{};
    domain.south = "55.00";
    domain.nrows = "-20";
    read_domain(dir, domain, status);
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(log.contains("South Latitude     55.00is larger than North Latitude     50.00"));
}

TEST(DomainReader, ImpliedDecimalsAndSevenCharacterField) {
    ScratchDir dir;
    DomainText domain;
    domain.south = "2500";     // no decimal point: two implied decimals
    domain.west = "-124.875";  // cut to "-124.87"
    domain.ncols = "  2 2 0";  // blanks inside an integer field are ignored
    int status = -1;
    Spatialinfodata grid = read_domain(dir, domain, status);
    EXPECT_FLOAT_EQ(grid.south_lat, 25.0f);
    EXPECT_FLOAT_EQ(grid.west_lon, -124.87f);
    EXPECT_EQ(grid.ncols, 220);
    EXPECT_EQ(status, 0);
}

TEST(DomainReader, OpenFailuresAndDamagedFiles) {
    ScratchDir dir;
    LogCapture log(dir);
    Spatialinfodata grid;
    grid.ncols = 7;
    int status = 0;
    read_domain_info_from_txt(dir.file("missing.txt"), grid, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(grid.ncols, 7) << "the grid record stays unchanged";
    EXPECT_TRUE(log.contains("Error in opening the input file:" + dir.file("missing.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.txt")));

    raster_test::write_text(dir.file("empty.txt"), "");
    read_domain_info_from_txt(dir.file("empty.txt"), grid, status);
    EXPECT_EQ(status, 3);

    // A file that ends early no longer passes as a good grid with zero counts.
    DomainText domain;
    domain.lines = 10;
    grid = read_domain(dir, domain, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(grid.nlayers, 30);
    EXPECT_TRUE(log.contains(" ends before line          11"));

    domain = DomainText{};
    domain.spare = "n/a";
    grid = read_domain(dir, domain, status);
    EXPECT_EQ(status, 3);
    EXPECT_FLOAT_EQ(grid.spare_value, 0.0f) << "an unreadable field keeps its value";
    EXPECT_TRUE(log.contains(" line          12 holds no readable value"));
}

TEST(GridGeometry, ColumnOfLongitude) {
    Spatialinfodata grid = conus_quarter_degree();
    int col = 0, status = -1;
    get_col_by_lon(grid, -125.0f, col, status);
    EXPECT_EQ(col, 1);
    EXPECT_EQ(status, 0);
    get_col_by_lon(grid, -125.001f, col, status);
    EXPECT_EQ(col, -9999);
    EXPECT_EQ(status, 3);
    get_col_by_lon(grid, -124.76f, col, status);
    EXPECT_EQ(col, 1);
    get_col_by_lon(grid, -124.75f, col, status);
    EXPECT_EQ(col, 2);
    // On the eastern edge the longitude belongs to the last column, not to column 221.
    get_col_by_lon(grid, -70.0f, col, status);
    EXPECT_EQ(col, 220);
    EXPECT_EQ(status, 0);
    get_col_by_lon(grid, -69.99f, col, status);
    EXPECT_EQ(status, 3);
    // A grid one cell short of its box must not hand out a column past its data.
    grid.ncols = 219;
    get_col_by_lon(grid, -70.0f, col, status);
    EXPECT_EQ(col, -9999);
    EXPECT_EQ(status, 3);
    grid.dlon = 0.0f;
    get_col_by_lon(grid, -100.0f, col, status);
    EXPECT_EQ(status, 3);
}

TEST(GridGeometry, RowsCellsAndPoints) {
    Spatialinfodata grid = conus_quarter_degree();
    int row = 0, col = 0, status = -1;
    get_row_by_lat(grid, 25.125f, row, status);
    EXPECT_EQ(row, 1);
    get_row_by_lat(grid, 50.0f, row, status);
    EXPECT_EQ(row, 100);
    get_col_row_by_lon_lat(grid, -100.1f, 60.0f, col, row, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(col, -9999);
    EXPECT_EQ(row, -9999);
    get_col_row_by_lon_lat(grid, -100.1f, 40.1f, col, row, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(col, 100);
    EXPECT_EQ(row, 61);
    float lon = 0, lat = 0;
    get_lon_by_col(grid, 220, lon, status);
    EXPECT_FLOAT_EQ(lon, -70.125f);
    get_lon_by_col(grid, 221, lon, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(lon, -999.0f);
    get_lon_lat_by_col_row(grid, 5, 0, lon, lat, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(lon, -999.0f);
    EXPECT_EQ(lat, -999.0f);
}

TEST(GridGeometry, OverlapResampleAndBlockMeans) {
    Spatialinfodata input = conus_quarter_degree();
    Spatialinfodata run;
    run.west_lon = -100.0f, run.east_lon = -99.0f, run.dlon = 0.125f, run.ncols = 8;
    run.south_lat = 40.0f, run.north_lat = 40.5f, run.dlat = 0.125f, run.nrows = 4;
    int ncols = 0, nrows = 0, first_col = 0, first_row = 0, status = -1;
    cal_input_domain_boundary(input, run, ncols, nrows, first_col, first_row, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(first_col, 101);
    EXPECT_EQ(ncols, 4);
    EXPECT_EQ(first_row, 61);
    EXPECT_EQ(nrows, 2);
    Spatialinfodata far = run;
    far.west_lon = 10.0f, far.east_lon = 11.0f;
    cal_input_domain_boundary(input, far, ncols, nrows, first_col, first_row, status);
    EXPECT_EQ(status, 3);

    Real2dArray image;
    image.allocate(input.ncols, input.nrows);
    for (int r = 1; r <= input.nrows; ++r)
        for (int c = 1; c <= input.ncols; ++c) image(c, r) = 1000.0f * r + c;
    Real2dArray sampled;
    extract_2d_real_by_domain(input, image, run, -1.0f, sampled, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(sampled(1, 1), 61101.0f);
    EXPECT_EQ(sampled(2, 1), 61101.0f);
    EXPECT_EQ(sampled(3, 1), 61102.0f);
    EXPECT_EQ(sampled(8, 4), 62104.0f);
    Spatialinfodata coarse = run;
    coarse.dlon = 0.75f;
    extract_2d_real_by_domain(input, image, coarse, -1.0f, sampled, status);
    EXPECT_EQ(status, 3);

    Real2dArray small;
    small.allocate(3, 2);
    small.values = {1.0f, 3.0f, -9.0f, 5.0f, -9.0f, -9.0f};
    Real2dArray means;
    cal_mean_matrix(small, 2, 2, -9.0f, means, status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(means.n1, 2);
    EXPECT_FLOAT_EQ(means(1, 1), 3.0f);
    EXPECT_EQ(means(2, 1), -9.0f);
}

TEST(GridGeometry, DaySeriesInterpolationWrapsMidnight) {
    EXPECT_FLOAT_EQ(linear_interp(1.5f, 1.0f, 2.0f, 10.0f, 20.0f), 15.0f);
    EXPECT_EQ(linear_interp(1.5f, 1.0f, 1.0f, 10.0f, 20.0f), 0.0f);
    // Eight three-hourly values at hours 0, 3, ..., 21.
    std::vector<float> series = {0.0f, 3.0f, 6.0f, 9.0f, 12.0f, 15.0f, 18.0f, 21.0f};
    float v1 = 0, v2 = 0;
    std::vector<float> hourly;
    int status = -1;
    get_value_from_3hours(series, -9999.0f, 7.5f, 22.5f, v1, v2, hourly, status);
    EXPECT_EQ(status, 0);
    EXPECT_FLOAT_EQ(v1, 7.5f);
    EXPECT_FLOAT_EQ(v2, 10.5f);  // halfway between 21 at 21 h and 0 at 24 h
    ASSERT_EQ(hourly.size(), 24u);
    EXPECT_FLOAT_EQ(hourly[4], 4.0f);
    series[1] = -9999.0f;  // a fill value is skipped
    get_value_from_3hours(series, -9999.0f, 4.5f, 0.0f, v1, v2, hourly, status);
    EXPECT_FLOAT_EQ(v1, 4.5f);
    EXPECT_FLOAT_EQ(v2, 0.0f);
    std::vector<float> empty(8, -9999.0f);
    get_value_from_3hours(empty, -9999.0f, 4.5f, 0.0f, v1, v2, hourly, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(v1, -9999.0f);
}

TEST(DomainReader, ReferenceDomainsAreConsistent) {
    for (const char* name : {"domain_land.txt", "domain_veg.txt", "domain_snow.txt",
                             "domain_sat.txt", "domain_run.txt"}) {
        Spatialinfodata grid;
        int status = -1;
        read_domain_info_from_txt(std::string(ORNAX_REFERENCE_DIR) + "/region/data/config/" + name,
                                  grid, status);
        EXPECT_EQ(status, 0) << name;
        EXPECT_GT(grid.ncols, 0) << name;
    }
    Spatialinfodata run;
    int status = -1;
    read_domain_info_from_txt(
        std::string(ORNAX_REFERENCE_DIR) + "/region/data/config/domain_run.txt", run, status);
    EXPECT_FLOAT_EQ(run.west_lon, -98.75f);
    EXPECT_EQ(run.ncols, 30);
    EXPECT_EQ(run.nrows, 20);
    EXPECT_FLOAT_EQ(run.spare_value, -999.0f);
}
