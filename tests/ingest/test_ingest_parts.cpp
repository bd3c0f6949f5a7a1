// Parts of a conversion run side by side: their codes, and their messages in the parts'
// order whatever order they finish in, up to the first failing part.
#include <gtest/gtest.h>

#include <cpl_error.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ingest/common/concurrent_parts.hpp"
#include "ingest/common/support.hpp"
#include "ingest/raster/grid_warp.hpp"

namespace {

// A part that waits `wait_ms`, says `text` (and a GDAL error when gdal is set), then ends
// with `code`.
std::function<int()> part(int wait_ms, std::string text, int code, bool gdal = false) {
    return [=] {
        std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
        ingest_message(text + " begins");
        if (gdal) CPLError(CE_Failure, CPLE_AppDefined, "%s", (text + " point outside").c_str());
        ingest_log_only(text + " ends");
        return code;
    };
}

TEST(IngestParts, MessagesInPartOrderUpToTheFirstFailure) {
    struct Case {
        const char* what;
        std::vector<std::function<int()>> parts;
        std::vector<int> codes;         // expected for every part that ran
        std::vector<std::string> said;  // expected, in order
    };
    const Case cases[] = {
        {"the last part finishes first",
         {part(60, "land", 0), part(30, "forecast", 0), part(0, "satellite", 0)},
         {0, 0, 0},
         {"land begins", "land ends", "forecast begins", "forecast ends", "satellite begins",
          "satellite ends"}},
        {"a failure drops the later parts' messages",
         {part(40, "land", 0), part(0, "forecast", 3), part(0, "satellite", 0)},
         {0, 3, 0},
         {"land begins", "land ends", "forecast begins", "forecast ends"}},
        {"GDAL's lines stay with their part",
         {part(30, "land", 0, true), part(0, "satellite", 0, true)},
         {0, 0},
         {"land begins", "ERROR 1: land point outside", "land ends", "satellite begins",
          "ERROR 1: satellite point outside", "satellite ends"}},
        {"one part", {part(0, "alone", 2)}, {2}, {"alone begins", "alone ends"}},
    };
    for (const Case& c : cases) {
        for (bool side_by_side : {true, false}) {
            IngestMessageList said;
            std::vector<int> codes;
            {
                IngestMessageCapture capture(said);
                // GDAL's lines of the calling thread, as the parts' threads give them out
                CPLPushErrorHandlerEx(
                    [](CPLErr, CPLErrorNum number, const char* text) {
                        static_cast<IngestMessageList*>(CPLGetErrorHandlerUserData())
                            ->push_back({IngestMessageKind::raw,
                                         "ERROR " + std::to_string(number) + ": " + text});
                    },
                    &said);
                ingest_run_parts(c.parts, side_by_side, codes);
                CPLPopErrorHandler();
            }
            std::vector<std::string> texts;
            for (const auto& [kind, text] : said) texts.push_back(text);
            EXPECT_EQ(texts, c.said) << c.what << (side_by_side ? "" : ", in turn");
            ASSERT_EQ(codes.size(), c.parts.size()) << c.what;
            for (std::size_t i = 0; i < c.codes.size(); ++i) {
                // in turn, the parts after the first failure do not run
                const bool ran = side_by_side ||
                                 std::find(c.codes.begin(), c.codes.begin() + static_cast<long>(i),
                                           3) == c.codes.begin() + static_cast<long>(i);
                if (ran) {
                    EXPECT_EQ(codes[i], c.codes[i]) << c.what << " part " << i;
                }
            }
        }
    }
}

// Side by side, the last part runs on the calling thread and the others on their own.
TEST(IngestParts, LastPartOnTheCallingThread) {
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::thread::id> ran(3);
    std::vector<std::function<int()>> parts;
    for (std::size_t i = 0; i < ran.size(); ++i)
        parts.push_back([&ran, i] {
            ran[i] = std::this_thread::get_id();
            return 0;
        });
    std::vector<int> codes;
    ingest_run_parts(parts, true, codes);
    EXPECT_EQ(codes, std::vector<int>(3, 0));
    EXPECT_NE(ran[0], caller);
    EXPECT_NE(ran[1], caller);
    EXPECT_NE(ran[0], ran[1]);
    EXPECT_EQ(ran[2], caller);
}

// Only GDAL's lines about points a projection cannot reach are dropped.
TEST(IngestParts, LinesOfPointsOutsideTheDomain) {
    struct Case {
        const char* text;
        bool dropped;
    };
    const Case cases[] = {
        {"Point outside of projection domain", true},
        {"Reprojection failed, err = 2050, further errors will be suppressed on the transform "
         "object.",
         true},
        {"Too many points (441 out of 441) failed to transform, unable to compute output bounds.",
         false},
        {"Cannot open file sources/lst.nc", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(outside_projection_domain(c.text), c.dropped) << c.text;
}

}  // namespace
