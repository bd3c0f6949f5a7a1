// Program version and source commit; the generated header comes from the build.
#include "ornax90/command_line/version.hpp"

#include "ornax_version.hpp"

const char* ornax_version() {
    return ORNAX_VERSION;
}

const char* ornax_source_commit() {
    return ORNAX_SOURCE_COMMIT;
}

std::string ornax_version_line() {
    return std::string("ornax ") + ornax_version() + " (commit " + ornax_source_commit() + ")";
}
