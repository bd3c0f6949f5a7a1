// Output variables: name lookup, output list file, reset and per-pixel copy.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>

#include "ornax90/ORNAX_region_mod.hpp"
#include "support/region_sim.hpp"

namespace {

using OutList = std::array<Ornaxoutputrecordtype, ornax_max_out_vars>;

std::string write_list(const RegionTempDir& dir, const std::string& body) {
    const std::string path = dir.file("outlist.txt");
    std::ofstream(path) << "Output variables: name in columns 1-10, switch in 11\n" << body;
    return path;
}

// Output record whose 44 reals hold 1, 2, ..., 44 in declaration order.
Ornaxoutputvartype numbered_output() {
    float values[44];
    for (int i = 0; i < 44; ++i) values[i] = static_cast<float>(i + 1);
    Ornaxoutputvartype output;
    std::memcpy(&output, values, sizeof output);
    return output;
}

}  // namespace

TEST(OutvarsNames, CodesOfNamesAndCase) {
    RegionLogCapture log;
    EXPECT_EQ(get_var_index("TC1"), 1);
    EXPECT_EQ(get_var_index("XLE2"), 17);
    EXPECT_EQ(get_var_index("TA2"), 24);
    EXPECT_EQ(get_var_index("GDAY"), 33);
    EXPECT_EQ(get_var_index("SDDAY"), 34);
    EXPECT_EQ(get_var_index("EDAY"), 40);
    EXPECT_EQ(get_var_index("ECDAY"), 42);
    EXPECT_EQ(get_var_index("XLE2      "), 17);  // blank padding to 10 characters
    EXPECT_EQ(log.text(), "");
    // Case matters; a name must fill the field from column 1.
    EXPECT_EQ(get_var_index("xle2"), -999);
    EXPECT_EQ(get_var_index(" XLE2"), -999);
    EXPECT_EQ(log.count("Invalid name"), 2);
    EXPECT_EQ(log.count("Invalid namexle2\n"), 1);
}

TEST(OutvarsNames, EveryCodeReadsItsOwnFieldAndNeverASpare) {
    const Ornaxoutputvartype output = numbered_output();
    std::set<float> seen;
    for (int code = 1; code <= ornax_max_out_vars; ++code) {
        float value = 0.0f;
        ASSERT_TRUE(ornax_output_value_by_code(output, code, value)) << code;
        seen.insert(value);
        EXPECT_NE(value, 12.0f) << "spare real after TA1";
        EXPECT_NE(value, 25.0f) << "spare real after TA2";
    }
    EXPECT_EQ(seen.size(), 42u);
    float value = 0.0f;
    EXPECT_TRUE(ornax_output_value_by_code(output, get_var_index("SDDAY"), value));
    EXPECT_EQ(value, 35.0f);  // SDDAY is the 35th real of the record, code 34
    EXPECT_TRUE(ornax_output_value_by_code(output, get_var_index("GDAY"), value));
    EXPECT_EQ(value, 41.0f);
    EXPECT_FALSE(ornax_output_value_by_code(output, 0, value));
    EXPECT_FALSE(ornax_output_value_by_code(output, 43, value));
}

TEST(OutvarsListFile, ListOrderSwitchTwoAndLetter) {
    RegionLogCapture log;
    RegionTempDir dir;
    const std::string path = write_list(dir, "EDAY      1\n"
                                             "XLE2      1 anything after the switch\n"
                                             "TA1       0\n"
                                             "LWUP      2\n"
                                             "          \n"
                                             "TS2       1\n"
                                             "HDAY      x\n"
                                             "TA2       1\n");
    OutList list;
    int count = -1, status = -1;
    ornax_read_out_list_file(path, list, count, status);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(count, 3);
    // The list order, not the code order, sets the order of the rasters.
    EXPECT_EQ(list[0].name, "EDAY");
    EXPECT_EQ(list[0].code, 40);
    EXPECT_EQ(list[1].name, "XLE2");
    EXPECT_EQ(list[1].code, 17);
    EXPECT_EQ(list[2].name, "TS2");
    EXPECT_EQ(list[2].code, 14);
    EXPECT_EQ(list[3].code, 0);  // the letter ended the list before TA2
    EXPECT_NE(log.text().find("1 later lines ignored"), std::string::npos);
    // the switch 2 omits LWUP, but not without a word naming the file and the line
    EXPECT_NE(log.text().find("line 5 (LWUP): switch 2 is neither 0 nor 1"), std::string::npos)
        << log.text();
}

