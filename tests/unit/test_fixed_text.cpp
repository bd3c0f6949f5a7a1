// Fixed-column reading and Fortran-style writing: the toolkit under every text file and
// every report of the system.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "utils/fixed_text.hpp"

namespace {

float real_of(std::string_view line, int first, int last, int decimals, int expected_status) {
    float value = -1.0f;
    EXPECT_EQ(read_fixed_real(line, first, last, decimals, value), expected_status)
        << "field [" << line << "] " << first << ".." << last;
    return value;
}

}  // namespace

TEST(FixedTextRead, ImpliedDecimalsApplyOnlyWithoutPointOrExponentDigits) {
    EXPECT_FLOAT_EQ(real_of("   1234", 1, 7, 2, text_field_ok), 12.34f);
    EXPECT_FLOAT_EQ(real_of("  -1234", 1, 7, 2, text_field_ok), -12.34f);
    EXPECT_FLOAT_EQ(real_of("     12", 1, 7, 3, text_field_ok), 0.012f);
    EXPECT_FLOAT_EQ(real_of("  12.5 ", 1, 7, 2, text_field_ok), 12.5f);
    EXPECT_FLOAT_EQ(real_of("   -.5 ", 1, 7, 2, text_field_ok), -0.5f);
    EXPECT_FLOAT_EQ(real_of("   12. ", 1, 7, 2, text_field_ok), 12.0f);
    EXPECT_FLOAT_EQ(real_of("    +7.", 1, 7, 2, text_field_ok), 7.0f);
    // Implied decimals still apply to the mantissa of an exponent form without a point.
    EXPECT_FLOAT_EQ(real_of(" 15E2  ", 1, 7, 2, text_field_ok), 15.0f);
    EXPECT_FLOAT_EQ(real_of(" 12345E+03", 1, 10, 5, text_field_ok), 123.45f);
    EXPECT_FLOAT_EQ(real_of("     12345", 1, 10, 5, text_field_ok), 0.12345f);
    // Blanks inside a numeric field are ignored.
    EXPECT_FLOAT_EQ(real_of("1 2 . 5", 1, 7, 2, text_field_ok), 12.5f);
    // An all-blank field reads zero.
    EXPECT_FLOAT_EQ(real_of("       ", 1, 7, 2, text_field_ok), 0.0f);
}

TEST(FixedTextRead, ExponentForms) {
    EXPECT_FLOAT_EQ(real_of(" 0.12345E+03", 1, 12, 3, text_field_ok), 123.45f);
    EXPECT_FLOAT_EQ(real_of("-0.123E-01", 1, 10, 5, text_field_ok), -0.0123f);
    EXPECT_FLOAT_EQ(real_of("  1.5e+02 ", 1, 10, 5, text_field_ok), 150.0f);
    EXPECT_FLOAT_EQ(real_of("  2.5D1   ", 1, 10, 5, text_field_ok), 25.0f);
    EXPECT_FLOAT_EQ(real_of("  .125E1  ", 1, 10, 5, text_field_ok), 1.25f);
    // A signed exponent may follow the digits without its letter.
    EXPECT_FLOAT_EQ(real_of(" 1.5-3 ", 1, 7, 2, text_field_ok), 0.0015f);
    EXPECT_FLOAT_EQ(real_of(" 1.5+3 ", 1, 7, 2, text_field_ok), 1500.0f);
    EXPECT_FLOAT_EQ(real_of("0.1234+100", 1, 10, 4, text_field_bad), 0.0f);  // beyond a real
}

TEST(FixedTextRead, ColumnsSelectTheField) {
    // "(30x, f7.2)": a label in columns 1-30 is skipped.
    std::string line = "Leaf area index (LAI)        x" + std::string("   2.75") + "trailing";
    EXPECT_FLOAT_EQ(real_of(line, 31, 37, 2, text_field_ok), 2.75f);
    int value = 0;
    EXPECT_EQ(read_fixed_int("label    12345678", 10, 12, value), text_field_ok);
    EXPECT_EQ(value, 123);
    // A line that ends inside the field reads as if padded with blanks.
    EXPECT_EQ(read_fixed_int("abc 42", 4, 10, value), text_field_ok);
    EXPECT_EQ(value, 42);
    EXPECT_FLOAT_EQ(real_of("xx125", 3, 9, 2, text_field_ok), 1.25f);
    // A carriage return at the end of a line is not part of the value.
    EXPECT_FLOAT_EQ(real_of("  12.5\r", 1, 7, 2, text_field_ok), 12.5f);
}

TEST(FixedTextRead, IntegersIgnoreBlanksAndTakeSigns) {
    int value = -1;
    EXPECT_EQ(read_fixed_int(" 1 2 3 ", 1, 7, value), text_field_ok);
    EXPECT_EQ(value, 123);
    EXPECT_EQ(read_fixed_int(" -12   ", 1, 7, value), text_field_ok);
    EXPECT_EQ(value, -12);
    EXPECT_EQ(read_fixed_int("  +45", 1, 5, value), text_field_ok);
    EXPECT_EQ(value, 45);
    EXPECT_EQ(read_fixed_int("      ", 1, 6, value), text_field_ok);
    EXPECT_EQ(value, 0);
    // "(i4)" of a longer text takes the first four characters only.
    EXPECT_EQ(read_fixed_int("20150", 1, 4, value), text_field_ok);
    EXPECT_EQ(value, 2015);
    EXPECT_EQ(read_fixed_int("2147483647", 1, 10, value), text_field_ok);
    EXPECT_EQ(value, 2147483647);
}

