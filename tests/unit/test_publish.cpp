// Publication by rename: a set of outputs switches as one; a process killed at any rename
// of the switch leaves, once the next publication has recovered the folder, the old set or
// the new set whole and no staging name or journal beside it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ornax90/output/publish.hpp"
#include "support/folder_state.hpp"

namespace {

namespace fs = std::filesystem;
using folder_state::names;
using folder_state::text;
using folder_state::write;

// A folder with an old set: a file "a.bin", a folder "day" holding "x.bin", and a file
// "c.nc" that the new set adds.
class PublishSet : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ornax_publish_XXXXXX";
        dir_ = mkdtemp(pattern);
        write(dir_ / "a.bin", "old a");
        fs::create_directory(dir_ / "day");
        write(dir_ / "day" / "x.bin", "old x");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Stages the new set and publishes it (replace given).
    std::vector<PublishEntry> stage_new() const {
        std::vector<PublishEntry> set;
        const auto staged = [&](const char* name) {
            const std::string s = ornax_publish_staging_name((dir_ / name).string());
            set.push_back({s, (dir_ / name).string()});
            return fs::path(s);
        };
        write(staged("a.bin"), "new a");
        const fs::path day = staged("day");
        fs::create_directory(day);
        write(day / "x.bin", "new x");
        write(staged("c.nc"), "new c");
        return set;
    }
    bool old_whole() const {
        return names(dir_) == std::vector<std::string>{"a.bin", "day"} &&
               text(dir_ / "a.bin") == "old a" && text(dir_ / "day" / "x.bin") == "old x" &&
               names(dir_ / "day") == std::vector<std::string>{"x.bin"};
    }
    bool new_whole() const {
        return names(dir_) == std::vector<std::string>{"a.bin", "c.nc", "day"} &&
               text(dir_ / "a.bin") == "new a" && text(dir_ / "day" / "x.bin") == "new x" &&
               text(dir_ / "c.nc") == "new c";
    }
    std::string listing() const {
        std::string list;
        for (const std::string& n : names(dir_)) list += n + " ";
        return list;
    }
    fs::path dir_;
};

TEST_F(PublishSet, SwitchesTheWholeSetAndRemovesTheOldOne) {
    std::string error;
    int status = 0;
    ornax_publish(stage_new(), true, error, status);
    ASSERT_EQ(status, 0) << error;
    EXPECT_TRUE(new_whole()) << listing();
}

TEST_F(PublishSet, ExistingOutputsNeedReplace) {
    const std::vector<PublishEntry> set = stage_new();
    std::string error;
    int status = 0;
    ornax_publish(set, false, error, status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(error.find((dir_ / "a.bin").string()), std::string::npos) << error;
    // nothing renamed: the staged copies are still there beside the old set
    for (const PublishEntry& e : set) EXPECT_TRUE(fs::exists(e.staged)) << e.staged;
    EXPECT_EQ(text(dir_ / "a.bin"), "old a");
}

// Guards against a half switch on a failed rename: the folder "day" cannot replace a
// destination that became a non-empty folder of another name's kind, so the set goes back.
TEST_F(PublishSet, FailedRenamePutsTheOldSetBack) {
    std::vector<PublishEntry> set = stage_new();
    set.push_back({(dir_ / "no_such_staged").string(), (dir_ / "late.bin").string()});
    std::string error;
    int status = 0;
    ornax_publish(set, true, error, status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(error.find("no_such_staged"), std::string::npos) << error;
    for (std::size_t i = 0; i + 1 < set.size(); ++i) fs::remove_all(set[i].staged);
    EXPECT_TRUE(old_whole()) << listing();
}

// Kill point k: the journal's rename (1), each old output aside (2, 3), each new one in
// place (4, 5, 6), and beyond the last rename (7: the switch completes).
class PublishKilled : public PublishSet, public ::testing::WithParamInterface<int> {};

TEST_P(PublishKilled, RecoveryLeavesOldOrNewWholeAndNothingElse) {
    const int k = GetParam();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv(ornax_publish_kill_variable, std::to_string(k).c_str(), 1);
        std::string error;
        int status = 0;
        ornax_publish(stage_new(), true, error, status);
        _exit(status == 0 ? 0 : 1);
    }
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    const bool killed = WIFSIGNALED(raw) && WTERMSIG(raw) == SIGKILL;
    EXPECT_EQ(killed, k <= 6) << "rename " << k;
    ornax_publish_recover(dir_.string());
    // the journal is written first: killed before it is in place the old set stays,
    // after it the switch is finished
    if (k == 1)
        EXPECT_TRUE(old_whole()) << listing();
    else
        EXPECT_TRUE(new_whole()) << listing();
}

INSTANTIATE_TEST_SUITE_P(EveryRename, PublishKilled, ::testing::Range(1, 8),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "KilledAtRename" + std::to_string(info.param);
                         });

