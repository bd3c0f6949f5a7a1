// Output sets: temporaries in the destination folders, positioned writes, checked flush
// and close, publication by rename, removal of the temporaries of dead runs.
#include "ornax90/output/file_set.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <cstdio>
#include <cstring>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/file_io_mod.hpp"
#include "ornax90/output/publish.hpp"

namespace {

constexpr int temporary_attempts = 1000;  // sequence numbers tried for a free temporary name

// Folder part of a path ("" for a bare name) and the name part.
void split_path(const std::string& path, std::string& dir, std::string& name) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        dir.clear();
        name = path;
    } else {
        dir = path.substr(0, slash + 1);
        name = path.substr(slash + 1);
    }
}

// Records a failure (the first one is kept for the caller) and writes it to the log.
void fail(Ornaxoutputsettype& set, const std::string& what, int error_number) {
    const std::string text = what + ": " + std::strerror(error_number);
    ornax_log_msg(text);
    std::lock_guard<std::mutex> lock(set.failure_guard);
    if (!set.failed) set.failure = text;
    set.failed = true;
}

bool valid_member(const Ornaxoutputsettype& set, int member) {
    return member >= 0 && static_cast<std::size_t>(member) < set.files.size();
}

// Host, boot and PID namespace of this process as one name piece "HOST.BOOT.PIDNS": the
// host name with only letters, digits, '-' and '_' kept, the boot id's hex digits, the
// inode of the PID namespace.
const std::string& process_place() {
    static const std::string place = [] {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
        std::string text;
        for (const char* c = host; *c != '\0' && text.size() < 64; ++c)
            text += std::isalnum(static_cast<unsigned char>(*c)) || *c == '-' ? *c : '_';
        if (text.empty()) text = "host";
        text += '.';
        std::ifstream boot("/proc/sys/kernel/random/boot_id");
        std::string id, hex;
        std::getline(boot, id);
        for (char c : id)
            if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
        text += hex.empty() ? "0" : hex;
        struct stat ns {};
        text += '.' + std::to_string(stat("/proc/self/ns/pid", &ns) == 0 ? ns.st_ino : 0);
        return text;
    }();
    return place;
}

bool all_digits(const std::string& text) {
    return !text.empty() && text.size() < 20 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Process id of a stem ending in ".PID-N", -1 when it does not.
long stem_pid(const std::string& stem) {
    const std::size_t dot = stem.rfind('.');
    const std::size_t dash = stem.rfind('-');
    if (dot == std::string::npos || dash == std::string::npos || dash < dot + 2) return -1;
    const std::string pid = stem.substr(dot + 1, dash - dot - 1);
    if (!all_digits(pid) || !all_digits(stem.substr(dash + 1)) || pid.size() > 10) return -1;
    const long value = std::stol(pid);
    return value > 0 ? value : -1;
}

// Who left a temporary: its process and, for names that carry it, its "HOST.BOOT.PIDNS"
// (empty for the names of earlier versions). pid -1 when the name is not one of ours.
struct TemporaryOwner {
    long pid = -1;
    std::string place;
};

TemporaryOwner temporary_owner(const std::string& name) {
    TemporaryOwner owner;
    const std::string suffix = ornax_output_temporary_suffix;
    if (name.size() <= suffix.size() + 1 || name[0] != '.' ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return owner;
    const std::string stem = name.substr(0, name.size() - suffix.size());
    std::size_t at = stem.size();
    for (int field = 0; field < 3 && at != std::string::npos && at > 0; ++field)
        at = stem.rfind('.', at - 1);
    if (at != std::string::npos && at > 0) {
        const std::string place = stem.substr(at + 1);
        const std::size_t ns_dot = place.rfind('.');
        const long pid = stem_pid(stem.substr(0, at));
        if (pid > 0 && all_digits(place.substr(ns_dot + 1))) return {pid, place};
    }
    owner.pid = stem_pid(stem);
    return owner;
}

// Opens the folder's lock file and takes its lock: alone when no other run holds it (the
// lock is then taken exclusively first and turned into a shared one after the stale
// temporaries went, through the caller). Descriptor, or -1 when there is no lock file.
int take_folder_lock(const std::string& dir, bool& alone) {
    alone = false;
    const std::string path = ornax_output_path(dir, ornax_output_lock_name);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;  // the whole file
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0) {
        alone = true;
    } else if (errno == EINVAL) {  // no open-file-description locks: whole-file flock
        alone = flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!alone) flock(fd, LOCK_SH);
    }
    return fd;
}

