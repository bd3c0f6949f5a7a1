// Reading untrusted files in a child process.
//
// The child is forked from the thread that asks for the reading; forks are serialised and
// the parent closes its end of each pipe before the next fork, so that no child holds the
// pipe of another. The child does not return into the converter: it ends with _exit once
// its results are written, whatever happens.
#include "ingest/common/isolated_read.hpp"

#include <cpl_error.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "ingest/common/support.hpp"
#include "ornax90/ORNAX_log_mod.hpp"

namespace {

std::mutex limits_lock;
IsolationLimits current_limits;

// Serialises the forks, so that each pipe's writing end is closed in the parent before
// another child can inherit it.
std::mutex fork_lock;

// Page shared by the parent and its child: the file the child is reading now.
struct ReadingPage {
    std::atomic<unsigned> generation{0};
    char file[4000] = {0};
};

// In a child: its page and what GDAL reported at CE_Failure (on any of its threads: the
// warper's workers report through the process's handler, hence the lock).
struct ChildState {
    std::mutex lock;
    ReadingPage* page = nullptr;
    std::string file;
    IngestMessageList* lines = nullptr;
    std::vector<std::string> failures;  // "FILE: GDAL reported an error reading it: TEXT"
};
thread_local ChildState* child_state = nullptr;

// Worker threads of a library started in this process (copied into a child at the fork),
// and whether this process is such a child.
std::atomic<bool> library_threads{false};
bool forked_child = false;

void child_gdal_line(CPLErr level, CPLErrorNum number, const char* text) {
    auto* state = static_cast<ChildState*>(CPLGetErrorHandlerUserData());
    if (state == nullptr || level == CE_Debug) return;
    std::lock_guard<std::mutex> hold(state->lock);
    if (level >= CE_Failure)
        state->failures.push_back(state->file + ": GDAL reported an error reading it: " + text);
    // the line GDAL's own handler writes on the standard error
    state->lines->push_back({IngestMessageKind::raw, (level == CE_Warning ? "Warning " : "ERROR ") +
                                                         std::to_string(static_cast<int>(number)) +
                                                         ": " + text});
}

// How the child ended its work.
enum : std::int64_t { child_done = 0, child_out_of_memory = 1 };

// The child's frame: its length (the header's and the result's bytes after it), how it
// ended, status, error, messages, GDAL's failures and the length of the result, which
// follows the frame on the pipe.
void put_frame(IsolatedBytes& frame, std::int64_t how, int status, const std::string& error,
               const IngestMessageList& lines, const Ornaxmessagebuffer& library,
               const std::vector<std::string>& failures, const std::string& result) {
    frame.put(std::int64_t{0});  // the length, set below
    frame.put(how);
    frame.put(static_cast<std::int64_t>(status));
    frame.put(error);
    frame.put(static_cast<std::int64_t>(lines.size()));
    for (const auto& [kind, text] : lines) {
        frame.put(static_cast<std::int64_t>(kind));
        frame.put(text);
    }
    frame.put(static_cast<std::int64_t>(library.entries.size()));
    for (const auto& e : library.entries) {
        frame.put(static_cast<std::int64_t>(e.channel));
        frame.put(e.path);
        frame.put(e.text);
    }
    frame.put(static_cast<std::int64_t>(failures.size()));
    for (const std::string& f : failures) frame.put(f);
    frame.put(static_cast<std::int64_t>(result.size()));
    const std::int64_t length =
        static_cast<std::int64_t>(frame.bytes().size() - sizeof(std::int64_t) + result.size());
    std::memcpy(frame.bytes().data(), &length, sizeof length);
}

// Address space the process holds now (bytes).
long long address_space_now() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    long long pages = 0;
    if (f != nullptr) {
        if (std::fscanf(f, "%lld", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    return pages * sysconf(_SC_PAGESIZE);
}

bool write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The child's side: limits, the work, its frame on the pipe, the end.
[[noreturn]] void run_child(int fd, ReadingPage* page, const std::string& file,
                            const IsolationLimits& limits, const IsolatedWork& work) {
    forked_child = true;
    if (limits.memory_mb > 0) {
        const long long extra = static_cast<long long>(limits.memory_mb) << 20;
        const rlimit lim{static_cast<rlim_t>(address_space_now() + extra),
                         static_cast<rlim_t>(address_space_now() + extra)};
        setrlimit(RLIMIT_AS, &lim);
    }
    IngestMessageList lines;
    Ornaxmessagebuffer library;
    ChildState state;
    state.page = page;
    state.file = file;
    state.lines = &lines;
    child_state = &state;
    std::int64_t how = child_done;
    std::string error;
    int status = ingest_status_failed;
    IsolatedBytes out;
    {
        IngestMessageCapture capture(lines);
        OrnaxMessageCapture library_capture(library);
        CPLPushErrorHandlerEx(child_gdal_line, &state);
        CPLSetErrorHandlerEx(child_gdal_line, &state);  // the threads GDAL starts here
        try {
            work(out, error, status);
        } catch (const std::bad_alloc&) {
            how = child_out_of_memory;
        } catch (const std::exception& e) {
            error = file + ": reading stopped: " + e.what();
            status = ingest_status_failed;
        }
        CPLPopErrorHandler();
    }
    IsolatedBytes frame;
    try {
        put_frame(frame, how, status, error, lines, library, state.failures, out.bytes());
    } catch (const std::bad_alloc&) {
        frame = IsolatedBytes();
        out = IsolatedBytes();
        put_frame(frame, child_out_of_memory, ingest_status_failed, "", {}, {}, {}, "");
    }
    _exit(write_all(fd, frame.bytes()) && write_all(fd, out.bytes()) ? 0 : 1);
}

std::string limit_seconds_text(double s) {
    return ingest_number(s) + " s";
}

// Gives out the child's messages in the calling thread, as if they had been made here.
void give_out(IsolatedBytes& frame, std::vector<std::string>& failures) {
    std::int64_t n = 0;
    frame.get(n);
    for (std::int64_t i = 0; i < n; ++i) {
        std::int64_t kind = 0;
        std::string text;
        if (!frame.get(kind) || !frame.get(text)) return;
        if (kind == static_cast<std::int64_t>(IngestMessageKind::message))
            ingest_message(text);
        else if (kind == static_cast<std::int64_t>(IngestMessageKind::log_only))
            ingest_log_only(text);
        else
            ingest_raw_line(text);
    }
    Ornaxmessagebuffer library;
    frame.get(n);
    for (std::int64_t i = 0; i < n; ++i) {
        Ornaxmessagebuffer::Entry e;
        std::int64_t channel = 0;
        if (!frame.get(channel) || !frame.get(e.path) || !frame.get(e.text)) return;
        e.channel = static_cast<Ornaxmessagebuffer::Channel>(channel);
        library.entries.push_back(std::move(e));
    }
    ornax_release_messages(library);
    frame.get(n);
    for (std::int64_t i = 0; i < n; ++i) {
        std::string f;
        if (frame.get(f)) failures.push_back(std::move(f));
    }
}

// The work in this process (no protection), with the same collection of GDAL's failures.
void run_here(const std::string& file, const IsolatedWork& work, IsolatedBytes& result,
              std::string& error, int& status) {
    IngestMessageList lines;
    ChildState state;
    state.file = file;
    state.lines = &lines;
    ChildState* outer = child_state;
    child_state = &state;
    CPLPushErrorHandlerEx(child_gdal_line, &state);
    {
        IngestMessageCapture capture(lines);
        work(result, error, status);
    }
    CPLPopErrorHandler();
    child_state = outer;
    for (const auto& [kind, text] : lines) {
        if (kind == IngestMessageKind::message)
            ingest_message(text);
        else if (kind == IngestMessageKind::log_only)
            ingest_log_only(text);
        else
            ingest_raw_line(text);
    }
    if (status == 0 && !state.failures.empty()) {
        error = state.failures.front();
        status = ingest_status_failed;
    }
}

}  // namespace

void ingest_set_isolation_limits(const IsolationLimits& limits) {
    std::lock_guard<std::mutex> hold(limits_lock);
    current_limits = limits;
}

IsolationLimits ingest_isolation_limits() {
    std::lock_guard<std::mutex> hold(limits_lock);
    return current_limits;
}

bool ingest_library_threads_usable() {
    return !(forked_child && library_threads.load());
}

void ingest_note_library_threads() {
    if (!forked_child) library_threads.store(true);
}

// ---- bytes ----

void IsolatedBytes::put(std::int64_t value) {
    bytes_.append(reinterpret_cast<const char*>(&value), sizeof value);
}
void IsolatedBytes::put(double value) {
    bytes_.append(reinterpret_cast<const char*>(&value), sizeof value);
}
void IsolatedBytes::put(const std::string& text) {
    put(static_cast<std::int64_t>(text.size()));
    bytes_.append(text);
}
void IsolatedBytes::put(const std::vector<float>& values) {
    put(static_cast<std::int64_t>(values.size()));
    bytes_.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float));
}
void IsolatedBytes::put(const std::vector<double>& values) {
    put(static_cast<std::int64_t>(values.size()));
    bytes_.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(double));
}

