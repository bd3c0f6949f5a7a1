// The manifest of a converted product.
#include "ingest/common/manifest.hpp"

#include <cstring>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/command_line/version.hpp"
#include "utils/sha256.hpp"

namespace {

// A staged folder and its destination, absolute and normalized, and as the command gave
// them (a relative path in a message is named relative).
struct StagedFolder {
    std::string staged, destination;
    std::string staged_given, destination_given;
};

// The staged folders in staging order, and the lock of the list (parts of a conversion
// stage and report from threads of their own).
std::mutex staged_lock;
std::vector<StagedFolder>& staged_folders() {
    static std::vector<StagedFolder> folders;
    return folders;
}

std::string normal_text(const std::filesystem::path& path) {
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

std::string absolute_text(const std::filesystem::path& path) {
    std::error_code ec;
    std::string text = std::filesystem::absolute(path, ec).lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

// A staged folder's name ends where a path component ends.
bool component_end(const std::string& text, std::size_t at) {
    return at == text.size() || text[at] == '/' || text[at] == '"' || text[at] == ' ' ||
           text[at] == ')' || text[at] == ',' || text[at] == ';' || text[at] == ':';
}

void publish_paths(nlohmann::json& value) {
    if (value.is_string()) {
        value = ingest_manifest_published_path(value.get<std::string>());
    } else if (value.is_structured()) {
        for (nlohmann::json& item : value) publish_paths(item);
    }
}

}  // namespace

void ingest_manifest_stage(const std::filesystem::path& staged,
                           const std::filesystem::path& destination) {
    const std::lock_guard<std::mutex> hold(staged_lock);
    staged_folders().push_back({absolute_text(staged), absolute_text(destination),
                                normal_text(staged), normal_text(destination)});
}

void ingest_manifest_unstage(const std::filesystem::path& staged) {
    const std::lock_guard<std::mutex> hold(staged_lock);
    auto& folders = staged_folders();
    const std::string key = absolute_text(staged);
    std::erase_if(folders, [&](const StagedFolder& f) { return f.staged == key; });
}

std::string ingest_manifest_published_path(const std::string& text) {
    std::string result = text;
    const std::lock_guard<std::mutex> hold(staged_lock);
    const auto& folders = staged_folders();
    auto replace_all = [&result](const std::string& staged, const std::string& destination) {
        if (staged.empty() || staged == ".") return;
        for (std::size_t at = result.find(staged); at != std::string::npos;
             at = result.find(staged, at)) {
            const bool starts = at == 0 || std::strchr(" \"'/(:,;=", result[at - 1]) != nullptr;
            if (!starts || !component_end(result, at + staged.size())) {
                at += staged.size();
                continue;
            }
            result.replace(at, staged.size(), destination);
            at += destination.size();
        }
    };
    for (auto f = folders.rbegin(); f != folders.rend(); ++f) {
        replace_all(f->staged, f->destination);
        if (f->staged_given != f->staged) replace_all(f->staged_given, f->destination_given);
    }
    return result;
}

IngestManifest::IngestManifest(const std::string& tool, const std::string& command) {
    doc_["program"] = "ornax_ingest " + tool;
    doc_["version"] = ornax_version_line();
    doc_["created"] = ornax_time_stamp();
    doc_["command"] = command;
    doc_["sources"] = nlohmann::json::array();
    doc_["conversions"] = nlohmann::json::array();
    doc_["rasters"] = nlohmann::json::object();
}

void IngestManifest::add_source(const std::string& file_name, std::string& error, int& status) {
    std::string digest, reason;
    sha256_file(file_name, 0, digest, reason, status);
    if (status != 0) {
        error = "cannot read " + file_name + " for its checksum: " + reason;
        status = ingest_status_failed;
        return;
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(file_name, ec);
    doc_["sources"].push_back({{"file", std::filesystem::absolute(file_name, ec).string()},
                               {"bytes", ec ? 0 : size},
                               {"sha256", digest}});
}

void IngestManifest::add_conversion(const std::string& text) {
    doc_["conversions"].push_back(text);
}

void IngestManifest::add_counts(const std::string& raster, const ValueCounts& counts) {
    doc_["rasters"][raster]["valid"] = counts.valid;
    doc_["rasters"][raster]["missing"] = counts.missing;
}

void IngestManifest::write(const std::filesystem::path& file, std::string& error,
                           int& status) const {
    nlohmann::json published = doc_;
    publish_paths(published);
    ingest_write_text_file(file, published.dump(2) + "\n", error, status);
}
