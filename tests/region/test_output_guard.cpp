// Guards of the publication: outputs that are inputs, outputs of an earlier run that a new
// run does not write, and run-record texts made valid UTF-8.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/output/guard.hpp"

namespace {

namespace fs = std::filesystem;

struct Utf8Case {
    const char* name;
    std::string text, safe;
};

const Utf8Case utf8_cases[] = {
    {"ascii", "output/EDAY.bin", "output/EDAY.bin"},
    {"two-byte letter", "r\xc3\xa9sultats", "r\xc3\xa9sultats"},
    {"four-byte sign", "\xf0\x9f\x8c\x8d", "\xf0\x9f\x8c\x8d"},
    {"latin1 letter", "r\xe9sultats", "r\\xe9sultats"},
    {"lone continuation", "a\x80z", "a\\x80z"},
    {"overlong slash", "\xc0\xaf", "\\xc0\\xaf"},
    {"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
    {"cut sequence at the end", "ab\xe2\x82", "ab\\xe2\\x82"},
    {"beyond U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
};

TEST(OutputGuard, TextsBecomeValidUtf8ByteForByte) {
    for (const Utf8Case& c : utf8_cases) EXPECT_EQ(ornax_utf8_safe(c.text), c.safe) << c.name;
}

class OutputGuardFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("ornax_guard_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "out");
        fs::create_directories(dir_ / "in");
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path touch(const fs::path& relative) {
        std::ofstream(dir_ / relative) << relative.string();
        return dir_ / relative;
    }
    fs::path dir_;
};

TEST_F(OutputGuardFiles, SameFileThroughAnyName) {
    const fs::path input = touch("in/xl.bin");
    fs::create_hard_link(input, dir_ / "out" / "hard.bin");
    fs::create_symlink(input, dir_ / "out" / "soft.bin");
    const fs::path other = touch("in/lai.bin");
    struct Case {
        const char* name;
        fs::path path;
        bool same;
    } cases[] = {
        {"the path itself", input, true},
        {"through ..", dir_ / "out" / ".." / "in" / "xl.bin", true},
        {"hard link", dir_ / "out" / "hard.bin", true},
        {"symbolic link", dir_ / "out" / "soft.bin", true},
        {"another file", other, false},
        {"a file not yet written", dir_ / "out" / "xl.bin", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ornax_same_file(c.path.string(), input.string()), c.same) << c.name;
    EXPECT_TRUE(
        ornax_same_file((dir_ / "out/new.bin").string(), (dir_ / "in/../out/new.bin").string()));
}

TEST_F(OutputGuardFiles, OutputThatIsAnInputIsRefusedNamingBoth) {
    const fs::path input = touch("out/RS2.bin");
    int status = 0;
    ornax_check_outputs_not_inputs({(dir_ / "out" / "EDAY.bin").string()},
                                   {{"xl_file", input.string()}}, status);
    EXPECT_EQ(status, 0);
    ornax_check_outputs_not_inputs({(dir_ / "out" / "RS2.bin").string()},
                                   {{"xl_file", (dir_ / "in" / ".." / "out" / "RS2.bin").string()}},
                                   status);
    EXPECT_EQ(status, 3);
    const std::vector<std::string> causes = ornax_failure_causes();
    ASSERT_FALSE(causes.empty());
    EXPECT_NE(causes.back().find("out/RS2.bin would replace the input"), std::string::npos);
    EXPECT_NE(causes.back().find("(xl_file)"), std::string::npos);
    ornax_clear_failure_causes();
}

TEST_F(OutputGuardFiles, EarlierOutputsNotWrittenAgainGoButInputsAndOtherFilesStay) {
    for (const char* name : {"EDAY.bin", "EDAY.vrt", "TC1.bin", "TC1.vrt", "TC1.ctl", "TC1.png",
                             "TA1.bin", "notes.txt", "EDAY.nc", "tc1.bin"})
        touch(fs::path("out") / name);
    const std::string out = (dir_ / "out").string();
    int removed = 0;
    ornax_remove_earlier_outputs(out, ornax_region_published_files(out, {"EDAY"}),
                                 {{"tloc1_file", (dir_ / "out" / "TA1.bin").string()}}, removed);
    EXPECT_EQ(removed, 4);
    for (const char* gone : {"TC1.bin", "TC1.vrt", "TC1.ctl", "TC1.png"})
        EXPECT_FALSE(fs::exists(dir_ / "out" / gone)) << gone;
    for (const char* kept : {"EDAY.bin", "EDAY.vrt", "TA1.bin", "notes.txt", "EDAY.nc", "tc1.bin"})
        EXPECT_TRUE(fs::exists(dir_ / "out" / kept)) << kept;
}

}  // namespace
