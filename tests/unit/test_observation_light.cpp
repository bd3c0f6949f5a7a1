// The first observation of the morning against the light: an insolation of 0 W m-2 with
// the sun well up is a missing value written as data, and is not computed.
#include <ostream>
#include <gtest/gtest.h>

#include <string>

#include "ornax90/input_check/ranges.hpp"

namespace {

struct LightCase {
    const char* name;
    float tloc1;  // local standard time of the first observation (h)
    float sdn1;   // insolation there (W m-2)
    bool fits;
    const char* why;  // part of the reason when it does not fit
};

class ObservationLight : public ::testing::TestWithParam<LightCase> {};

TEST_P(ObservationLight, DarkFirstObservationInDaylightDoesNotFit) {
    const LightCase& c = GetParam();
    Ornaxinputvartype in;
    in.year = 2019, in.doy = 200, in.lat = 36.0f, in.lon = -98.0f;  // July, southern Plains
    in.tloc1 = c.tloc1, in.tloc2 = 10.5f;
    in.sdn1 = c.sdn1, in.sdn2 = 700.0f;
    std::string why;
    const int status = ornax_check_observation_times(in, why);
    EXPECT_EQ(status == 0, c.fits) << why;
    if (!c.fits) {
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
}

const LightCase light_cases[] = {
    {"sunlit_morning", 8.5f, 450.0f, true, ""},
    {"zero_in_daylight", 8.5f, 0.0f, false, "insolation 0.00 W m-2 at the first observation"},
    {"negative_in_daylight", 9.0f, -1.0f, false, "in daylight"},
    {"zero_just_after_sunrise", 5.3f, 0.0f, true, ""},
};

// Cases print by name in test listings.
void PrintTo(const LightCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, ObservationLight, ::testing::ValuesIn(light_cases),
                         [](const ::testing::TestParamInfo<LightCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
