// ornax_ingest: turns the files users have (forecast-model GRIB2, satellite products,
// rasters in common formats) into the model's own rasters and configuration lines.
//
// Usage: ornax_ingest [--log FILE] [--decode-timeout S] [--decode-memory MB]
//                     [--decode-in-process] SUBCOMMAND [OPTIONS] ARGUMENTS...
//        ornax_ingest --help | --version
// Exit status: 0 done (or --help / --version), 2 usage error, 3 failure. Messages go to
// the standard error stream and into the log (default "ORNAX_INGEST-YYYYMMDD-ThhHmmm.log"
// in the working directory, appended).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

#include "ornax90/command_line/version.hpp"
#include "ingest/common/isolated_read.hpp"
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
    std::fprintf(stream,
                 "Usage: ornax_ingest [--log FILE] [--decode-timeout S] [--decode-memory MB]\n"
                 "                    [--decode-in-process] SUBCOMMAND [OPTIONS] ARGUMENTS...\n"
                 "       ornax_ingest --help | --version\n"
                 "       ornax_ingest SUBCOMMAND --help\n"
                 "Subcommands:\n");
    for (const IngestSubcommand* s = ingest_subcommands; s->name != nullptr; ++s)
        std::fprintf(stream, "  %-10s %s\n", s->name, s->summary);
    std::fprintf(stream,
                 "Exit status: 0 done, 2 usage error, 3 failure. Messages go to the standard\n"
                 "error stream and into the log (--log FILE, default ORNAX_INGEST-<time>.log).\n"
                 "Each source is decoded in a process of its own: a decoder that crashes, takes\n"
                 "longer than --decode-timeout seconds on one file (default 120) or more than\n"
                 "--decode-memory MB of memory (default 4096) refuses the file; 0 sets no\n"
                 "limit. --decode-in-process decodes in the converter itself, unprotected.\n");
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
    IsolationLimits limits;
    while (first < argc) {
        const std::string option = argv[first];
        if (option == "--decode-in-process") {
            limits.in_process = true;
            ++first;
            continue;
        }
        if (option != "--log" && option != "--decode-timeout" && option != "--decode-memory") break;
        if (first + 1 >= argc) {
            std::fprintf(stderr, "ornax_ingest: %s needs a value\n", option.c_str());
            return ingest_exit_usage;
        }
        const std::string value = argv[first + 1];
        first += 2;
        if (option == "--log") {
            log_file = value;
            continue;
        }
        char* end = nullptr;
        const double number = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0' || !(number >= 0.0) || number > 1.0e6) {
            std::fprintf(stderr,
                         "ornax_ingest: %s \"%s\" is not a number of %s from 0 (no limit) to "
                         "1000000\n",
                         option.c_str(), value.c_str(),
                         option == "--decode-timeout" ? "seconds" : "megabytes");
            return ingest_exit_usage;
        }
        if (option == "--decode-timeout")
            limits.seconds = number;
        else
            limits.memory_mb = static_cast<long>(number);
    }
    ingest_set_isolation_limits(limits);
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
