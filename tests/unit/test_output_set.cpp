// Output sets: nothing under the final names changes before the commit, lines land at
// their offsets whatever the order and thread, and only the temporaries of dead processes
// are removed. (Aborts, failed writes and a full device: test_region_run_faults.)
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "ornax90/output/file_set.hpp"
#include "support/temp_dir.hpp"

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
