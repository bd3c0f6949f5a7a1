// SHA-256 digests of files and byte strings, for the checksums that run records and
// manifests give of their inputs. The digest is written as 64 lower-case hex digits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Incremental digest: feed bytes with update() in any number of pieces, then hex().
class Sha256 {
public:
    Sha256();
    void update(const void* data, std::size_t size);
    // The digest of everything fed so far; the object must not be fed afterwards.
    std::string hex();

private:
    void compress(const unsigned char* block);
    std::array<std::uint32_t, 8> state_{};
    std::array<unsigned char, 64> block_{};
    std::size_t block_used_ = 0;
    std::uint64_t total_bytes_ = 0;
};

// Digest of a byte string.
std::string sha256_hex(const std::string& bytes);

// Digest of a file's first max_bytes bytes (all of it when max_bytes is 0). status 0, or 3
// when the file cannot be opened or read (error then holds the system's reason).
void sha256_file(const std::string& file_name, std::uint64_t max_bytes, std::string& digest,
                 std::string& error, int& status);
