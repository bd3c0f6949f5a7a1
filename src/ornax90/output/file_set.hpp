// Output sets: the files of one run, written under temporary names and published together.
//
// Every member of a set is created as a temporary file in the folder of its final name
// (".NAME.PID-N.ornax-tmp"), so a rename can put it in place without copying. Writers put
// bytes at explicit offsets (pwrite), so lines may be written in any order and from
// several threads at once. The commit flushes every member to disk, closes it (each step
// checked) and switches the members into place as one publication (output/publish: a
// journal first, so that a run killed at any rename is finished by the next one, which
// calls ornax_publish_recover on the folder of the first member); until then an earlier
// result under the final names stays whole. An abort, or a set that is destroyed without a commit,
// removes the temporaries. A killed run leaves its temporaries behind; the next run in the folder
// removes them. Temporaries are named after their process, host, boot and PID namespace
// (".NAME.PID-N.HOST.BOOT.PIDNS.ornax-tmp"), and every run holds a shared lock on the
// folder's lock file ".ornax-run.lock" (an fcntl lock, which network file systems pass on
// to the server) while its temporaries exist. A run that gets the lock alone judges every
// temporary of another host, boot or namespace stale; otherwise only those of its own
// host, boot and namespace whose process no longer runs.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

inline constexpr const char* ornax_output_temporary_suffix = ".ornax-tmp";
inline constexpr const char* ornax_output_lock_name = ".ornax-run.lock";

// One member: the name it is published under and the temporary it is written to.
struct Ornaxoutputfiletype {
    std::string path;       // final name
    std::string temporary;  // name until the commit
    int fd = -1;            // open descriptor of the temporary, -1 once closed
};

// The members of one run and the first failure met on any of them.
struct Ornaxoutputsettype {
    std::vector<Ornaxoutputfiletype> files;
    std::atomic<bool> failed = false;  // a create, write, flush, close or rename failed
    std::string failure;               // the first failure: what, which file, the system's reason
    std::mutex failure_guard;
    bool joined = false;        // created by another process: never published or removed here
    std::vector<int> lock_fds;  // shared locks on the folders' lock files, held until the end
    // files that the commit removes in the same switch (an earlier run's record)
    std::vector<std::string> retired;

    Ornaxoutputsettype() = default;
    Ornaxoutputsettype(const Ornaxoutputsettype&) = delete;
    Ornaxoutputsettype& operator=(const Ornaxoutputsettype&) = delete;
    ~Ornaxoutputsettype();  // removes the temporaries of a set that was not committed
};

// Name of a file `name` in folder `dir`; an empty folder is the working directory.
std::string ornax_output_path(const std::string& dir, const std::string& name);

// Temporary name of `path` for process `pid` of this host, boot and PID namespace,
// attempt `sequence`: same folder, hidden.
std::string ornax_output_temporary_name(const std::string& path, long pid, int sequence);

// Adds a member that will be published as `path`: creates its empty temporary (never an
// existing file). member receives its index. status 0, or 3 (logged, set marked failed).
void ornax_output_set_add(Ornaxoutputsettype& set, const std::string& path, int& member,
                          int& status);

// Writes `count` bytes at byte `offset` of member `member`. Safe to call from several
// threads for distinct ranges. status 0, or 3 with the system's reason logged and kept.
void ornax_output_set_write(Ornaxoutputsettype& set, int member, const void* bytes,
                            std::size_t count, std::int64_t offset, int& status);

// Writes `values` as record `record` (1-based) of a raster of values.size() columns, in
// little-endian byte order. status 0 or 3.
void ornax_output_set_write_line(Ornaxoutputsettype& set, int member, std::span<const float> values,
                                 int record, int& status);

// Name of the member's temporary, for writers that open the file by name.
const std::string& ornax_output_set_temporary(const Ornaxoutputsettype& set, int member);

// Flushes, closes and switches every member into place, removing the set's retired files in
// the same switch. Nothing is published when a member failed earlier or fails to flush or
// close, or a rename fails: every temporary is removed and the earlier files stay as they
// were. status 0 or 3 (logged, kept in set.failure).
void ornax_output_set_commit(Ornaxoutputsettype& set, int& status);

// Joins a set that another process of the same run created (`paths` and their
// `temporaries`, in member order): opens each temporary for positioned writes, never
// creating one, so the members keep their indices. A joined set neither publishes nor
// removes the temporaries. status 0, or 3 (logged, set marked failed).
void ornax_output_set_join(Ornaxoutputsettype& set, const std::vector<std::string>& paths,
                           const std::vector<std::string>& temporaries, int& status);
// Flushes and closes a joined set's descriptors (each step checked) and leaves its
// temporaries to their creator. status 0 or 3.
void ornax_output_set_leave(Ornaxoutputsettype& set, int& status);

// Closes and removes every temporary; the files under the final names are not touched.
void ornax_output_set_abort(Ornaxoutputsettype& set);

// Takes the shared lock of folder `dir` (empty: the working directory) for the set, after
// removing the temporaries that stopped runs left there (see above). removed receives
// their count. Call before adding members in that folder.
void ornax_output_set_claim_folder(Ornaxoutputsettype& set, const std::string& dir, int& removed);
// The same without keeping the lock.
void ornax_output_remove_stale(const std::string& dir, int& removed);
