// SHA-256 digests of files and byte strings, for the checksums that run records and
// manifests give of their inputs, computed by OpenSSL's libcrypto (EVP interface). The digest
// is written as 64 lower-case hex digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct evp_md_ctx_st;

// Incremental digest: feed bytes with update() in any number of pieces, then hex().
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void update(const void* data, std::size_t size);
    // The digest of everything fed so far; the object must not be fed afterwards.
    std::string hex();

private:
    struct Free {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> context_;
};

// Digest of a byte string.
std::string sha256_hex(const std::string& bytes);

// Digest of a file's first max_bytes bytes (all of it when max_bytes is 0). status 0, or 3
// when the file cannot be opened or read (error then holds the system's reason).
void sha256_file(const std::string& file_name, std::uint64_t max_bytes, std::string& digest,
                 std::string& error, int& status);

// Digests of whole files, side by side on the threads of the calling team (one task per
// file): digests[i] of file_names[i], empty where that file cannot be read or its size is
// above max_size bytes (no limit when 0). Every thread count gives the same result.
void sha256_files(const std::vector<std::string>& file_names, std::uint64_t max_size,
                  std::vector<std::string>& digests);
