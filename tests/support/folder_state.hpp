// Helpers of the publication tests: the names a folder holds and a file's text, to check
// that an interrupted publication left the old or the new outputs whole and nothing else.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
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

}  // namespace folder_state
