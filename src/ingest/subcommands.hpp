// The subcommands of ornax_ingest. Each one takes its own arguments (argv[0] is the
// subcommand's name), writes its messages with ingest_message and returns an exit code
// of ingest_common.hpp (0 done, 2 usage, 3 failure).
#pragma once

#include <cstdio>

struct IngestSubcommand {
    const char* name;
    const char* summary;                // one line for the program's help
    int (*run)(int argc, char** argv);  // the conversion
    void (*usage)(std::FILE* stream);   // the subcommand's own help
};

// The table of subcommands, in the order the help lists them; ends at a null name.
extern const IngestSubcommand ingest_subcommands[];

// The subcommands, each defined beside its conversion.
extern const IngestSubcommand ingest_forecast_subcommand;
extern const IngestSubcommand ingest_region_subcommand;
