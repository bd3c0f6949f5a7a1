// ornax_ingest: turns the files users have (forecast-model GRIB2, satellite products,
// rasters in common formats) into the model's own rasters and configuration lines.
//
// Usage: ornax_ingest [--log FILE] SUBCOMMAND [OPTIONS] ARGUMENTS...
//        ornax_ingest --help | --version
// Exit status: 0 done (or --help / --version), 2 usage error, 3 failure. Messages go to
// the standard error stream and into the log (default "ORNAX_INGEST-YYYYMMDD-ThhHmmm.log"
// in the working directory, appended).
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

#include "ornax90/command_line/version.hpp"
#include "ingest/common/support.hpp"
#include "ingest/subcommands.hpp"
#include "ingest/raster/command.hpp"
#include "ingest/satellite/command.hpp"
#include "ornax90/type_kinds.hpp"

const IngestSubcommand ingest_subcommands[] = {
    ingest_forecast_subcommand,
    {"satellite", "geostationary surface-temperature scans into the satellite rasters",
     ingest_satellite_run, ingest_satellite_usage},
    {"raster", "any raster GDAL opens (or an ASCII snow grid) onto a model grid", ingest_raster_run,
     ingest_raster_usage},
    ingest_region_subcommand,
    {nullptr, nullptr, nullptr, nullptr},
};

namespace {

void program_usage(std::FILE* stream) {
    std::fprintf(stream, "Usage: ornax_ingest [--log FILE] SUBCOMMAND [OPTIONS] ARGUMENTS...\n"
                         "       ornax_ingest --help | --version\n"
                         "       ornax_ingest SUBCOMMAND --help\n"
                         "Subcommands:\n");
    for (const IngestSubcommand* s = ingest_subcommands; s->name != nullptr; ++s)
        std::fprintf(stream, "  %-10s %s\n", s->name, s->summary);
    std::fprintf(stream,
                 "Exit status: 0 done, 2 usage error, 3 failure. Messages go to the standard\n"
                 "error stream and into the log (--log FILE, default ORNAX_INGEST-<time>.log).\n");
}

const IngestSubcommand* find_subcommand(const std::string& name) {
    for (const IngestSubcommand* s = ingest_subcommands; s->name != nullptr; ++s)
        if (name == s->name) return s;
    return nullptr;
}

std::string default_log_name() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char name[64];
    std::strftime(name, sizeof name, "ORNAX_INGEST-%Y%m%d-T%Hh%Mm.log", &tm);
    return name;
}

std::string command_line(int argc, char** argv) {
    std::string text = "ornax_ingest";
    for (int i = 1; i < argc; ++i) {
        text += ' ';
        text += argv[i];
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    std::string log_file;
    if (argc > 2 && std::strcmp(argv[1], "--log") == 0) {
        log_file = argv[2];
        first = ornax_status_failure;
    }
    if (first >= argc) {
        program_usage(stderr);
        return ingest_exit_usage;
    }
    const std::string name = argv[first];
    if (name == "--help" || name == "-h") {
        program_usage(stdout);
        return ingest_exit_ok;
    }
    if (name == "--version") {
        std::printf("%s\n", ornax_version_line().c_str());
        return ingest_exit_ok;
    }
    const IngestSubcommand* sub = find_subcommand(name);
    if (sub == nullptr) {
        std::fprintf(stderr, "ornax_ingest: unknown subcommand \"%s\"\n", name.c_str());
        program_usage(stderr);
        return ingest_exit_usage;
    }
    for (int i = first + 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            sub->usage(stdout);
            return ingest_exit_ok;
        }
    }
    std::string error;
    int status = 0;
    if (log_file.empty()) log_file = default_log_name();
    ingest_log_open(log_file, error, status);
    if (status != 0) {
        std::fprintf(stderr, "ornax_ingest: %s\n", error.c_str());
        return ingest_exit_failure;
    }
    ingest_log_only(ornax_version_line());
    ingest_log_only(command_line(argc, argv));
    int code = ingest_exit_failure;
    try {
        code = sub->run(argc - first, argv + first);
    } catch (const std::exception& e) {
        ingest_message(std::string("failed: ") + e.what());
        code = ingest_exit_failure;
    }
    if (code == ingest_exit_usage) sub->usage(stderr);
    ingest_log_only(std::string(sub->name) + (code == 0 ? " done" : " failed, exit status ") +
                    (code == 0 ? "" : std::to_string(code)));
    ingest_log_close();
    return code;
}
