// Output sets: nothing under the final names changes before the commit, lines land at
// their offsets whatever the order, an abort or a failed member publishes nothing, and
// only the temporaries of dead processes are removed.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "ORNAX_output_set_mod.hpp"
#include "temp_dir_test_support.hpp"

namespace {

using namespace temp_dir_test;

class OutputSet : public TempDirTest {};

// A process id that no longer runs: a child that has ended and been reaped.
long dead_pid() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return static_cast<long>(child);
}

int temporaries_in(const fs::path& dir) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        count += entry.path().filename().string().find(".ornax-tmp") != std::string::npos;
    return count;
}

TEST_F(OutputSet, LinesInAnyOrderAppearOnlyAtTheCommit) {
    write_bytes(path("A.bin"), {9, 9, 9, 9});  // an earlier result
    int member = -1, status = -1;
    {
        Ornaxoutputsettype set;
        ornax_output_set_add(set, path("A.bin"), member, status);
        ASSERT_EQ(status, 0);
        const std::vector<float> line2 = {3.0f, 4.0f}, line1 = {1.0f, 2.0f};
        // Two threads write their own lines at once, the northern line first.
        std::thread north([&] {
            int st = -1;
            ornax_output_set_write_line(set, member, line2, 2, st);
            EXPECT_EQ(st, 0);
        });
        ornax_output_set_write_line(set, member, line1, 1, status);
        north.join();
        EXPECT_EQ(file_bytes(path("A.bin")).size(), 4u) << "published before the commit";
        ornax_output_set_commit(set, status);
        ASSERT_EQ(status, 0) << set.failure;
    }
    const std::vector<unsigned char> bytes = file_bytes(path("A.bin"));
    ASSERT_EQ(bytes.size(), 16u);
    for (std::size_t r = 1; r <= 4; ++r) EXPECT_EQ(le_real(bytes, r), static_cast<float>(r));
    EXPECT_EQ(temporaries_in(dir_), 0);
}

TEST_F(OutputSet, AbortFailureAndDestructionKeepTheEarlierFiles) {
    enum class End { abort, destroyed, failed_member };
    for (End end : {End::abort, End::destroyed, End::failed_member}) {
        write_bytes(path("A.bin"), {1, 2, 3, 4});
        {
            Ornaxoutputsettype set;
            int a = -1, status = -1;
            ornax_output_set_add(set, path("A.bin"), a, status);
            ornax_output_set_write_line(set, a, std::vector<float>{5.0f, 6.0f}, 1, status);
            EXPECT_EQ(temporaries_in(dir_), 1);
            if (end == End::abort) ornax_output_set_abort(set);
            if (end == End::failed_member) {
                int b = -1;
                ornax_output_set_add(set, path("missing/B.bin"), b, status);
                EXPECT_EQ(status, 3);
                EXPECT_NE(set.failure.find("No such file or directory"), std::string::npos);
                ornax_output_set_commit(set, status);
                EXPECT_EQ(status, 3);
            }
        }
        EXPECT_EQ(file_bytes(path("A.bin")), (std::vector<unsigned char>{1, 2, 3, 4}));
        EXPECT_EQ(temporaries_in(dir_), 0);
    }
}

// A file-size limit stands for a full device: the write fails with the system's reason
// and nothing is published.
TEST_F(OutputSet, WriteBeyondTheFileSizeLimitFailsWithItsReason) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        Ornaxoutputsettype set;
        int a = -1, status = -1;
        ornax_output_set_add(set, path("A.bin"), a, status);
        ornax_output_set_write_line(set, a, std::vector<float>(100, 1.0f), 3, status);
        const bool reason = set.failure.find("File too large") != std::string::npos;
        ornax_output_set_commit(set, status);
        _exit(status == 3 && reason && !fs::exists(path("A.bin")) ? 0 : 1);
    }
    int raw = 0;
    waitpid(child, &raw, 0);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);
    EXPECT_EQ(temporaries_in(dir_), 0);
}

TEST_F(OutputSet, OnlyTemporariesOfProcessesThatEndedAreRemoved) {
    const long dead = dead_pid();
    struct Case {
        std::string name;
        bool removed;
    };
    const Case cases[] = {
        {fs::path(ornax_output_temporary_name(path("EDAY.bin"), dead, 0)).filename(), true},
        {fs::path(ornax_output_temporary_name(path("a.b.c"), dead, 12)).filename(), true},
        {fs::path(ornax_output_temporary_name(path("EDAY.bin"), getpid(), 0)).filename(), false},
        {fs::path(ornax_output_temporary_name(path("EDAY.bin"), 1, 0)).filename(), false},
        {"EDAY.bin", false},
        {".EDAY.bin." + std::to_string(dead) + "-x.ornax-tmp", false},
        {"EDAY.bin." + std::to_string(dead) + "-0.ornax-tmp", false},  // not hidden
    };
    for (const Case& c : cases) write_bytes(path(c.name), {0});
    int removed = -1;
    ornax_output_remove_stale(dir_.string(), removed);
    EXPECT_EQ(removed, 2);
    for (const Case& c : cases) EXPECT_EQ(fs::exists(path(c.name)), !c.removed) << c.name;
    EXPECT_EQ(ornax_output_path("", "x.bin"), "x.bin");  // empty folder: working directory
    EXPECT_EQ(ornax_output_path("out/", "x.bin"), "out/x.bin");
}

}  // namespace
