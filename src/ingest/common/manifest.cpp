// The manifest of a converted product.
#include "ingest/common/manifest.hpp"

#include <system_error>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/command_line/version.hpp"
#include "utils/sha256.hpp"

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
    ingest_write_text_file(file, doc_.dump(2) + "\n", error, status);
}
