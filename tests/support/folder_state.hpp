// Helpers of the publication tests: the names a folder holds, a file's text, a folder's
// contents and what an interrupted publication leaves, to check that it left the old or the
// new outputs whole and nothing else.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace folder_state {

namespace fs = std::filesystem;

// The names in folder, sorted (hidden ones included).
inline std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> list;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        list.push_back(e.path().filename().string());
    std::sort(list.begin(), list.end());
    return list;
}

inline std::string text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write(const fs::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}

// Paths under folder of what a publication leaves only when it was interrupted: staging
// names ("*.partial-PID-N"), journals (".publish-*") and output-set temporaries
// ("*.ornax-tmp").
inline std::vector<std::string> left_over(const fs::path& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.find(".partial-") != std::string::npos || name.rfind(".publish-", 0) == 0 ||
            name.find(".ornax-tmp") != std::string::npos)
            found.push_back(e.path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Every file under folder (relative path, then its bytes), sorted by path, except those
// whose name is in `except` (records with a time stamp).
inline std::vector<std::pair<std::string, std::string>>
contents(const fs::path& folder, const std::vector<std::string>& except = {}) {
    std::vector<std::pair<std::string, std::string>> files;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (!e.is_regular_file() || std::find(except.begin(), except.end(), name) != except.end())
            continue;
        files.emplace_back(fs::relative(e.path(), folder).string(), text(e.path()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace folder_state
