// The pixels a region run gives to the core, read without running it: their order and
// places, the lines that cannot be read, and an output folder left without outputs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ornax90/ORNAX_run_mod.hpp"
#include "support/region_run.hpp"

using region_run_test::make_region;
using region_run_test::ScratchDir;

namespace {

// A generated region as the working directory and HOME_DIR, for the life of the object.
class InRegion {
public:
    explicit InRegion(const std::filesystem::path& dir) : saved_(std::filesystem::current_path()) {
        setenv("HOME_DIR", dir.c_str(), 1);
        std::filesystem::current_path(dir);
    }
    ~InRegion() {
        std::filesystem::current_path(saved_);
        unsetenv("HOME_DIR");
    }

private:
    std::filesystem::path saved_;
};

TEST(RegionCorePixels, LinesInTheirOrderColumnsRisingAndLinesOutsideTheGridRefused) {
    ScratchDir dir("core_pixels");
    make_region(dir.path(), 12, 8, 5);
    InRegion here(dir.path());
    Ornaxmessagebuffer messages;
    OrnaxMessageCapture capture(messages);
    Ornaxregionruntype run;
    int status = -1;
    ornax_region_begin(run, "config/region.cfg", 0, 2019, 200, Ornaxregionrole::alone, nullptr,
                       status);
    ASSERT_EQ(status, 0);
    std::vector<Ornaxregionpixeltype> pixels;
    const std::vector<int> lines = {5, 0, 2, 9};  // 0 and 9 lie outside the 8 lines
    ornax_region_core_pixels(run, lines, pixels, status);
    EXPECT_EQ(status, ornax_status_failure);
    ASSERT_FALSE(pixels.empty());
    std::size_t first_of_line_2 = 0;
    for (std::size_t n = 0; n < pixels.size(); ++n) {
        const Ornaxregionpixeltype& p = pixels[n];
        ASSERT_TRUE(p.line == 5 || p.line == 2) << p.line;
        ASSERT_GE(p.column, 1);
        ASSERT_LE(p.column, 12);
        if (p.line == 2 && first_of_line_2 == 0) first_of_line_2 = n;
        if (n > 0 && p.line == pixels[n - 1].line) {
            EXPECT_GT(p.column, pixels[n - 1].column);
        }
        // the record's place is the pixel's: the centre of its run-grid cell
        EXPECT_NEAR(p.input.lat, 34.0f + (p.line - 0.5f) * 0.05f, 1e-4f);
        EXPECT_NEAR(p.input.lon, -100.0f + (p.column - 0.5f) * 0.05f, 1e-4f);
    }
    EXPECT_GT(first_of_line_2, 0u) << "line 5's pixels come first, as the lines were given";
    EXPECT_EQ(pixels.back().line, 2);
    Ornaxregionruntimes times;
    ornax_region_end(run, times, status);
    EXPECT_EQ(times.lines, 0) << "no line ran";
}

TEST(RegionCorePixels, TheDayPublishesNothing) {
    ScratchDir dir("core_pixels_day");
    make_region(dir.path(), 10, 6, 6);
    InRegion here(dir.path());
    Ornaxmessagebuffer messages;
    OrnaxMessageCapture capture(messages);
    std::vector<Ornaxregionpixeltype> pixels;
    int status = -1;
    ornax_region_day_core_pixels("config/region.cfg", 1, 2019, 200, pixels, status);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(pixels.empty());
    const std::filesystem::path output = dir.path() / "output";
    ASSERT_TRUE(std::filesystem::is_directory(output));
    for (const auto& entry : std::filesystem::directory_iterator(output)) {
        EXPECT_EQ(entry.path().filename(), ".ornax-run.lock") << entry.path();
    }
    ornax_region_day_core_pixels("config/no_region.cfg", 1, 2019, 200, pixels, status);
    EXPECT_EQ(status, ornax_status_failure);
    EXPECT_TRUE(pixels.empty());
}

}  // namespace
