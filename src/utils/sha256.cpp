// SHA-256 through OpenSSL's EVP digest interface; files are read in 1 MiB pieces.
#include "utils/sha256.hpp"

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

void Sha256::Free::operator()(evp_md_ctx_st* context) const {
    EVP_MD_CTX_free(context);
}

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(const void* data, std::size_t size) {
    if (size > 0) EVP_DigestUpdate(context_.get(), data, size);
}

std::string Sha256::hex() {
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_.get(), sum, &length);
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        out.push_back(digits[sum[i] >> 4]);
        out.push_back(digits[sum[i] & 0xf]);
    }
    return out;
}

std::string sha256_hex(const std::string& bytes) {
    Sha256 digest;
    digest.update(bytes.data(), bytes.size());
    return digest.hex();
}

void sha256_file(const std::string& file_name, std::uint64_t max_bytes, std::string& digest,
                 std::string& error, int& status) {
    status = 3;
    std::FILE* file = std::fopen(file_name.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return;
    }
    Sha256 sum;
    std::vector<unsigned char> buffer(1 << 20);
    std::uint64_t left = max_bytes == 0 ? UINT64_MAX : max_bytes;
    while (left > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        const std::size_t got = std::fread(buffer.data(), 1, want, file);
        sum.update(buffer.data(), got);
        left -= got;
        if (got < want) break;
    }
    const bool failed = std::ferror(file) != 0;
    const int saved = errno;
    std::fclose(file);
    if (failed) {
        error = std::strerror(saved);
        return;
    }
    digest = sum.hex();
    error.clear();
    status = 0;
}

void sha256_files(const std::vector<std::string>& file_names, std::uint64_t max_size,
                  std::vector<std::string>& digests) {
    digests.assign(file_names.size(), std::string());
    const auto one = [&](std::size_t i) {
        std::error_code error;
        const auto size = std::filesystem::file_size(file_names[i], error);
        if (error || (max_size > 0 && size > max_size)) return;
        std::string digest, why;
        int status = 0;
        try {
            sha256_file(file_names[i], 0, digest, why, status);
        } catch (const std::bad_alloc&) {
            status = 3;  // no memory for the buffer: the digest stays unknown
        }
        if (status == 0) digests[i] = std::move(digest);
    };
    // each task writes its own element, so the order in which they run never shows
#pragma omp parallel if (file_names.size() > 1)
#pragma omp single
    for (std::size_t i = 0; i < file_names.size(); ++i) {
#pragma omp task firstprivate(i)
        one(i);
    }
}