TEST(FixedTextRead, MalformedFieldsAreErrorsNotZeros) {
    int value = 99;
    for (const char* text : {"12a", "1.5", "+", "-", "--5", "1-2", "2147483648", "0x1F"}) {
        EXPECT_EQ(read_fixed_int(text, 1, 10, value), text_field_bad) << text;
        EXPECT_EQ(value, 0) << text;
    }
    for (const char* text : {"abc", "1.2.3", "1E", "E5", "1.5E+", ".", "-.", "+-5", "1,5", "12.5x",
                             "NaN", "1E5.5", "1.5E99"}) {
        float real = 99.0f;
        EXPECT_EQ(read_fixed_real(text, 1, 10, 2, real), text_field_bad) << text;
        EXPECT_EQ(real, 0.0f) << text;
    }
}

TEST(FixedTextRead, ShortLinesAreToldApart) {
    int value = 5;
    float real = 5.0f;
    std::string text = "unchanged";
    EXPECT_EQ(read_fixed_int("12", 5, 11, value), text_field_short);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(read_fixed_real("short line", 31, 37, 2, real), text_field_short);
    EXPECT_EQ(real, 0.0f);
    EXPECT_EQ(read_fixed_int("", 1, 4, value), text_field_short);
    EXPECT_EQ(read_fixed_text("abc", 31, 286, text), text_field_short);
    EXPECT_EQ(text, "");
    // The field starting in the last column of the line is not short.
    EXPECT_EQ(read_fixed_int("1234", 4, 6, value), text_field_ok);
    EXPECT_EQ(value, 4);
}

TEST(FixedTextRead, TextKeepsLeadingBlanksAndDropsTrailingOnes) {
    std::string text;
    std::string line = std::string(30, '.') + "  /data/run one   ";
    EXPECT_EQ(read_fixed_text(line, 31, 286, text), text_field_ok);
    EXPECT_EQ(text, "  /data/run one");
    EXPECT_EQ(read_fixed_text("abcdefgh", 3, 5, text), text_field_ok);
    EXPECT_EQ(text, "cde");
    EXPECT_EQ(trim_right("name  \r\n"), "name");
    EXPECT_EQ(trim_right("     "), "");
    EXPECT_EQ(trim_both("  a b  "), "a b");
}

TEST(FixedTextWrite, IntegerFields) {
    EXPECT_EQ(write_i(42, 5), "   42");
    EXPECT_EQ(write_i(-42, 5), "  -42");
    EXPECT_EQ(write_i(7, 5), "    7");
    EXPECT_EQ(write_i(12345, 5), "12345");
    EXPECT_EQ(write_i(123456, 5), "*****");
    EXPECT_EQ(write_i(-1234, 3), "***");
    EXPECT_EQ(write_i(45, 3, 3), "045");
    EXPECT_EQ(write_i(2024, 4, 4), "2024");
    EXPECT_EQ(write_i(5, 2, 2), "05");
    EXPECT_EQ(write_i(-5, 4, 4), "****");
    EXPECT_EQ(write_i(-5, 5, 4), "-0005");
}

TEST(FixedTextWrite, FixedPointRoundsAndOverflowsToAsterisks) {
    EXPECT_EQ(write_f(12.3456, 10, 3), "    12.346");
    EXPECT_EQ(write_f(-12.3456, 10, 3), "   -12.346");
    EXPECT_EQ(write_f(0.0, 10, 3), "     0.000");
    EXPECT_EQ(write_f(2.5f, 10, 3), "     2.500");
    EXPECT_EQ(write_f(0.0015f, 10, 3), "     0.002");  // the float lies just above the tie
    EXPECT_EQ(write_f(999999.9994, 10, 3), "999999.999");
    EXPECT_EQ(write_f(1.0e9, 10, 3), "**********");
    EXPECT_EQ(write_f(-999999.9, 10, 3), "**********");
    EXPECT_EQ(write_f(-9999.0, 10, 3), " -9999.000");
    EXPECT_EQ(write_f(std::nan(""), 7, 2), "*******");
    EXPECT_EQ(write_f(INFINITY, 7, 2), "*******");
    // A value that rounds to zero carries no minus sign.
    EXPECT_EQ(write_f(-0.0004, 10, 3), "     0.000");
    // The optional leading zero is dropped before giving up.
    EXPECT_EQ(write_f(0.5, 4, 2), "0.50");
    EXPECT_EQ(write_f(0.5, 3, 2), ".50");
    EXPECT_EQ(write_f(-0.5, 4, 2), "-.50");
    EXPECT_EQ(write_f(-0.5, 3, 2), "***");
    // fW.0 keeps its decimal point.
    EXPECT_EQ(write_f(12.0, 5, 0), "  12.");
    EXPECT_EQ(write_f(3.5, 6, 0), "    4.");
}

