// Days of a composite from dated folders: days without a folder, a failed run, a folder
// without outputs, a raster of the wrong size and a record of another day are skipped
// with the day named; a day on another grid refuses the whole composite, naming it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "composite/days.hpp"
#include "support/composite.hpp"

namespace {

using namespace composite_test;

constexpr int nc = 4, nr = 3;
const std::vector<float> ones(nc*nr, 1.0f), zeros(nc*nr, 0.0f);

void good_day(const fs::path& root, int doy) {
    write_day(root / ("2019" + std::to_string(doy)), 2019, doy, nc, nr, ones, ones, zeros);
}

TEST(CompositeDays, BadDaysAreSkippedWithTheirReason) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> spoil;  // spoils day 2019202
        std::string why;                             // a piece of the reason
    };
    const Case cases[] = {
        {"no folder", [](const fs::path& d) { fs::remove_all(d); }, "no folder 2019202"},
        {"failed run",
         [](const fs::path& d) { write_day(d, 2019, 202, nc, nr, ones, ones, zeros, 3); },
         "records a failed run (exit status 3)"},
        {"no run record", [](const fs::path& d) { fs::remove(d / "run_info.json"); },
         "no run_info.json"},
        {"record of another day",
         [](const fs::path& d) { write_day(d, 2019, 205, nc, nr, ones, ones, zeros); },
         "record of day 2019205"},
        {"folder without outputs", [](const fs::path& d) { fs::remove(d / "EREFDAY.bin"); },
         "no EREFDAY.bin"},
        {"raster of the wrong size",
         [](const fs::path& d) { write_floats(d / "EDAY.bin", std::vector<float>(5, 1.0f)); },
         "holds 20 bytes, not 48"},
        {"record not JSON", [](const fs::path& d) { std::ofstream(d / "run_info.json") << "{ x"; },
         "cannot be read"},
    };
    for (const Case& c : cases) {
        Scratch dir("days");
        for (int doy = 200; doy <= 204; ++doy) good_day(dir.path(), doy);
        c.spoil(dir.path() / "2019202");
        std::vector<Ornaxcompositedaytype> days;
        std::string why;
        int status = -1;
        ornax_composite_find_days(dir.path().string(), 0, 0, days, why, status);
        ASSERT_EQ(status, 0) << c.name << ": " << why;
        ASSERT_EQ(days.size(), 5u) << c.name;  // the range goes on over the missing day
        Ornaxcompositegridtype grid;
        ornax_composite_check_days(days, grid, why, status);
        ASSERT_EQ(status, 0) << c.name << ": " << why;
        for (std::size_t k = 0; k < days.size(); ++k)
            EXPECT_EQ(days[k].usable, k != 2) << c.name << ", day " << k;
        EXPECT_NE(days[2].why.find(c.why), std::string::npos) << c.name << ": " << days[2].why;
        EXPECT_EQ(grid.grid.ncols, nc);
    }
}

TEST(CompositeDays, AnotherGridIsRefusedNamingTheDay) {
    struct Case {
        const char* name;
        int ncols;
        double west;
    };
    const Case cases[] = {{"other size", nc + 1, -100.0}, {"shifted", nc, -99.0}};
    for (const Case& c : cases) {
        Scratch dir("grids");
        for (int doy = 200; doy <= 202; ++doy) good_day(dir.path(), doy);
        const std::vector<float> other(static_cast<size_t>(c.ncols * nr), 1.0f);
        write_day(dir.path() / "2019203", 2019, 203, c.ncols, nr, other, other,
                  std::vector<float>(other.size(), 0.0f), 0, c.west);
        std::vector<Ornaxcompositedaytype> days;
        std::string why;
        int status = -1;
        ornax_composite_find_days(dir.path().string(), 0, 0, days, why, status);
        ASSERT_EQ(status, 0);
        Ornaxcompositegridtype grid;
        ornax_composite_check_days(days, grid, why, status);
        EXPECT_EQ(status, 3) << c.name;
        EXPECT_NE(why.find("day 2019203"), std::string::npos) << c.name << ": " << why;
    }
}

TEST(CompositeDays, RangesAndEmptyFolders) {
    Scratch dir("ranges");
    for (int doy : {364, 365})
        write_day(dir.path() / ("2019" + std::to_string(doy)), 2019, doy, nc, nr, ones, ones,
                  zeros);
    write_day(dir.path() / "2020002", 2020, 2, nc, nr, ones, ones, zeros);
    fs::create_directories(dir.path() / "notaday");
    fs::create_directories(dir.path() / "2019366");  // not a day of 2019
    struct Case {
        const char* name;
        int first, last, status;
        std::size_t days;
    };
    const Case cases[] = {
        {"from the folders, across the year end", 0, 0, 0, 4},
        {"a given range wider than the folders", 2019360, 2020005, 0, 11},
        {"last before first", 2020002, 2019364, 3, 0},
        {"not a day", 2019400, 2020002, 3, 0},
    };
    for (const Case& c : cases) {
        std::vector<Ornaxcompositedaytype> days;
        std::string why;
        int status = -1;
        ornax_composite_find_days(dir.path().string(), c.first, c.last, days, why, status);
        EXPECT_EQ(status, c.status) << c.name << ": " << why;
        EXPECT_EQ(days.size(), c.days) << c.name;
    }
    Scratch empty("empty");
    std::vector<Ornaxcompositedaytype> days;
    std::string why;
    int status = -1;
    ornax_composite_find_days(empty.path().string(), 0, 0, days, why, status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(why.find("no dated day folder"), std::string::npos) << why;
    ornax_composite_find_days((empty.path() / "absent").string(), 0, 0, days, why, status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(why.find("cannot list"), std::string::npos) << why;
}

}  // namespace
