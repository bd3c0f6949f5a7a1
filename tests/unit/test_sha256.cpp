// SHA-256 digests against the published test vectors, in one piece and fed in pieces, of
// files, and of many files side by side.
#include <gtest/gtest.h>

#include <omp.h>

#include <fstream>
#include <string>
#include <vector>

#include "utils/sha256.hpp"
#include "support/temp_dir.hpp"

TEST(Sha256, KnownVectors) {
    struct Case {
        std::string text, digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sha256_hex(c.text), c.digest) << c.text.size() << " bytes";
        // the same digest when fed in uneven pieces across block boundaries
        Sha256 pieces;
        for (std::size_t at = 0; at < c.text.size(); at += 7) {
            pieces.update(c.text.data() + at, std::min<std::size_t>(7, c.text.size() - at));
        }
        EXPECT_EQ(pieces.hex(), c.digest) << c.text.size() << " bytes in pieces";
    }
}

class Sha256File : public temp_dir_test::TempDirTest {};

TEST_F(Sha256File, DigestCapAndMissingFile) {
    const std::string path = this->path("f.txt");
    std::ofstream(path) << "abcdef";
    std::string digest, error;
    int status = -1;
    sha256_file(path, 0, digest, error, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(digest, sha256_hex("abcdef"));
    sha256_file(path, 3, digest, error, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(digest, sha256_hex("abc"));
    sha256_file(this->path("none"), 0, digest, error, status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

// Many files digested side by side: each digest at its file's place, whatever the thread
// count; a missing file and one above the size limit have none.
TEST_F(Sha256File, ManyFilesInParallel) {
    std::vector<std::string> names, texts;
    for (int i = 0; i < 40; ++i) {
        texts.push_back(
            std::string(static_cast<std::size_t>(i * 997), static_cast<char>('a' + i % 26)));
        names.push_back(this->path("f" + std::to_string(i)));
        std::ofstream(names.back(), std::ios::binary) << texts.back();
    }
    names.push_back(this->path("missing"));
    texts.push_back("");
    const std::uint64_t limit = 30 * 997;
    const int before = omp_get_max_threads();
    for (int threads : {1, 2, 5}) {
        omp_set_num_threads(threads);
        std::vector<std::string> digests;
        sha256_files(names, limit, digests);
        ASSERT_EQ(digests.size(), names.size());
        for (std::size_t i = 0; i + 1 < names.size(); ++i) {
            if (texts[i].size() > limit)
                EXPECT_TRUE(digests[i].empty()) << i << " above the limit";
            else
                EXPECT_EQ(digests[i], sha256_hex(texts[i])) << i << " on " << threads;
        }
        EXPECT_TRUE(digests.back().empty());
    }
    omp_set_num_threads(before);
    std::vector<std::string> unlimited;
    sha256_files(names, 0, unlimited);
    EXPECT_EQ(unlimited[39], sha256_hex(texts[39]));
}
