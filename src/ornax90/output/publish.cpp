// Publication of finished outputs by rename: the journal of a switch, the switch itself and
// the recovery of a switch whose process died.
#include "ornax90/output/publish.hpp"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <system_error>

#include "ornax90/ORNAX_log_mod.hpp"

namespace {

namespace fs = std::filesystem;

constexpr const char* journal_prefix = ".publish-";
constexpr const char* journal_suffix = ".journal";

// One output of a switch as the journal records it.
struct JournalEntry {
    fs::path destination, staged, aside;
    bool existed = false;
};

// "PID-N", N random; safe to call from several threads at once.
std::string unique_suffix() {
    static std::mutex guard;
    static std::mt19937 generator{std::random_device{}()};
    unsigned long n = 0;
    {
        std::lock_guard<std::mutex> lock(guard);
        n = generator() % 1000000;
    }
    return std::to_string(getpid()) + "-" + std::to_string(n);
}

// Renames, after killing the process when the test variable names this rename; the rename
// the other test variable names fails as on a full device.
void counted_rename(const fs::path& from, const fs::path& to, std::error_code& ec) {
    static int renames = 0;  // renames made while a variable is set
    const char* kill_at = std::getenv(ornax_publish_kill_variable);
    const char* fail_at = std::getenv(ornax_publish_fail_variable);
    if (kill_at != nullptr || fail_at != nullptr) ++renames;
    if (kill_at != nullptr && std::atoi(kill_at) == renames) ::kill(::getpid(), SIGKILL);
    if (fail_at != nullptr && std::atoi(fail_at) == renames) {
        ec = std::make_error_code(std::errc::no_space_on_device);
        return;
    }
    fs::rename(from, to, ec);
}

// The process id of a staging or journal suffix "PID-N", or 0 when text is not one.
long process_of(const std::string& text) {
    const std::size_t dash = text.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 >= text.size()) return 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i != dash && (text[i] < '0' || text[i] > '9')) return 0;
    return std::atol(text.substr(0, dash).c_str());
}

bool process_runs(long pid) {
    if (pid <= 0) return true;  // not one of ours: never touched
    if (pid == static_cast<long>(::getpid())) return true;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::string journal_text(const std::vector<JournalEntry>& entries) {
    std::string text;
    for (const JournalEntry& e : entries)
        text += e.destination.string() + '\t' + e.staged.string() + '\t' + e.aside.string() + '\t' +
                (e.existed ? "1" : "0") + '\n';
    return text;
}

bool read_journal(const fs::path& file, std::vector<JournalEntry>& entries) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string d, s, a, existed;
        if (!std::getline(fields, d, '\t') || !std::getline(fields, s, '\t') ||
            !std::getline(fields, a, '\t') || !std::getline(fields, existed))
            return false;
        entries.push_back({d, s, a, existed == "1"});
    }
    return true;
}

