// Catalogue of broken inputs: each row breaks one file of the reference site or region and
// states the exit status and either the quality flag of a sample pixel or a message that
// must name the problem. No broken input may leave a computed (QC 0) pixel behind; one that
// leaves no pixel computed publishes nothing (the rows of a missing forecast-model raster).
#include <cmath>
#include <limits>

#include "support/region_run.hpp"

namespace {

using namespace region_run_test;

constexpr float nan_value = std::numeric_limits<float>::quiet_NaN();
constexpr int sample_col = 25, sample_line = 4;  // computed (QC 0) in the clean reference run

enum class Edit {
    field,      // text written over columns first.. of line `at`
    truncate,   // the file loses `at` bytes (a negative `at` appends bytes)
    remove,     // the file is deleted
    pixel,      // raster value at the sample pixel
    fill,       // every raster value
    zero_cache  // a first run builds the sunrise cache, which is then overwritten by zeros
};

struct BadInput {
    const char* what;
    bool region;       // a region run, else the reference site "savanna.dat"
    const char* file;  // relative to the data set
    Edit edit;
    int at;            // line (field) or byte count (truncate)
    int column;        // first column (field)
    const char* text;  // new text (field)
    float value;       // pixel / fill value
    int exit_status;
    int qc;               // expected quality flag of the sample pixel, -1: not checked
    const char* message;  // expected in the log or on the screen, "" for none
};

const char* const cfg = "config/met.cfg";
const char* const lc = "static/landcover.bin";
const char* const lai = "veg/2019200/lai.bin";
const char* const sat1 = "lst/2019200/trad1.bin";

const BadInput catalogue[] = {
    // site file
    {"surface temperature -500 C", false, "savanna.dat", Edit::field, 15, 32, "  -500.000", 0, 3,
     -1, "trad1 = -500"},
    {"surface temperature 5000 C", false, "savanna.dat", Edit::field, 15, 42, "  5000.000", 0, 3,
     -1, "trad2 = 5000"},
    {"latitude 95", false, "savanna.dat", Edit::field, 10, 42, "    95.000", 0, 3, -1, "lat = 95"},
    {"year 0", false, "savanna.dat", Edit::field, 11, 32, "         0", 0, 3, -1, "year = 0"},
    {"day 0", false, "savanna.dat", Edit::field, 11, 42, "         0", 0, 3, -1, "doy = 0"},
    {"day 366 of a common year", false, "savanna.dat", Edit::field, 11, 42, "       366", 0, 3, -1,
     "doy = 366"},
    {"swapped observation times", false, "savanna.dat", Edit::field, 14, 32, "    12.000", 0, 3, -1,
     "tloc2 = "},
    {"observation time 30 h", false, "savanna.dat", Edit::field, 14, 42, "    30.000", 0, 3, -1,
     "tloc2 = 30"},
    {"LAI -5", false, "savanna.dat", Edit::field, 12, 32, "    -5.000", 0, 3, -1, "xlai = -5"},
    {"insolation -500", false, "savanna.dat", Edit::field, 16, 32, "  -500.000", 0, 3, -1,
     "sdn1 = -500"},
    {"wind -3", false, "savanna.dat", Edit::field, 18, 32, "    -3.000", 0, 3, -1, "wind1 = -3"},
    {"pressure 0", false, "savanna.dat", Edit::field, 20, 42, "     0.000", 0, 3, -1, "pres2 = 0"},
    {"air temperature 150 C", false, "savanna.dat", Edit::field, 19, 32, "   150.000", 0, 3, -1,
     "taobs1 = 150"},
    {"leaf size 0", false, "savanna.dat", Edit::field, 6, 32, "     0.000", 0, 3, -1, "xl = 0"},
    {"file cut 3 bytes short", false, "savanna.dat", Edit::truncate, 3, 0, "", 0, 3, -1,
     "ends inside columns 66-77"},
    {"file cut in half", false, "savanna.dat", Edit::truncate, 2000, 0, "", 0, 3, -1,
     "Error in the input file"},
    {"field not a number", false, "savanna.dat", Edit::field, 17, 32, "     3x.00", 0, 3, -1,
     "do not hold a number"},
    {"blank field", false, "savanna.dat", Edit::field, 17, 42, "          ", 0, 3, -1, "are blank"},
    {"50 sounding levels", false, "savanna.dat", Edit::field, 22, 32, "        50", 0, 3, -1,
     "outside 0..41"},
    {"site file missing", false, "savanna.dat", Edit::remove, 0, 0, "", 0, 3, -1,
     "Error in opening the input file:"},
    // class table (site run)
    {"class count 25", false, "landcover.txt", Edit::field, 1, 24, "  25", 0, 3, -1,
     "outside 0..20"},
    {"class leaf size 0", false, "landcover.txt", Edit::field, 4, 76, "    0.00", 0, 3, -1,
     "xl = 0"},
    {"class hmax below hmin", false, "landcover.txt", Edit::field, 4, 68, "    0.01", 0, 3, -1,
     "hmax = "},
    {"class leaf value 1.5", false, "landcover.txt", Edit::field, 5, 4, "    1.50", 0, 3, -1,
     "aleafv = 1.5"},
    {"class fcmin 2", false, "landcover.txt", Edit::field, 6, 100, "    2.00", 0, 3, -1,
     "fcmin = 2"},
    {"class table cut short", false, "landcover.txt", Edit::truncate, 500, 0, "", 0, 3, -1,
     "Error in the input file"},
    {"class field not a number", false, "landcover.txt", Edit::field, 7, 12, "    x.30", 0, 3, -1,
     "do not hold a number"},
    // domain files
    {"missing value line blank", true, "config/domain_run.txt", Edit::field, 12, 31, "       ", 0,
     3, -1, "holds no readable value"},
    {"rows not a number", true, "config/domain_veg.txt", Edit::field, 9, 31, "       x20", 0, 3, -1,
     "holds no readable value"},
    {"resolution 0", true, "config/domain_snow.txt", Edit::field, 4, 31, "   0.00", 0, 3, -1,
     "must be positive"},
    {"land grid one column short", true, "config/domain_land.txt", Edit::field, 8, 31, "        29",
     0, 3, -1, "landcover.bin holds"},
    {"satellite grid one column short", true, "config/domain_sat.txt", Edit::field, 8, 31,
     "        29", 0, 3, -1, "trad1.bin holds"},
    {"30 hours", true, "config/domain_sat.txt", Edit::field, 11, 31, "        30", 0, 3, -1,
     "and hours"},
    // meteorological configuration
    {"model grid resolution 0", true, cfg, Edit::field, 24, 31, "   0.00", 0, 3, -1,
     "model grid resolution must be positive"},
    {"model grid 0 hours", true, cfg, Edit::field, 31, 31, "         0", 0, 3, -1,
     "model grid hours must lie"},
    {"model grid columns off its span", true, cfg, Edit::field, 28, 31, "        32", 0, 3, -1,
     "model grid columns do not match"},
    {"forecast fill value blank", true, cfg, Edit::field, 19, 31, "       ", 0, 3, -1,
     "at line          19"},
    {"4 forecast steps a day", true, cfg, Edit::field, 18, 31, "         4", 0, 3, -1,
     "at least 8 time steps"},
    // output list
    {"list shorter than announced", true, "config/outlist.txt", Edit::field, 1, 31, "        20", 0,
     3, -1, "announces"},
    {"unknown variable", true, "config/outlist.txt", Edit::field, 2, 1, "EDAYX     1", 0, 3, -1,
     "Unknown var name EDAYX"},
    // rasters
    {"humidity of the day missing", true, "met/2019200/q2_series.bin", Edit::remove, 0, 0, "", 0, 3,
     -1, "q2_series.bin row"},
    {"pressure of the next day missing", true, "met/2019201/psfc_series.bin", Edit::remove, 0, 0,
     "", 0, 3, -1, "psfc_series.bin row"},
    {"profile missing", true, "met/2019200/pot_profile.bin", Edit::remove, 0, 0, "", 0, 3, -1,
     "pot_profile.bin row"},
    {"wind 4 bytes short", true, "met/2019200/wind_surface.bin", Edit::truncate, 4, 0, "", 0, 3, -1,
     "wind_surface.bin holds"},
    {"land cover 4 bytes long", true, lc, Edit::truncate, -4, 0, "", 0, 3, -1,
     "landcover.bin holds"},
    {"LAI raster missing", true, lai, Edit::remove, 0, 0, "", 0, 3, -1, "lai.bin not exist."},
    {"zero-filled sunrise cache", true, "met/2019200/rise15MET", Edit::zero_cache, 0, 0, "", 0, 0,
     0, "computed again"},
    {"surface temperature 100 K", true, sat1, Edit::pixel, 0, 0, "", 100.0f, 0, 77, ""},
    {"surface temperature 600 K", true, "lst/2019200/trad2.bin", Edit::pixel, 0, 0, "", 600.0f, 0,
     77, ""},
    {"surface temperature NaN", true, sat1, Edit::pixel, 0, 0, "", nan_value, 0, 77, ""},
    {"observation time 30 h", true, "goes/2019200/tloc2.bin", Edit::pixel, 0, 0, "", 30.0f, 0, 77,
     ""},
    {"view angle 95", true, "static/theta.bin", Edit::pixel, 0, 0, "", 95.0f, 0, 77, ""},
    {"insolation -500", true, "insol/sdn1_2011200.dat", Edit::pixel, 0, 0, "", -500.0f, 0, 77, ""},
    {"LAI -5", true, lai, Edit::pixel, 0, 0, "", -5.0f, 0, 33, ""},
    {"LAI the vegetation missing value", true, lai, Edit::pixel, 0, 0, "", -9999.0f, 0, 33, ""},
    {"LAI Inf", true, lai, Edit::pixel, 0, 0, "", std::numeric_limits<float>::infinity(), 0, 33,
     ""},
    {"leaf size 0", true, "static/xl.bin", Edit::pixel, 0, 0, "", 0.0f, 0, 3, ""},
    {"leaf value NaN", true, "static/aleafv.bin", Edit::pixel, 0, 0, "", nan_value, 0, 3, ""},
    {"land cover NaN everywhere", true, lc, Edit::fill, 0, 0, "", nan_value, 3, -1,
     "landcover.bin holds only its grid's missing value"},
    {"snow mask NaN", true, "snow/2019200/snow_mask.bin", Edit::pixel, 0, 0, "", nan_value, 0, 3,
     ""},
};

void PrintTo(const BadInput& row, std::ostream* os) {
    *os << row.what;
}

void edit_text(const fs::path& file, int line_number, int column, const std::string& text) {
    std::stringstream in(read_text(file));
    std::string out, line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (n == line_number) {
            if (line.size() < column - 1 + text.size()) line.resize(column - 1 + text.size(), ' ');
            line.replace(static_cast<std::size_t>(column - 1), text.size(), text);
        }
        out += line + "\n";
    }
    std::ofstream(file, std::ios::binary) << out;
}