IsolatedBytes IsolatedBytes::rest() {
    IsolatedBytes r;
    r.bytes_ = std::move(bytes_);
    r.at_ = at_;
    r.good_ = good_;
    bytes_.clear();
    at_ = 0;
    return r;
}

bool IsolatedBytes::take(void* out, std::size_t n) {
    if (!good_ || bytes_.size() - at_ < n) {
        good_ = false;
        return false;
    }
    if (n > 0) std::memcpy(out, bytes_.data() + at_, n);
    at_ += n;
    return true;
}
bool IsolatedBytes::get(std::int64_t& value) {
    return take(&value, sizeof value);
}
bool IsolatedBytes::get(int& value) {
    std::int64_t v = 0;
    if (!get(v)) return false;
    value = static_cast<int>(v);
    return true;
}
bool IsolatedBytes::get(bool& value) {
    std::int64_t v = 0;
    if (!get(v)) return false;
    value = v != 0;
    return true;
}
bool IsolatedBytes::get(double& value) {
    return take(&value, sizeof value);
}
bool IsolatedBytes::get(std::string& text) {
    std::int64_t n = 0;
    if (!get(n) || n < 0 || static_cast<std::size_t>(n) > bytes_.size() - at_) {
        good_ = false;
        return false;
    }
    text.assign(bytes_, at_, static_cast<std::size_t>(n));
    at_ += static_cast<std::size_t>(n);
    return true;
}
bool IsolatedBytes::get(std::vector<float>& values) {
    std::int64_t n = 0;
    if (!get(n) || n < 0 || static_cast<std::size_t>(n) > (bytes_.size() - at_) / sizeof(float)) {
        good_ = false;
        return false;
    }
    values.resize(static_cast<std::size_t>(n));
    return take(values.data(), values.size() * sizeof(float));
}
bool IsolatedBytes::get(std::vector<double>& values) {
    std::int64_t n = 0;
    if (!get(n) || n < 0 || static_cast<std::size_t>(n) > (bytes_.size() - at_) / sizeof(double)) {
        good_ = false;
        return false;
    }
    values.resize(static_cast<std::size_t>(n));
    return take(values.data(), values.size() * sizeof(double));
}