// The shared lock that a run holds while its temporaries exist.
void share_folder_lock(int fd) {
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    while (fcntl(fd, F_OFD_SETLKW, &lock) != 0) {
        if (errno == EINTR) continue;
        if (errno == EINVAL) flock(fd, LOCK_SH);
        break;
    }
}

// Whether a temporary left by `owner` belongs to no live run.
bool stale(const TemporaryOwner& owner, bool alone) {
    const bool here = owner.place == process_place();
    if (owner.place.empty() || here) {
        if (owner.place.empty() && !alone) return false;  // an older run's: judged alone only
        if (here && owner.pid == static_cast<long>(getpid())) return false;
        // A process that still runs (or a process id in use again) keeps its files.
        return kill(static_cast<pid_t>(owner.pid), 0) != 0 && errno == ESRCH;
    }
    return alone;  // another host, boot or namespace: stale only when no run holds the lock
}

void remove_stale_in(const std::string& dir, bool alone, int& removed) {
    removed = 0;
    const std::string folder = dir.empty() ? "." : dir;
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) return;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        const TemporaryOwner owner = temporary_owner(name);
        if (owner.pid < 0 || !stale(owner, alone)) continue;
        const std::string path = ornax_output_path(dir, name);
        if (unlink(path.c_str()) == 0) {
            ++removed;
            ornax_log_msg("Removed the temporary output " + path + " of a stopped run");
        }
    }
    closedir(listing);
}

}  // namespace

Ornaxoutputsettype::~Ornaxoutputsettype() {
    ornax_output_set_abort(*this);
}