void apply(const BadInput& row, const fs::path& data) {
    const fs::path file = data / row.file;
    if (row.edit == Edit::field) {
        edit_text(file, row.at, row.column, row.text);
    } else if (row.edit == Edit::truncate) {
        const auto size = static_cast<std::intmax_t>(fs::file_size(file));
        if (row.at < 0)
            std::ofstream(file, std::ios::app | std::ios::binary) << std::string(-row.at, '\0');
        else
            fs::resize_file(file,
                            static_cast<std::uintmax_t>(std::max<std::intmax_t>(size - row.at, 0)));
    } else if (row.edit == Edit::remove) {
        fs::remove(file);
    } else if (row.edit == Edit::zero_cache) {
        ASSERT_EQ(run_ornax(data, "-r0 config/region.cfg 2019 200"), 0);
        write_floats(file, std::vector<float>(read_floats(file).size(), 0.0f));
    } else {
        std::vector<float> values = read_floats(file);
        if (row.edit == Edit::fill)
            std::fill(values.begin(), values.end(), row.value);
        else
            values[static_cast<std::size_t>((sample_line - 1) * 30 + sample_col - 1)] = row.value;
        write_floats(file, values);
    }
}

class BadInputCatalogue : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputCatalogue, IsRefusedOrFlagged) {
    const BadInput& row = GetParam();
    ScratchDir dir("catalogue");
    const fs::path data = dir.path() / "data";
    fs::copy(std::string(ORNAX_REFERENCE_DIR) + (row.region ? "/region/data" : "/site"), data,
             fs::copy_options::recursive);
    fs::remove_all(data / "output");
    fs::create_directories(data / "output");
    apply(row, data);
    const int status = run_ornax(data, row.region ? "-r0 config/region.cfg 2019 200"
                                                  : "-s savanna.dat -l landcover.txt");
    EXPECT_EQ(status, row.exit_status);
    const std::string said = log_text(data) + read_text(data / "run.out");
    if (*row.message) {
        EXPECT_NE(said.find(row.message), std::string::npos) << said;
    }
    if (row.qc >= 0) {
        const std::vector<float> qc = read_floats(data / "output" / "region_qc.bin");
        ASSERT_EQ(qc.size(), 600u);
        EXPECT_EQ(qc[(sample_line - 1) * 30 + sample_col - 1], static_cast<float>(row.qc));
    }
    if (!row.region) {
        EXPECT_EQ(said.find("ORNAX finish successfully"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, BadInputCatalogue, ::testing::ValuesIn(catalogue),
                         [](const ::testing::TestParamInfo<BadInput>& info) {
                             std::string name = std::to_string(info.index) + "_" + info.param.what;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
