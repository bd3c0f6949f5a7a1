// SHA-256 digests against the published test vectors, in one piece and fed in pieces.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

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