// Writes the journal through a staging name; the rename makes it count.
bool write_journal(const fs::path& file, const std::vector<JournalEntry>& entries,
                   std::string& error) {
    const fs::path temp = ornax_publish_staging_name(file.string());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << journal_text(entries);
        out.close();
        if (!out) {
            error = "cannot write the journal " + temp.string();
            std::error_code ec;
            fs::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    counted_rename(temp, file, ec);
    if (ec) {
        error = "cannot rename " + temp.string() + " to " + file.string() + ": " + ec.message();
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

// Finishes a switch from the journal: every old version aside, every staged copy in place,
// the old versions removed, then the journal. Each step can be repeated after a kill.
void finish_switch(const fs::path& journal, const std::vector<JournalEntry>& entries) {
    std::error_code ec;
    for (const JournalEntry& e : entries) {
        const bool retired = e.staged.empty();
        if (!retired && !fs::exists(e.staged, ec)) continue;  // already in place
        if (e.existed && !fs::exists(e.aside, ec) && fs::exists(e.destination, ec))
            counted_rename(e.destination, e.aside, ec);
        if (retired) continue;
        counted_rename(e.staged, e.destination, ec);
        if (ec)
            ornax_log_failure("cannot rename " + e.staged.string() + " to " +
                              e.destination.string() + ": " + ec.message());
    }
    for (const JournalEntry& e : entries)
        if (e.existed) fs::remove_all(e.aside, ec);
    fs::remove(journal, ec);
}

}  // namespace

std::string ornax_publish_staging_name(const std::string& destination) {
    fs::path path = fs::path(destination).lexically_normal();
    if (path.filename().empty()) path = path.parent_path();
    return (path.parent_path() / (path.filename().string() + ".partial-" + unique_suffix()))
        .string();
}

void ornax_publish(const std::vector<PublishEntry>& entries, bool replace, std::string& error,
                   int& status) {
    status = 0;
    std::error_code ec;
    std::vector<JournalEntry> journal_entries;
    for (const PublishEntry& p : entries) {
        JournalEntry e;
        e.destination = fs::absolute(p.destination, ec).lexically_normal();
        if (e.destination.filename().empty()) e.destination = e.destination.parent_path();
        if (!p.staged.empty()) e.staged = fs::absolute(p.staged, ec).lexically_normal();
        e.existed = fs::exists(fs::symlink_status(e.destination, ec));
        e.aside = ornax_publish_staging_name(e.destination.string() + ".old");
        if (e.staged.empty() && !e.existed) continue;  // nothing to retire
        if (e.existed && !replace) {
            error = p.destination + " exists already (not replaced)";
            status = ornax_status_failure;
            return;
        }
        journal_entries.push_back(e);
    }
    if (journal_entries.empty()) return;
    const fs::path journal = journal_entries.front().destination.parent_path() /
                             (std::string(journal_prefix) + unique_suffix() + journal_suffix);
    if (!write_journal(journal, journal_entries, error)) {
        status = ornax_status_failure;
        return;
    }
    // old versions aside, then the new ones in place; on a failure everything goes back
    std::size_t aside = 0, placed = 0;  // counts of the entries done
    ec.clear();
    for (; aside < journal_entries.size(); ++aside) {
        const JournalEntry& e = journal_entries[aside];
        if (e.existed) counted_rename(e.destination, e.aside, ec);
        if (ec) {
            error = "cannot move the old " + e.destination.string() + " aside: " + ec.message();
            break;
        }
    }
    for (; !ec && placed < journal_entries.size(); ++placed) {
        const JournalEntry& e = journal_entries[placed];
        if (e.staged.empty()) continue;  // retired only
        counted_rename(e.staged, e.destination, ec);
        if (ec) {
            error = "cannot rename " + e.staged.string() + " to " + e.destination.string() + ": " +
                    ec.message();
            break;
        }
    }
    if (ec) {
        std::error_code back;
        for (std::size_t i = 0; i < placed; ++i)
            if (!journal_entries[i].staged.empty())
                fs::rename(journal_entries[i].destination, journal_entries[i].staged, back);
        for (std::size_t i = 0; i < aside; ++i)
            if (journal_entries[i].existed)
                fs::rename(journal_entries[i].aside, journal_entries[i].destination, back);
        fs::remove(journal, back);
        status = ornax_status_failure;
        return;
    }
    for (const JournalEntry& e : journal_entries)
        if (e.existed) fs::remove_all(e.aside, ec);
    fs::remove(journal, ec);
}

void ornax_publish_recover(const std::string& folder) {
    const fs::path dir = folder.empty() ? fs::path(".") : fs::path(folder);
    std::error_code ec;
    std::vector<fs::path> journals, staging;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        const std::size_t suffix = name.size() - std::string(journal_suffix).size();
        if (name.rfind(journal_prefix, 0) == 0 && name.size() > suffix &&
            name.compare(suffix, std::string::npos, journal_suffix) == 0) {
            const std::string id = name.substr(std::string(journal_prefix).size(),
                                               suffix - std::string(journal_prefix).size());
            if (!process_runs(process_of(id))) journals.push_back(entry.path());
            continue;
        }
        const std::size_t at = name.rfind(".partial-");
        if (at != std::string::npos && !process_runs(process_of(name.substr(at + 9))))
            staging.push_back(entry.path());
    }
    for (const fs::path& journal : journals) {
        std::vector<JournalEntry> entries;
        if (!read_journal(journal, entries)) continue;
        ornax_log_msg("Finishing the publication that an ended process left in " +
                      journal.string());
        finish_switch(journal, entries);
    }
    for (const fs::path& path : staging) {
        if (!fs::exists(fs::symlink_status(path, ec))) continue;  // moved by a journal
        fs::remove_all(path, ec);
        ornax_log_msg("Removed " + path.string() + ", left by a process that no longer runs");
    }
}
