// Corrupt sources derived at test time from the real samples (cut short, bytes changed
// at fixed places, a broken metadata tag) and a library without its data: each conversion
// ends with exit 3 and a refusal naming the file, never a crash and never exit 0 with
// values the file does not hold; the unchanged sample still converts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "support/ingest_land.hpp"
#include "support/shell.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using land_test::real_sample;
using shell_test::shell_status;

using Bytes = std::vector<char>;

const char* const cmi =
    "goes/OR_ABI-L2-CMIPM1-M6C04_G16_s20211451811238_e20211451811295_c20211451811353_CMI.tif";
const char* const lai = "modis/MCD15A2.A2002185.h00v08.005.2007172150237.hdf";
const char* const lst =
    "goes/OR_ABI-L2-LSTM2-M6_G16_s20211381700538_e20211381700595_c20211381701211.nc";

// Where a text first stands in the bytes (npos when absent).
std::size_t find(const Bytes& b, const std::string& text) {
    const std::string all(b.begin(), b.end());
    return all.find(text);
}

struct CorruptCase {
    const char* name;
    const char* sample;
    const char* source;  // GDAL name of the derived file, %s standing for its path
    std::function<bool(Bytes&)> mutate;
    const char* message;  // empty: converted (exit 0)
};

class CorruptSource : public temp_dir_test::TempDirTest,
                      public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(CorruptSource, RefusedNamingTheFile) {
    const CorruptCase& c = GetParam();
    const std::string sample = real_sample(c.sample);
    if (sample.empty()) GTEST_SKIP() << "real sample absent";
    std::ifstream in(sample, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_TRUE(c.mutate(bytes)) << "the sample does not hold what the mutation changes";
    const std::string file = path(std::string(c.name) + fs::path(sample).extension().string());
    std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    std::string source = c.source;
    source.replace(source.find("%s"), 2, file);
    const std::string out = path("out.bin");
    const int code =
        shell_status(std::string("'") + ORNAX_INGEST_EXE + "' --log '" + path("l.log") +
                     "' raster --grid -99,-97,33,35,0.05 --out '" + out + "' --allow-partial '" +
                     source + "' 2> '" + path("err.txt") + "'");
    std::ifstream err_in(path("err.txt"));
    const std::string err((std::istreambuf_iterator<char>(err_in)), {});
    if (*c.message == '\0') {
        EXPECT_EQ(code, 0) << err;
        return;
    }
    EXPECT_EQ(code, 3) << err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_NE(err.find(file), std::string::npos) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
}

const CorruptCase corrupt_cases[] = {
    {"unchanged", cmi, "%s", [](Bytes&) { return true; }, ""},
    // the scale lives in GDAL's metadata tag: a broken tag must not give raw counts
    {"scale_tag_broken", cmi, "%s",
     [](Bytes& b) {
         const std::size_t at = find(b, "<GDALMetadata>");
         if (at == std::string::npos) return false;
         b[at + 1] = '#';
         return true;
     },
     "GDAL reported an error reading it"},
    {"scale_tag_cut", cmi, "%s",
     [](Bytes& b) {
         const std::size_t at = find(b, "</GDALMetadata>");
         if (at == std::string::npos) return false;
         for (std::size_t k = at; k < at + 15; ++k) b[k] = ' ';
         return true;
     },
     "GDAL reported an error reading it"},
    {"tiles_cut_short", cmi, "%s",
     [](Bytes& b) {
         b.resize(b.size() * 6 / 10);
         return true;
     },
     "TIFFReadEncodedTile() failed"},
    {"hdf4_cut_short", lai, "HDF4_EOS:EOS_GRID:\"%s\":MOD_Grid_MOD15A2:Lai_1km",
     [](Bytes& b) {
         b.resize(b.size() / 2);
         return true;
     },
     "GDAL"},
    {"hdf4_header_changed", lai, "HDF4_EOS:EOS_GRID:\"%s\":MOD_Grid_MOD15A2:Lai_1km",
     [](Bytes& b) {
         for (std::size_t k = 0; k < 4; ++k) b[k] = static_cast<char>(b[k] ^ 0x5a);
         return true;
     },
     "GDAL"},
    {"netcdf_cut_short", lst, "NETCDF:\"%s\":LST",
     [](Bytes& b) {
         b.resize(b.size() / 3);
         return true;
     },
     "GDAL"},
};

void PrintTo(const CorruptCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, CorruptSource, ::testing::ValuesIn(corrupt_cases),
                         [](const ::testing::TestParamInfo<CorruptCase>& info) {
                             return std::string(info.param.name);
                         });

// A memory limit too small for the reading: refused naming the file, whichever allocation
// of GDAL or of its warper's threads fails, never a partial raster written as complete.
class TightMemory : public temp_dir_test::TempDirTest {};

TEST_F(TightMemory, ReadingRefusedNamingTheFile) {
    const std::string sample = real_sample(cmi);
    if (sample.empty()) GTEST_SKIP() << "real sample absent";
    const std::string out = path("out.bin");
    const int code =
        shell_status(std::string("'") + ORNAX_INGEST_EXE + "' --decode-memory 20 --log '" +
                     path("l.log") + "' raster --grid -99,-97,33,35,0.005 --out '" + out + "' '" +
                     sample + "' 2> '" + path("err.txt") + "'");
    std::ifstream err_in(path("err.txt"));
    const std::string err((std::istreambuf_iterator<char>(err_in)), {});
    EXPECT_EQ(code, 3) << err;
    EXPECT_NE(err.find("ornax_ingest: " + sample), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(out));
}

// Without PROJ's database no coordinate system can be made: the example's GeoTIFFs are
// refused instead of written without one.
class WithoutProjDatabase : public temp_dir_test::TempDirTest {};

TEST_F(WithoutProjDatabase, ExampleSourcesRefused) {
    const std::string out = path("sources");
    const int code = shell_status(
        "PROJ_DATA=/nonexistent PROJ_LIB=/nonexistent '" + std::string(ORNAX_TOOLS_DIR) +
        "/ornax_make_region_sources' -o '" + out + "' > /dev/null 2> '" + path("err.txt") + "'");
    std::ifstream err_in(path("err.txt"));
    const std::string err((std::istreambuf_iterator<char>(err_in)), {});
    EXPECT_EQ(code, 3) << err;
    EXPECT_NE(err.find("no coordinate system EPSG:4326 could be made"), std::string::npos) << err;
    EXPECT_NE(err.find(".tif"), std::string::npos) << err;
    for (const char* name : {"lai_8day.tif", "landcover.tif", "snow.tif", "rs_correction.tif"})
        EXPECT_FALSE(fs::exists(fs::path(out) / name)) << name;
}

// ... and a raster conversion is refused naming the source and PROJ's complaint, rather
// than written from a source whose coordinate system could not be read.
TEST_F(WithoutProjDatabase, RasterConversionRefused) {
    const std::string sample = real_sample(cmi);
    if (sample.empty()) GTEST_SKIP() << "real sample absent";
    const std::string out = path("out.bin");
    const int code = shell_status("PROJ_DATA=/nonexistent PROJ_LIB=/nonexistent '" +
                                  std::string(ORNAX_INGEST_EXE) + "' --log '" + path("l.log") +
                                  "' raster --grid -99,-97,33,35,0.05 --out '" + out + "' '" +
                                  sample + "' 2> '" + path("err.txt") + "'");
    std::ifstream err_in(path("err.txt"));
    const std::string err((std::istreambuf_iterator<char>(err_in)), {});
    EXPECT_EQ(code, 3) << err;
    EXPECT_NE(err.find(sample + ": GDAL reported an error reading it: PROJ"), std::string::npos)
        << err;
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