// A rename that fails as on a full device, at each rename k of the switch (the journal's
// first): the old set is put back whole and nothing else stays, without any recovery.
class PublishFailed : public PublishSet, public ::testing::WithParamInterface<int> {};

TEST_P(PublishFailed, OldSetIsPutBackWhole) {
    const int k = GetParam();
    const pid_t child = fork();  // the count of renames is the process's own
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv(ornax_publish_fail_variable, std::to_string(k).c_str(), 1);
        const std::vector<PublishEntry> set = stage_new();
        std::string error;
        int status = 0;
        ornax_publish(set, true, error, status);
        const bool named = error.find("No space left on device") != std::string::npos;
        for (const PublishEntry& e : set) fs::remove_all(e.staged);  // the caller's to remove
        _exit(status == 3 && named ? 0 : 1);
    }
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << "rename " << k;
    EXPECT_TRUE(old_whole()) << "rename " << k << ": " << listing();
}

INSTANTIATE_TEST_SUITE_P(EveryRename, PublishFailed, ::testing::Range(1, 7),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "FailsAtRename" + std::to_string(info.param);
                         });

// An entry without a staged copy retires its destination in the same switch; killed at any
// rename, the recovery leaves the old set (with the retired file) or the new one without it.
class PublishRetired : public PublishSet, public ::testing::WithParamInterface<int> {};

TEST_P(PublishRetired, RetiredFileGoesWithTheSwitch) {
    const int k = GetParam();
    write(dir_ / "record.json", "old record");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv(ornax_publish_kill_variable, std::to_string(k).c_str(), 1);
        std::vector<PublishEntry> set = stage_new();
        set.push_back({std::string(), (dir_ / "record.json").string()});
        set.push_back({std::string(), (dir_ / "never_there.json").string()});
        std::string error;
        int status = 0;
        ornax_publish(set, true, error, status);
        _exit(status == 0 ? 0 : 1);
    }
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    EXPECT_EQ(WIFSIGNALED(raw), k <= 7) << "rename " << k;
    ornax_publish_recover(dir_.string());
    if (k == 1) {
        EXPECT_EQ(text(dir_ / "record.json"), "old record");
        fs::remove(dir_ / "record.json");
        EXPECT_TRUE(old_whole()) << listing();
    } else {
        EXPECT_TRUE(new_whole()) << "rename " << k << ": " << listing();
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRename, PublishRetired, ::testing::Range(1, 9),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "KilledAtRename" + std::to_string(info.param);
                         });

// A staging name of a process that still runs (this one) is never removed; names that
// merely look alike ("x.partial-abc") are not touched either.
TEST_F(PublishSet, RecoveryKeepsWhatRunningProcessesAndUsersOwn) {
    const std::string mine = ornax_publish_staging_name((dir_ / "a.bin").string());
    write(mine, "in progress");
    write(dir_ / "notes.partial-abc", "user file");
    ornax_publish_recover(dir_.string());
    EXPECT_TRUE(fs::exists(mine));
    EXPECT_TRUE(fs::exists(dir_ / "notes.partial-abc"));
}

}  // namespace