TEST(FixedTextWrite, ExponentFields) {
    EXPECT_EQ(write_e(123.45, 12, 3), "   0.123E+03");
    EXPECT_EQ(write_e(-0.0123, 12, 3), "  -0.123E-01");
    EXPECT_EQ(write_e(0.0, 12, 3), "   0.000E+00");
    EXPECT_EQ(write_e(1.0e-30, 12, 3), "   0.100E-29");
    EXPECT_EQ(write_e(1000.0, 12, 3), "   0.100E+04");
    // Rounding carries into a new leading digit and a larger exponent.
    EXPECT_EQ(write_e(9.9996, 12, 3), "   0.100E+02");
    // e10.5: the leading zero goes when the field is full; a minus sign does not fit.
    EXPECT_EQ(write_e(123.45, 10, 5), ".12345E+03");
    EXPECT_EQ(write_e(0.0123, 10, 5), ".12300E-01");
    EXPECT_EQ(write_e(-123.45, 10, 5), "**********");
    EXPECT_EQ(write_e(123.45, 12, 5), " 0.12345E+03");
    EXPECT_EQ(write_e(1.0e120, 12, 3), "   0.100+121");
    EXPECT_EQ(write_e(std::nan(""), 10, 5), "**********");
}

TEST(FixedTextWrite, CharacterFieldsAlignRightOrCut) {
    EXPECT_EQ(write_a("ab", 4), "  ab");
    EXPECT_EQ(write_a("abcdef", 4), "abcd");
    EXPECT_EQ(write_a("abcd", 4), "abcd");
    EXPECT_EQ(write_a("", 3), "   ");
    EXPECT_EQ(write_a("Surface pressure(mbar) :", 30), "      Surface pressure(mbar) :");
}

TEST(FixedTextWrite, FreeFormatLineLayout) {
    FreeLine text_only;
    text_only << "Close the log file";
    EXPECT_EQ(text_only.str(), " Close the log file");
    FreeLine texts;
    texts << "Error in calculate data in"
          << "cfg.in";
    EXPECT_EQ(texts.str(), " Error in calculate data incfg.in");
    FreeLine mixed;
    mixed << "n =" << 5 << "done";
    EXPECT_EQ(mixed.str(), " n =           5 done");
    FreeLine numbers;
    numbers << "units" << 13 << -299;
    EXPECT_EQ(numbers.str(), " units          13        -299");
    FreeLine first_number;
    first_number << 2147483647 << "max";
    EXPECT_EQ(first_number.str(), "   2147483647 max");
    FreeLine sizes;
    sizes << "count" << std::size_t{3} << 4u;
    EXPECT_EQ(sizes.str(), " count           3           4");
    FreeLine empty;
    EXPECT_EQ(empty.str(), " ");
    const std::string& as_text = mixed;
    EXPECT_EQ(as_text, mixed.str());
}

TEST(FixedTextWrite, FreeFormatRealsKeepSevenSignificantDigits) {
    for (double value : {1.5, 12345.678, 0.00123, -3.0, 1.0e10, 1.0 / 3.0, 299.15, -9999.0, 2.0e-5,
                         6.02e23, 0.1, 99999999.0}) {
        std::string text = free_real(value);
        double back = std::strtod(text.c_str(), nullptr);
        EXPECT_NEAR(back, value, std::fabs(value) * 5.0e-7) << text;
        int digits = 0;
        for (char c : text.substr(0, text.find_first_of("Ee")))
            if (c >= '0' && c <= '9') ++digits;
        EXPECT_GE(digits, 7) << text;
    }
    EXPECT_EQ(std::strtod(free_real(0.0).c_str(), nullptr), 0.0);
    // One blank before the real; a following text gets one blank.
    FreeLine line;
    line << "x =" << 1.5f << "m";
    EXPECT_EQ(line.str().substr(0, 4), " x =");
    EXPECT_EQ(line.str().back(), 'm');
    EXPECT_EQ(line.str().substr(line.str().size() - 2), " m");
    EXPECT_NE(line.str().find(" 1.5"), std::string::npos);
    EXPECT_EQ(line.str()[4], ' ');
}

// Line reading of text streams: CRLF files and a last line without its line end must read
// the same as plain Unix files, and an empty line is still a line.
TEST(FixedTextLines, ReadTextLineEndings) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    const char text[] = "first\r\n\nlast";
    std::fwrite(text, 1, sizeof text - 1, stream);
    std::rewind(stream);
    std::string line;
    ASSERT_TRUE(read_text_line(stream, line));
    EXPECT_EQ(line, "first");
    ASSERT_TRUE(read_text_line(stream, line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(read_text_line(stream, line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(read_text_line(stream, line));
    EXPECT_EQ(line, "");
    std::fclose(stream);
    EXPECT_FALSE(read_text_line(nullptr, line));
}
