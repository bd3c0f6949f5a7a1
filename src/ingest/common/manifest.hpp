// The manifest of a converted product ("manifest.json" beside the rasters): the program
// and command, each source file with its size and SHA-256, and what the converter adds
// (the messages used per raster and step, conversions, valid and missing counts).
#pragma once

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "ingest/common/support.hpp"

class IngestManifest {
public:
    // tool: the subcommand ("forecast", ...); command: the command line as given.
    IngestManifest(const std::string& tool, const std::string& command);
    // Adds a source file with its size and SHA-256 under "sources"; status 3 with a
    // message when it cannot be read.
    void add_source(const std::string& file_name, std::string& error, int& status);
    // Adds a line to "conversions" (a unit change, a derived quantity, a time treatment).
    void add_conversion(const std::string& text);
    // Records the counts of a raster under "rasters"/NAME.
    void add_counts(const std::string& raster, const ValueCounts& counts);
    // The whole document, for the converter's own entries.
    nlohmann::json& document() { return doc_; }
    // Writes the document (indented) to the file through a temporary name; every path
    // inside a staged folder (see below) is written as the path it is published under.
    void write(const std::filesystem::path& file, std::string& error, int& status) const;

private:
    nlohmann::json doc_;
};

// A folder being written under the staging name `staged` and published as `destination`
// (StagedDir): until ingest_manifest_unstage, manifests name what lies inside it by its
// published path, the folders staged last first (a day staged inside a staged region).
void ingest_manifest_stage(const std::filesystem::path& staged,
                           const std::filesystem::path& destination);
void ingest_manifest_unstage(const std::filesystem::path& staged);
// text with every path inside a staged folder replaced by its published path.
std::string ingest_manifest_published_path(const std::string& text);
