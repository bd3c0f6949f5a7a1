// Publication of finished outputs by rename, recoverable at every instant. Each output is
// first written under a staging name in its destination's folder ("NAME.partial-PID-N");
// a set of outputs that belongs together is then switched as one: a journal naming every
// destination, its staged copy and where its old version goes aside is written before the
// first rename and removed after the last. A process that dies during a switch leaves the
// journal behind; the next publication into that folder finishes the switch (every staged
// copy is complete once the journal exists) and removes the staging names of processes
// that no longer run, so a rerun leaves the old or the new outputs whole and nothing else.
#pragma once

#include <string>
#include <vector>

// One output of a switch: its complete staged copy (a file or a folder) and its place. An
// entry without a staged copy retires its destination: the old version goes aside with the
// others and is removed with them (a record that no longer describes the new outputs).
struct PublishEntry {
    std::string staged;
    std::string destination;
};

// "NAME.partial-PID-N" beside the destination (N random), the name to stage it under.
std::string ornax_publish_staging_name(const std::string& destination);

// Puts every staged copy in place of its destination as one switch. An existing destination
// is replaced only when replace is true (otherwise status 3, nothing renamed, the error
// naming it); the old versions are removed once every new one is in place. On a failed
// rename the outputs renamed so far are put back (status 3).
void ornax_publish(const std::vector<PublishEntry>& entries, bool replace, std::string& error,
                   int& status);

// In folder: finishes every switch whose process died before it ended, then removes every
// staging name ("*.partial-PID-N", "*.old.partial-PID-N") of a process that no longer runs.
// Each action is logged. Nothing of a process that still runs is touched.
void ornax_publish_recover(const std::string& folder);

// Environment variable for tests: when set to k, the process kills itself (SIGKILL) just
// before the k-th rename of its publications made while the variable is set (the journal's
// own rename counts as the first of a switch).
inline constexpr const char* ornax_publish_kill_variable = "ORNAX_TEST_FAIL_AT_RENAME";
// Environment variable for tests: when set to k, the k-th rename counted as above fails as
// on a full device (ENOSPC) without renaming anything.
inline constexpr const char* ornax_publish_fail_variable = "ORNAX_TEST_RENAME_FAILS_AT";