std::string ornax_output_path(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string ornax_output_temporary_name(const std::string& path, long pid, int sequence) {
    std::string dir, name;
    split_path(path, dir, name);
    return dir + "." + name + "." + std::to_string(pid) + "-" + std::to_string(sequence) + "." +
           process_place() + ornax_output_temporary_suffix;
}

void ornax_output_set_add(Ornaxoutputsettype& set, const std::string& path, int& member,
                          int& status) {
    member = -1;
    status = ornax_status_failure;
    Ornaxoutputfiletype file;
    file.path = path;
    const long pid = static_cast<long>(getpid());
    int error_number = 0;
    for (int sequence = 0; sequence < temporary_attempts; ++sequence) {
        file.temporary = ornax_output_temporary_name(path, pid, sequence);
        file.fd = open(file.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        error_number = errno;
        if (file.fd >= 0 || error_number != EEXIST) break;
    }
    if (file.fd < 0) {
        fail(set, "Cannot create the output file " + path + " (as " + file.temporary + ")",
             error_number);
        return;
    }
    set.files.push_back(file);
    member = static_cast<int>(set.files.size()) - 1;
    status = 0;
}

void ornax_output_set_write(Ornaxoutputsettype& set, int member, const void* bytes,
                            std::size_t count, std::int64_t offset, int& status) {
    status = ornax_status_failure;
    if (!valid_member(set, member) || set.files[static_cast<std::size_t>(member)].fd < 0 ||
        offset < 0) {
        fail(set, "Write to an output that is not open", EBADF);
        return;
    }
    const Ornaxoutputfiletype& file = set.files[static_cast<std::size_t>(member)];
    const char* at = static_cast<const char*>(bytes);
    std::size_t left = count;
    while (left > 0) {
        const ssize_t written = pwrite(file.fd, at, left, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            // A write that takes nothing without a reason is a full device.
            const int error_number = written < 0 ? errno : ENOSPC;
            fail(set,
                 "Cannot write " + std::to_string(left) + " bytes at byte " +
                     std::to_string(offset) + " of " + file.path,
                 error_number);
            return;
        }
        at += written;
        left -= static_cast<std::size_t>(written);
        offset += written;
    }
    status = 0;
}

void ornax_output_set_write_line(Ornaxoutputsettype& set, int member, std::span<const float> values,
                                 int record, int& status) {
    status = ornax_status_failure;
    if (values.empty() || record < 1) {
        fail(set, "Invalid raster line " + std::to_string(record), EINVAL);
        return;
    }
    std::vector<unsigned char> bytes(values.size() * 4);
    raster_encode_le(values.data(), values.size(), bytes.data());
    const std::int64_t offset =
        raster_record_offset(record, static_cast<std::int64_t>(values.size()));
    ornax_output_set_write(set, member, bytes.data(), bytes.size(), offset, status);
}

const std::string& ornax_output_set_temporary(const Ornaxoutputsettype& set, int member) {
    static const std::string none;
    return valid_member(set, member) ? set.files[static_cast<std::size_t>(member)].temporary : none;
}

void ornax_output_set_commit(Ornaxoutputsettype& set, int& status) {
    status = ornax_status_failure;
    // Every member reaches the disk and closes cleanly before any is published, so a
    // full device or an I/O error found at the end leaves the earlier result whole.
    for (Ornaxoutputfiletype& file : set.files) {
        if (set.failed) break;
        if (fdatasync(file.fd) != 0 && errno != EINVAL) {
            fail(set, "Cannot flush the output file " + file.path, errno);
            break;
        }
        const int fd = file.fd;
        file.fd = -1;
        if (close(fd) != 0) fail(set, "Cannot close the output file " + file.path, errno);
    }
    if (set.failed) {
        ornax_output_set_abort(set);
        return;
    }
    std::vector<PublishEntry> entries;
    for (const Ornaxoutputfiletype& file : set.files)
        entries.push_back({file.temporary, file.path});
    for (const std::string& path : set.retired) entries.push_back({std::string(), path});
    std::string error;
    int published = 0;
    ornax_publish(entries, true, error, published);
    if (published != 0) {
        ornax_log_msg(error);
        std::lock_guard<std::mutex> lock(set.failure_guard);
        if (!set.failed) set.failure = error;
        set.failed = true;
    } else {
        for (Ornaxoutputfiletype& file : set.files) file.temporary.clear();  // published
    }
    ornax_output_set_abort(set);  // removes what could not be published
    status = set.failed ? 3 : 0;
}

void ornax_output_set_abort(Ornaxoutputsettype& set) {
    for (Ornaxoutputfiletype& file : set.files) {
        if (file.fd >= 0) close(file.fd);
        file.fd = -1;
        if (!file.temporary.empty() && !set.joined) unlink(file.temporary.c_str());
    }
    set.files.clear();
    set.retired.clear();
    for (int fd : set.lock_fds) close(fd);  // the temporaries are gone: the locks go too
    set.lock_fds.clear();
}

void ornax_output_set_claim_folder(Ornaxoutputsettype& set, const std::string& dir, int& removed) {
    bool alone = false;
    const int fd = take_folder_lock(dir, alone);
    remove_stale_in(dir, alone && fd >= 0, removed);
    if (fd < 0) return;
    share_folder_lock(fd);
    set.lock_fds.push_back(fd);
}

void ornax_output_remove_stale(const std::string& dir, int& removed) {
    Ornaxoutputsettype set;
    ornax_output_set_claim_folder(set, dir, removed);
}

void ornax_output_set_join(Ornaxoutputsettype& set, const std::vector<std::string>& paths,
                           const std::vector<std::string>& temporaries, int& status) {
    status = ornax_status_failure;
    if (paths.size() != temporaries.size()) {
        fail(set,
             "Output set to join of " + std::to_string(paths.size()) + " names and " +
                 std::to_string(temporaries.size()) + " temporaries",
             EINVAL);
        return;
    }
    set.joined = true;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        Ornaxoutputfiletype file;
        file.path = paths[i];
        file.temporary = temporaries[i];
        file.fd = open(file.temporary.c_str(), O_WRONLY | O_CLOEXEC);  // never creates one
        if (file.fd < 0) {
            fail(set, "Cannot open the output file " + file.path + " (as " + file.temporary + ")",
                 errno);
            return;
        }
        set.files.push_back(file);
    }
    status = 0;
}

void ornax_output_set_leave(Ornaxoutputsettype& set, int& status) {
    for (Ornaxoutputfiletype& file : set.files) {
        if (file.fd < 0) continue;
        if (fdatasync(file.fd) != 0 && errno != EINVAL)
            fail(set, "Cannot flush the output file " + file.path, errno);
        const int fd = file.fd;
        file.fd = -1;
        if (close(fd) != 0) fail(set, "Cannot close the output file " + file.path, errno);
    }
    set.files.clear();  // the temporaries are the creator's to publish or remove
    status = set.failed ? 3 : 0;
}
