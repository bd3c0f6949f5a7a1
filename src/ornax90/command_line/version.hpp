// Program version and the source commit the binary was built from, for the log, the
// command line's --version and the run record.
#pragma once

#include <string>

// Release version of the program, for example "1.1.0".
const char* ornax_version();

// Source commit the binary was built from (abbreviated hash, "-dirty" when the tree had
// uncommitted changes), or "unknown" outside a git checkout.
const char* ornax_source_commit();

// "ornax VERSION (commit COMMIT)", the line --version prints and the log records.
std::string ornax_version_line();