TEST(OutvarsListFile, ReferenceListGivesTwelveVariablesInFileOrder) {
    OutList list;
    int count = -1, status = -1;
    ornax_read_out_list_file(ORNAX_REFERENCE_DIR "/region/data/config/outlist.txt", list, count,
                             status);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(count, 12);
    const char* expected[] = {"EDAY", "XLE2", "H2",      "RNET2", "G2",      "TA2",
                              "Z2",   "RS2",  "LWDNDAY", "ECDAY", "EREFDAY", "SDDAY"};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(list[i].name, expected[i]) << i;
}

TEST(OutvarsListFile, UnknownOrLowerCaseNameFailsTheList) {
    RegionLogCapture log;
    RegionTempDir dir;
    const std::string path = write_list(dir, "XLE2      1\nxle2      1\nEDAY      1\n");
    OutList list;
    int count = -1, status = -1;
    ornax_read_out_list_file(path, list, count, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(log.count("Unknown var name xle2"), 1);
    // No entry is left with a code that the pixel copy could not resolve.
    for (int i = 0; i < count; ++i) EXPECT_GE(list[i].code, 1);
}

TEST(OutvarsListFile, HeaderOnlyGivesNoVariablesAndResetSaysSo) {
    RegionLogCapture log;
    RegionTempDir dir;
    OutList list;
    int count = -1, status = -1;
    ornax_read_out_list_file(write_list(dir, ""), list, count, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(count, 0);
    Ornaxregiondatatype region;
    ornax_reset_region_outputs(region, -999.0f, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(log.count("Not allocated the output variable matrix"), 1);
}

TEST(OutvarsListFile, MissingFileFails) {
    RegionLogCapture log;
    RegionTempDir dir;
    OutList list;
    int count = -1, status = -1;
    ornax_read_out_list_file(dir.file("absent.txt") + "   ", list, count, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(log.count("Error in opening the input config file:" + dir.file("absent.txt")), 1);
}

TEST(OutvarsListFile, SelectionsBeyondFortyTwoAreIgnoredWithOneLogLine) {
    RegionLogCapture log;
    RegionTempDir dir;
    std::string body;
    for (int i = 0; i < 45; ++i) body += "EDAY      1\n";
    OutList list;
    int count = -1, status = -1;
    ornax_read_out_list_file(write_list(dir, body), list, count, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(count, 42);
    EXPECT_EQ(log.count("further selections ignored"), 1);
}

TEST(OutvarsCopy, ResetAndCopyFollowTheList) {
    Ornaxregiondatatype region;
    region.out_var_count = 2;
    region.out_var_list[0] = {"EDAY", 40};
    region.out_var_list[1] = {"TA1", 3};
    region.out_var_matrix.assign(6, 1.0f);
    int status = -1;
    ornax_reset_region_outputs(region, -999.0f, status);
    EXPECT_EQ(status, 0);
    for (float v : region.out_var_matrix) EXPECT_EQ(v, -999.0f);

    Ornaxoutputvartype output;
    output.EDAY = 12.25f;
    output.TA1 = 18.5f;
    float values[2] = {0.0f, 0.0f};
    ornax_get_region_out_var_by_list(region.out_var_list, 2, output, values, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(values[0], 12.25f);
    EXPECT_EQ(values[1], 18.5f);
}

TEST(OutvarsCopy, InvalidCodeIsAFailureNotAStop) {
    RegionLogCapture log;
    OutList list;
    list[0] = {"EDAY", 40};
    list[1] = {"BAD", 0};
    float values[2] = {0.0f, 0.0f};
    int status = -1;
    ornax_get_region_out_var_by_list(list, 2, Ornaxoutputvartype{}, values, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(log.count("Invalid num"), 1);
    EXPECT_EQ(log.count("Error find var"), 1);
}