// ---- the reading ----

void ingest_isolated_reading(const std::string& file) {
    if (child_state == nullptr) return;
    {
        std::lock_guard<std::mutex> hold(child_state->lock);
        child_state->file = file;
    }
    if (child_state->page == nullptr) return;
    std::snprintf(child_state->page->file, sizeof child_state->page->file, "%s", file.c_str());
    child_state->page->generation.fetch_add(1);
}

void ingest_isolated_read(const std::string& library, const std::string& file,
                          const IsolatedWork& work, IsolatedBytes& result, std::string& error,
                          int& status) {
    status = ingest_status_failed;
    result = IsolatedBytes();
    const IsolationLimits limits = ingest_isolation_limits();
    if (limits.in_process || child_state != nullptr) {  // asked for, or already in a child
        ingest_isolated_reading(file);
        run_here(file, work, result, error, status);
        return;
    }
    void* shared = mmap(nullptr, sizeof(ReadingPage), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
        error = "cannot read " + file + " in a process of its own: " + std::strerror(errno);
        return;
    }
    auto* page = new (shared) ReadingPage();
    std::snprintf(page->file, sizeof page->file, "%s", file.c_str());
    int fds[2] = {-1, -1};
    pid_t pid = -1;
    const pid_t parent = getpid();
    {
        std::lock_guard<std::mutex> hold(fork_lock);
        if (pipe2(fds, O_CLOEXEC) == 0) {
            pid = fork();
            if (pid == 0) {
                // a converter that ends (killed) takes its reading with it
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (getppid() != parent) _exit(1);
                close(fds[0]);
                run_child(fds[1], page, file, limits, work);
            }
            close(fds[1]);
            if (pid < 0) close(fds[0]);
        }
    }
    if (pid < 0) {
        error = "cannot read " + file + " in a process of its own: " + std::strerror(errno);
        munmap(shared, sizeof(ReadingPage));
        return;
    }
    // read the child's frame until it closes the pipe, within the time limit per file
    using Clock = std::chrono::steady_clock;
    const auto limit = std::chrono::duration<double>(limits.seconds);
    auto deadline = Clock::now() + limit;
    unsigned seen = page->generation.load();
    // read straight into place: the frame's length, once known, sizes the buffer
    std::string bytes(std::size_t(1) << 16, '\0');
    std::size_t filled = 0;
    bool sized = false;
    bool timed_out = false;
    for (;;) {
        int wait_ms = 250;
        if (limits.seconds > 0.0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            wait_ms = static_cast<int>(std::clamp<long long>(left.count(), 0, 250));
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, wait_ms);
        if (ready > 0) {
            if (filled == bytes.size()) bytes.resize(2 * bytes.size());
            const ssize_t n = read(fds[0], bytes.data() + filled, bytes.size() - filled);
            if (n > 0) {
                filled += static_cast<std::size_t>(n);
                std::int64_t length = 0;
                if (!sized && filled >= sizeof length) {
                    std::memcpy(&length, bytes.data(), sizeof length);
                    sized = true;
                    const std::size_t whole = sizeof length + static_cast<std::size_t>(length);
                    if (length > 0 && length < (std::int64_t{1} << 40) && whole > bytes.size())
                        bytes.resize(whole);
                }
                continue;
            }
            if (n == 0 || errno != EINTR) break;  // end of the child's output
            continue;
        }
        if (ready < 0 && errno != EINTR) break;
        const unsigned now_seen = page->generation.load();
        if (now_seen != seen) {  // on a new file: the whole limit again
            seen = now_seen;
            deadline = Clock::now() + limit;
        } else if (limits.seconds > 0.0 && Clock::now() >= deadline) {
            kill(pid, SIGKILL);
            timed_out = true;
            break;
        }
    }
    close(fds[0]);
    int wstatus = 0;
    rusage usage{};
    while (wait4(pid, &wstatus, 0, &usage) < 0 && errno == EINTR) {
    }
    const std::string reading(page->file);
    munmap(shared, sizeof(ReadingPage));
    if (timed_out) {
        error = library + " timed out after " + limit_seconds_text(limits.seconds) + " reading " +
                reading + " (the reading was stopped; --decode-timeout sets the limit)";
        return;
    }
    const long long limit_bytes = static_cast<long long>(limits.memory_mb) << 20;
    if (WIFSIGNALED(wstatus)) {
        const int sig = WTERMSIG(wstatus);
        const char* name = strsignal(sig);
        error = library + " crashed (signal " + std::to_string(sig) + ", " +
                (name != nullptr ? name : "unknown") + ") reading " + reading;
        if (limits.memory_mb > 0 && usage.ru_maxrss * 1024LL > limit_bytes / 2)
            error += ", with " + std::to_string(usage.ru_maxrss / 1024) +
                     " MB in use near its memory limit of " + std::to_string(limits.memory_mb) +
                     " MB (--decode-memory)";
        return;
    }
    bytes.resize(filled);
    IsolatedBytes frame;
    frame.bytes() = std::move(bytes);
    std::int64_t length = 0, how = 0, child_status = 0;
    std::string child_error;
    if (!frame.get(length) || static_cast<std::size_t>(length) != filled - sizeof length ||
        !frame.get(how) || !frame.get(child_status) || !frame.get(child_error)) {
        error = library + " ended the reading of " + reading + " without a result (exit status " +
                std::to_string(WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1) + ")";
        return;
    }
    std::vector<std::string> failures;
    give_out(frame, failures);
    std::int64_t payload = 0;
    if (!frame.get(payload) || static_cast<std::size_t>(payload) != frame.left()) {
        error = library + " ended the reading of " + reading + " with an incomplete result";
        return;
    }
    if (how == child_out_of_memory) {
        error = library + " ran out of memory reading " + reading + " (its limit is " +
                std::to_string(limits.memory_mb) + " MB beyond the converter's own; " +
                "--decode-memory sets it)";
        return;
    }
    if (child_status != 0) {
        error = child_error;
        return;
    }
    if (!failures.empty()) {
        error = failures.front();
        return;
    }
    result = frame.rest();
    status = 0;
}
