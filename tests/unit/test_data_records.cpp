// Core records: the order of the output record, its reset, the status-code lines and the
// calendar tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ornax_constants_mod.hpp"

namespace {

using OutputField = float Ornaxoutputvartype::*;

// The output record's reals in their declared order, with the names of the output list.
const std::vector<std::pair<std::string, OutputField>>& output_fields() {
    using O = Ornaxoutputvartype;
    static const std::vector<std::pair<std::string, OutputField>> fields = {
        {"TS1", &O::TS1},         {"XLES1", &O::XLES1},
        {"HS1", &O::HS1},         {"TC1", &O::TC1},
        {"XLEC1", &O::XLEC1},     {"HC1", &O::HC1},
        {"XLE1", &O::XLE1},       {"H1", &O::H1},
        {"G1", &O::G1},           {"ZEN1", &O::ZEN1},
        {"TA1", &O::TA1},         {"SPARE1", &O::SPARE1},
        {"RNET1", &O::RNET1},     {"TS2", &O::TS2},
        {"XLES2", &O::XLES2},     {"HS2", &O::HS2},
        {"TC2", &O::TC2},         {"XLEC2", &O::XLEC2},
        {"HC2", &O::HC2},         {"XLE2", &O::XLE2},
        {"H2", &O::H2},           {"G2", &O::G2},
        {"ZEN2", &O::ZEN2},       {"TA2", &O::TA2},
        {"SPARE2", &O::SPARE2},   {"RNET2", &O::RNET2},
        {"Z2", &O::Z2},           {"RA2", &O::RA2},
        {"RS2", &O::RS2},         {"RX2", &O::RX2},
        {"SWUP", &O::SWUP},       {"LWUP", &O::LWUP},
        {"SNETDAY", &O::SNETDAY}, {"RSOILDAY", &O::RSOILDAY},
        {"SDDAY", &O::SDDAY},     {"SWUPDAY", &O::SWUPDAY},
        {"LWUPDAY", &O::LWUPDAY}, {"LWDNDAY", &O::LWDNDAY},
        {"EREFDAY", &O::EREFDAY}, {"HDAY", &O::HDAY},
        {"GDAY", &O::GDAY},       {"EDAY", &O::EDAY},
        {"ESDAY", &O::ESDAY},     {"ECDAY", &O::ECDAY},
    };
    return fields;
}

std::string logged_line_of(int flag, int code, int& status) {
    ::testing::internal::CaptureStderr();  // no run log open: the log writer uses stderr
    ornax_error_code(flag, code, status);
    std::string err = ::testing::internal::GetCapturedStderr();
    return err.size() > 25 ? err.substr(25, err.find('\n') - 25) : err;
}

}  // namespace

TEST(CoreRecords, OutputRecordHoldsFortyFourRealsInListOrder) {
    ASSERT_EQ(output_fields().size(), 44u);
    Ornaxoutputvartype output;
    const auto* base = reinterpret_cast<const char*>(&output);
    for (std::size_t i = 0; i < output_fields().size(); ++i) {
        const float& field = output.*(output_fields()[i].second);
        EXPECT_EQ(reinterpret_cast<const char*>(&field) - base,
                  static_cast<std::ptrdiff_t>(i * sizeof(float)))
            << output_fields()[i].first;
        EXPECT_EQ(field, 0.0f) << output_fields()[i].first;  // a fresh record is all zeros
    }
}

TEST(CoreRecords, ResetKeepsFirstTimeFluxesAndSecondTimeTemperatures) {
    Ornaxoutputvartype output;
    float value = 1.0f;
    for (const auto& [name, field] : output_fields()) output.*field = value++;
    reset_out_var(output);
    const std::vector<std::string> kept = {"TS1",  "XLES1", "HS1", "TC1", "XLEC1", "HC1",
                                           "XLE1", "H1",    "G1",  "TS2", "TC2"};
    float expected = 1.0f;
    for (const auto& [name, field] : output_fields()) {
        bool keeps = std::find(kept.begin(), kept.end(), name) != kept.end();
        EXPECT_EQ(output.*field, keeps ? expected : 0.0f) << name;
        expected += 1.0f;
    }
}

TEST(CoreRecords, ErrorCodeLines) {
    int status = 3;
    EXPECT_EQ(logged_line_of(1, 0, status), "*** CONVERGED ***");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(logged_line_of(1, 1, status), "*** HN did not converge. Fail ***");
    EXPECT_EQ(logged_line_of(1, 2, status), "*** Bad input.  Fail ***");
    EXPECT_EQ(logged_line_of(-1, 3, status), "*** Exceeded max PBL profile layer. Fail ***");
    // An unlisted code: "(a, i5)", the digit in the fifth character of the number field.
    std::string unknown = logged_line_of(1, 7, status);
    EXPECT_EQ(unknown, "Unknow error code    7");
    EXPECT_EQ(unknown[std::string("Unknow error code").size() + 4], '7');
    EXPECT_EQ(logged_line_of(1, -1234, status), "Unknow error code-1234");
    status = 3;
    EXPECT_EQ(logged_line_of(0, 1, status), "");  // flag 0 writes nothing
    EXPECT_EQ(status, 0);
}

TEST(CalendarTables, MonthLengthsAndDaysBeforeEachMonth) {
    EXPECT_EQ(ornax_const_day_in_month[0], 31);
    EXPECT_EQ(ornax_const_day_in_month[1], 28);
    EXPECT_EQ(ornax_const_day_in_month[11], 31);
    EXPECT_EQ(std::accumulate(ornax_const_day_in_month.begin(), ornax_const_day_in_month.end(), 0),
              365);
    int before = 0;
    for (int month = 0; month < 12; ++month) {
        EXPECT_EQ(ornax_const_jday_in_year[month], before) << "month " << month + 1;
        before += ornax_const_day_in_month[month];
    }
    EXPECT_EQ(ornax_const_jday_in_year[6], 181);  // 1 July is day 182 of a common year
}
