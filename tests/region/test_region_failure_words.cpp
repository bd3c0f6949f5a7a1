// The causes ornax.x shows on the standard error stream when a region run is refused read
// as sentences (no file name glued to a word), while the log keeps its own lines.
#include <ostream>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

struct WrongConfig {
    const char* name;
    const char* file;        // given as the region configuration
    const char* stderr_has;  // the readable cause
    const char* log_has;     // the log's own line
};

const WrongConfig wrong_configs[] = {
    {"SiteFileAsConfig", "examples/site/cropland_site.dat",
     "line 6: the file \":     0.060\" it names does not exist (is ", ":     0.060 not exist."},
    {"SiteFileRunFails", "examples/site/cropland_site.dat",
     "Error in calculating the data of region configuration ", "Error in calculate data in"},
};

class RegionFailureWords : public ::testing::TestWithParam<WrongConfig> {};

TEST_P(RegionFailureWords, ReadOnStderrAndKeepTheLog) {
    const WrongConfig& w = GetParam();
    char pattern[] = "/tmp/ornax_words_XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    const std::string config = std::string(ORNAX_SOURCE_DIR) + "/" + w.file;
    const std::string command = "cd '" + dir.string() + "' && '" + ORNAX_EXE + "' -r0 '" + config +
                                "' 2019 200 > out.txt 2> err.txt";
    const int raw = std::system(command.c_str());
    EXPECT_NE(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0);
    const std::string err = slurp(dir / "err.txt");
    EXPECT_NE(err.find(w.stderr_has), std::string::npos) << err;
    // no configuration path glued to the word before it on stderr
    EXPECT_FALSE(std::regex_search(err, std::regex("[a-z]" + std::string(ORNAX_SOURCE_DIR))))
        << err;
    std::string log;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".log") log += slurp(e.path());
    EXPECT_NE(log.find(w.log_has), std::string::npos) << log;
    fs::remove_all(dir);
}

// Cases print by name in test listings.
void PrintTo(const WrongConfig& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Region, RegionFailureWords, ::testing::ValuesIn(wrong_configs),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
