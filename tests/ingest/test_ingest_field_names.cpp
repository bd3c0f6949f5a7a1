// The GRIB library's names of a field, kept per kind of field, against the library's own.
#include <eccodes.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ingest/forecast/field_names.hpp"
#include "ingest/forecast/grib_writer.hpp"
#include "support/temp_dir.hpp"

namespace {

using FieldNames = temp_dir_test::TempDirTest;

// Fields that share their parameter codes with another (temperature on pressure levels, at
// 2 m and of the skin; humidity as specific and relative), averages beside instants, and
// one kind at several steps, written in that order.
const std::vector<GribFieldSpec> mixed_fields = {
    {"t", 50000.0, 20190719, 0, 0, 3}, {"t", 85000.0, 20190719, 0, 0, 3},
    {"2t", 0.0, 20190719, 0, 0, 3},    {"skin t", 0.0, 20190719, 0, 0, 3},
    {"2sh", 0.0, 20190719, 0, 0, 3},   {"2r", 0.0, 20190719, 0, 0, 3},
    {"dswrf", 0.0, 20190719, 0, 0, 3}, {"dswrf", 0.0, 20190719, 0, 0, 6},
    {"dlwrf", 0.0, 20190719, 0, 3, 6}, {"gh", 50000.0, 20190719, 0, 0, 3},
    {"orog", 0.0, 20190719, 0, 0, 0},  {"lsm", 0.0, 20190719, 0, 0, 0},
    {"10u", 0.0, 20190719, 0, 0, 3},   {"10v", 0.0, 20190719, 0, 0, 3},
    {"2t", 0.0, 20190720, 1200, 0, 9}, {"t", 50000.0, 20190720, 1200, 0, 9},
};

TEST_F(FieldNames, KeptNamesAreTheLibrarysForEveryField) {
    const GribLatLonGrid grid{4, 3, 50.0, 250.0, 0.25};
    const std::string file = path("mixed.grib2");
    std::FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    for (const GribFieldSpec& spec : mixed_fields) {
        std::string error;
        int status = 3;
        grib_write_field(out, grid, spec, std::vector<double>(12, 280.0), error, status);
        ASSERT_EQ(status, 0) << error;
    }
    std::fclose(out);
    // twice over the file: the second pass takes every name from what the first kept
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        std::FILE* in = std::fopen(file.c_str(), "rb");
        ASSERT_NE(in, nullptr);
        int err = 0;
        std::size_t n = 0;
        std::vector<std::string> seen;
        while (codes_handle* h = codes_handle_new_from_file(nullptr, in, PRODUCT_GRIB, &err)) {
            GribFieldNames kept, direct;
            grib_field_names(h, kept);
            grib_field_names_direct(h, direct);
            codes_handle_delete(h);
            ASSERT_LT(n, mixed_fields.size());
            SCOPED_TRACE(mixed_fields[n].variable);
            EXPECT_FALSE(direct.short_name.empty());
            EXPECT_EQ(kept.short_name, direct.short_name);
            EXPECT_EQ(kept.units, direct.units);
            EXPECT_EQ(kept.param_id, direct.param_id);
            seen.push_back(kept.short_name);
            ++n;
        }
        std::fclose(in);
        EXPECT_EQ(n, mixed_fields.size());
        // the fields sharing parameter codes keep names of their own
        ASSERT_EQ(seen.size(), mixed_fields.size());
        EXPECT_NE(seen[0], seen[2]);
        EXPECT_NE(seen[2], seen[3]);
        EXPECT_NE(seen[4], seen[5]);
        EXPECT_EQ(seen[2], seen[14]);
    }
}

}  // namespace
