// Fixed-column reading and Fortran-style writing.
#include <gtest/gtest.h>

#include "fixed_text_mod.hpp"

TEST(FixedText, ImpliedDecimalsAndPoint) {
    float v = 0;
    EXPECT_EQ(read_fixed_real("   1234", 1, 7, 2, v), text_field_ok);
    EXPECT_FLOAT_EQ(v, 12.34f);
    EXPECT_EQ(read_fixed_real("  12.5 ", 1, 7, 2, v), text_field_ok);
    EXPECT_FLOAT_EQ(v, 12.5f);
    EXPECT_EQ(read_fixed_real(" 1.5E+02  ", 1, 10, 5, v), text_field_ok);
    EXPECT_FLOAT_EQ(v, 150.0f);
    EXPECT_EQ(read_fixed_real("  abc  ", 1, 7, 2, v), text_field_bad);
    EXPECT_EQ(read_fixed_real("12", 5, 11, 2, v), text_field_short);
}

TEST(FixedText, FortranFields) {
    EXPECT_EQ(write_f(12.3456, 10, 3), "    12.346");
    EXPECT_EQ(write_f(1.0e9, 10, 3), "**********");
    EXPECT_EQ(write_i(42, 5), "   42");
    EXPECT_EQ(write_a("ab", 4), "  ab");
    EXPECT_EQ(write_a("abcdef", 4), "abcd");
    FreeLine line;
    line << "n =" << 5 << "done";
    EXPECT_EQ(line.str(), " n =           5 done");
}
