// The region run shared among the processes of an MPI job: one leader prepares what the
// day's lines share, every process runs its share of the lines with the region driver and
// writes them at their place in the outputs, and the leader logs every line in line order.
#include "mpi/region.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <numeric>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_run_mod.hpp"
#include "utils/fixed_text.hpp"
#include "ornax90/type_kinds.hpp"

namespace {

constexpr int leader = 0;

int comm_rank(MPI_Comm comm) {
    int rank = 0;
    MPI_Comm_rank(comm, &rank);
    return rank;
}

int comm_size(MPI_Comm comm) {
    int size = 1;
    MPI_Comm_size(comm, &size);
    return size;
}

// Statuses of every process, by rank.
std::vector<int> all_statuses(MPI_Comm comm, int status) {
    std::vector<int> all(static_cast<std::size_t>(comm_size(comm)), 0);
    MPI_Allgather(&status, 1, MPI_INT, all.data(), 1, MPI_INT, comm);
    return all;
}

int worst(const std::vector<int>& statuses) {
    for (int s : statuses)
        if (s != 0) return ornax_status_failure;
    return 0;
}

// Texts of every process gathered on the leader, by rank (empty elsewhere).
std::vector<std::vector<std::string>> gather_texts(MPI_Comm comm,
                                                   const std::vector<std::string>& texts) {
    const int size = comm_size(comm);
    const bool leading = comm_rank(comm) == leader;
    std::vector<int> lengths;
    std::string joined;
    for (const std::string& t : texts) {
        lengths.push_back(static_cast<int>(t.size()));
        joined += t;
    }
    int count = static_cast<int>(lengths.size());
    std::vector<int> counts(static_cast<std::size_t>(size), 0);
    MPI_Gather(&count, 1, MPI_INT, counts.data(), 1, MPI_INT, leader, comm);
    std::vector<int> count_at(counts.size(), 0);
    std::exclusive_scan(counts.begin(), counts.end(), count_at.begin(), 0);
    std::vector<int> all_lengths(
        leading ? static_cast<std::size_t>(std::accumulate(counts.begin(), counts.end(), 0)) : 0);
    MPI_Gatherv(lengths.data(), count, MPI_INT, all_lengths.data(), counts.data(), count_at.data(),
                MPI_INT, leader, comm);

    int bytes = static_cast<int>(joined.size());
    std::vector<int> byte_counts(static_cast<std::size_t>(size), 0);
    MPI_Gather(&bytes, 1, MPI_INT, byte_counts.data(), 1, MPI_INT, leader, comm);
    std::vector<int> byte_at(byte_counts.size(), 0);
    std::exclusive_scan(byte_counts.begin(), byte_counts.end(), byte_at.begin(), 0);
    std::string all_bytes(leading ? static_cast<std::size_t>(
                                        std::accumulate(byte_counts.begin(), byte_counts.end(), 0))
                                  : 0,
                          '\0');
    MPI_Gatherv(joined.data(), bytes, MPI_CHAR, all_bytes.data(), byte_counts.data(),
                byte_at.data(), MPI_CHAR, leader, comm);

    std::vector<std::vector<std::string>> by_rank(leading ? static_cast<std::size_t>(size) : 0);
    for (std::size_t r = 0; r < by_rank.size(); ++r) {
        std::size_t at = static_cast<std::size_t>(byte_at[r]);
        for (int i = 0; i < counts[r]; ++i) {
            const auto n = static_cast<std::size_t>(all_lengths[count_at[r] + i]);
            by_rank[r].push_back(all_bytes.substr(at, n));
            at += n;
        }
    }
    return by_rank;
}

// The leader's texts on every process.
std::vector<std::string> broadcast_texts(MPI_Comm comm, const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& t : texts) {
        joined += t;
        joined.push_back('\0');
    }
    unsigned long long bytes = joined.size();
    MPI_Bcast(&bytes, 1, MPI_UNSIGNED_LONG_LONG, leader, comm);
    joined.resize(static_cast<std::size_t>(bytes));
    MPI_Bcast(joined.data(), static_cast<int>(bytes), MPI_CHAR, leader, comm);
    std::vector<std::string> all;
    for (std::size_t at = 0; at < joined.size();) {
        const std::size_t end = joined.find('\0', at);
        all.push_back(joined.substr(at, end - at));
        at = end + 1;
    }
    return all;
}

// Counts and times of every process combined on the leader: counts and working seconds
// summed, set-up and total the longest of any process.
Ornaxregionruntimes combine_times(MPI_Comm comm, const Ornaxregionruntimes& t) {
    long long counts[4] = {t.lines, t.failed_lines, t.pixels, t.computed};
    double work[3] = {t.read_s, t.core_s, t.write_s};
    double spans[2] = {t.setup_s, t.total_s};
    long long count_sums[4] = {};
    double work_sums[3] = {}, span_max[2] = {};
    MPI_Reduce(counts, count_sums, 4, MPI_LONG_LONG, MPI_SUM, leader, comm);
    MPI_Reduce(work, work_sums, 3, MPI_DOUBLE, MPI_SUM, leader, comm);
    MPI_Reduce(spans, span_max, 2, MPI_DOUBLE, MPI_MAX, leader, comm);
    Ornaxregionruntimes all;
    all.lines = static_cast<int>(count_sums[0]);
    all.failed_lines = static_cast<int>(count_sums[1]);
    all.pixels = count_sums[2];
    all.computed = count_sums[3];
    all.read_s = work_sums[0];
    all.core_s = work_sums[1];
    all.write_s = work_sums[2];
    all.setup_s = span_max[0];
    all.total_s = span_max[1];
    all.threads = t.threads;  // of each process
    return all;
}

// A line's messages as bytes, and back: per message its channel, path and text.
void put_size(std::string& bytes, std::size_t n) {
    for (int b = 0; b < 8; ++b) bytes.push_back(static_cast<char>((n >> (8 * b)) & 0xff));
}

std::size_t get_size(const std::string& bytes, std::size_t& at) {
    std::size_t n = 0;
    for (int b = 0; b < 8 && at < bytes.size(); ++b, ++at)
        n |= static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) << (8 * b);
    return n;
}

std::string encode_messages(const Ornaxmessagebuffer& messages) {
    std::string bytes;
    for (const Ornaxmessagebuffer::Entry& entry : messages.entries) {
        put_size(bytes, static_cast<std::size_t>(entry.channel));
        put_size(bytes, entry.path.size());
        bytes += entry.path;
        put_size(bytes, entry.text.size());
        bytes += entry.text;
    }
    return bytes;
}

Ornaxmessagebuffer decode_messages(const std::string& bytes) {
    Ornaxmessagebuffer messages;
    std::size_t at = 0;
    while (at < bytes.size()) {
        Ornaxmessagebuffer::Entry entry;
        entry.channel = static_cast<Ornaxmessagebuffer::Channel>(get_size(bytes, at));
        const std::size_t path_size = get_size(bytes, at);
        entry.path = bytes.substr(at, path_size);
        at += path_size;
        const std::size_t text_size = get_size(bytes, at);
        entry.text = bytes.substr(at, text_size);
        at += text_size;
        messages.entries.push_back(std::move(entry));
    }
    return messages;
}

// A line's share of the run summary as bytes, and back: whether it failed, its nonzero
// flag counts, the pixels of no flag, and per variable the count, sum, minimum and maximum
// as their bit patterns, so the leader adds exactly what the line's process computed.
std::string encode_summary(const Ornaxlinesummarytype& slot) {
    std::string bytes;
    put_size(bytes, slot.failed ? 1 : 0);
    std::size_t flagged = 0;
    for (int n : slot.flags) flagged += n != 0;
    put_size(bytes, flagged);
    for (std::size_t flag = 0; flag < slot.flags.size(); ++flag) {
        if (slot.flags[flag] == 0) continue;
        put_size(bytes, flag);
        put_size(bytes, static_cast<std::size_t>(slot.flags[flag]));
    }
    put_size(bytes, static_cast<std::size_t>(slot.other_flags));
    put_size(bytes, slot.vars.size());
    for (const Ornaxvarstatstype& v : slot.vars) {
        put_size(bytes, static_cast<std::size_t>(v.count));
        put_size(bytes, std::bit_cast<std::uint64_t>(v.sum));
        put_size(bytes, std::bit_cast<std::uint32_t>(v.minimum));
        put_size(bytes, std::bit_cast<std::uint32_t>(v.maximum));
    }
    return bytes;
}

Ornaxlinesummarytype decode_summary(const std::string& bytes, std::size_t& at) {
    Ornaxlinesummarytype slot;
    slot.added = true;
    slot.failed = get_size(bytes, at) != 0;
    const std::size_t flagged = get_size(bytes, at);
    for (std::size_t i = 0; i < flagged; ++i) {
        const std::size_t flag = get_size(bytes, at);
        const int count = static_cast<int>(get_size(bytes, at));
        if (flag < slot.flags.size()) slot.flags[flag] = count;
    }
    slot.other_flags = static_cast<int>(get_size(bytes, at));
    slot.vars.resize(std::min<std::size_t>(get_size(bytes, at), bytes.size()));
    for (Ornaxvarstatstype& v : slot.vars) {
        v.count = static_cast<long long>(get_size(bytes, at));
        v.sum = std::bit_cast<double>(static_cast<std::uint64_t>(get_size(bytes, at)));
        v.minimum = std::bit_cast<float>(static_cast<std::uint32_t>(get_size(bytes, at)));
        v.maximum = std::bit_cast<float>(static_cast<std::uint32_t>(get_size(bytes, at)));
    }
    return slot;
}

// The failure causes among captured messages, oldest first.
std::vector<std::string> failure_causes_of(const Ornaxmessagebuffer& captured) {
    std::vector<std::string> causes;
    for (const Ornaxmessagebuffer::Entry& entry : captured.entries)
        if (entry.channel == Ornaxmessagebuffer::Channel::failure) causes.push_back(entry.text);
    return causes;
}

// A follower's set-up failure: its log lines on the standard error stream, marked with
// the process, since only the leader writes the run log.
void report_follower_setup(int rank, const Ornaxmessagebuffer& captured) {
    std::fprintf(stderr, "ornax_mpi.x: process %d could not begin its share of the run:\n", rank);
    for (const Ornaxmessagebuffer::Entry& entry : captured.entries)
        if (entry.channel == Ornaxmessagebuffer::Channel::log ||
            entry.channel == Ornaxmessagebuffer::Channel::failure)
            std::fprintf(stderr, "%s\n", entry.text.c_str());
    std::fflush(stderr);
}

}  // namespace

void ornax_mpi_run_region(MPI_Comm comm, const std::string& region_config_file, int region_switch,
                          int year, int doy, const std::string& output_folder, int& status) {
    const int rank = comm_rank(comm), size = comm_size(comm);
    const bool leading = rank == leader;
    const Ornaxregionrole role = size == 1 ? Ornaxregionrole::alone
                                 : leading ? Ornaxregionrole::leader
                                           : Ornaxregionrole::follower;
    Ornaxregionruntype run;
    run.output_folder = output_folder;

    // The leader begins first: the followers open what it prepared.
    int begin_status = 0;
    std::vector<std::string> temporaries;  // the leader's output set, which the others join
    if (leading) {
        ornax_log_msg((FreeLine() << "Region lines shared among" << size << "processes").str());
        ornax_region_begin(run, region_config_file, region_switch, year, doy, role, nullptr,
                           begin_status);
        temporaries = ornax_region_output_temporaries(run);
    }
    MPI_Bcast(&begin_status, 1, MPI_INT, leader, comm);
    temporaries = broadcast_texts(comm, temporaries);
    std::vector<std::string> follower_causes;
    if (!leading && begin_status == 0) {
        Ornaxmessagebuffer follower_messages;  // the leader has given the same set-up messages
        {
            OrnaxMessageCapture capture(follower_messages);
            ornax_region_begin(run, region_config_file, region_switch, year, doy, role,
                               &temporaries, begin_status);
        }
        if (begin_status != 0) {
            report_follower_setup(rank, follower_messages);
            follower_causes = failure_causes_of(follower_messages);
        }
    }
    const std::vector<int> begun = all_statuses(comm, begin_status);
    // The leader names each follower's first cause (a missing file, HOME_DIR not set there).
    const std::vector<std::vector<std::string>> causes = gather_texts(comm, follower_causes);
    if (leading)
        for (int r = 1; r < size; ++r) {
            if (begun[static_cast<std::size_t>(r)] == 0 || begun[0] != 0) continue;
            const std::vector<std::string>& of_rank = causes[static_cast<std::size_t>(r)];
            ornax_log_failure((FreeLine()
                               << "Process" << r << "could not begin its share of the run: "
                               << (of_rank.empty() ? "no cause given" : of_rank[0]))
                                  .str());
        }

    int run_status = worst(begun);
    const std::vector<int> line_rows =
        run_status == 0 ? ornax_region_line_forcing_rows(run) : std::vector<int>{};
    const std::vector<int> lines = ornax_region_share_lines(line_rows, rank, size);
    std::vector<Ornaxlinereporttype> reports;
    if (run_status == 0) ornax_region_run_lines(run, lines, &reports, run_status);
    // per line: its status, where it failed, its share of the summary, then its messages
    std::vector<std::string> encoded;
    for (const Ornaxlinereporttype& report : reports) {
        std::string bytes(1, report.status != 0 ? '3' : '0');
        bytes.push_back(report.failed ? 'f' : '-');
        bytes.append(report.stage).push_back('\0');
        const std::string summary = encode_summary(report.summary);
        put_size(bytes, summary.size());
        bytes.append(summary);
        bytes.append(encode_messages(report.messages));
        encoded.push_back(std::move(bytes));
    }
    reports.clear();

    Ornaxregionruntimes times;
    int end_status = 0;
    ornax_region_end(run, times, end_status);  // every output closed before the others read
    if (end_status != 0) run_status = ornax_status_failure;

    // Each process digests its share of the files the run record lists; the leader takes
    // file i from process i % size.
    std::vector<std::string> digests;
    if (run_status == 0) ornax_region_input_digests(run, rank, size, digests);
    const std::vector<std::vector<std::string>> digested = gather_texts(comm, digests);
    if (leading) {
        bool whole = !digests.empty();
        for (const std::vector<std::string>& of_rank : digested)
            whole = whole && of_rank.size() == digests.size();
        for (std::size_t i = 0; whole && i < digests.size(); ++i)
            digests[i] = digested[i % static_cast<std::size_t>(size)][i];
        // processes that listed other files leave the digests to the publishing
        if (whole) run.input_digests = std::move(digests);
    }

    const std::vector<std::vector<std::string>> gathered = gather_texts(comm, encoded);
    const Ornaxregionruntimes all_times = combine_times(comm, times);
    status = worst(all_statuses(comm, run_status));
    if (leading) {
        // Where each line ran: its process, and its place among that process's lines.
        const std::size_t nlines = static_cast<std::size_t>(all_times.lines);
        std::vector<std::pair<int, std::size_t>> ran_at(line_rows.size(), {-1, 0});
        for (int r = 0; r < size; ++r) {
            const std::vector<int> of_process = ornax_region_share_lines(line_rows, r, size);
            for (std::size_t at = 0; at < of_process.size(); ++at)
                ran_at[static_cast<std::size_t>(of_process[at] - 1)] = {r, at};
        }
        std::vector<Ornaxlinesummarytype> line_summaries(nlines);
        int failing = 0;  // lines that fail the run
        for (std::size_t i = 0; i < nlines && i < ran_at.size(); ++i) {
            const auto [process, at] = ran_at[i];
            if (process < 0) continue;
            const std::vector<std::string>& of_rank = gathered[static_cast<std::size_t>(process)];
            if (at >= of_rank.size() || of_rank[at].size() < 3) continue;
            const std::string& text = of_rank[at];
            std::size_t next = text.find('\0', 2);
            const std::string stage = text.substr(2, next - 2);
            ++next;
            const std::size_t summary_end = get_size(text, next) + next;
            line_summaries[i] = decode_summary(text, next);
            ornax_release_messages(
                decode_messages(text.substr(std::min(summary_end, text.size()))));
            if (text[0] == '0') continue;
            // The first failed line is named as a cause of the run's failure.
            if (failing == 0 && text[1] == 'f' && !stage.empty())
                ornax_log_line_failure(static_cast<int>(i) + 1, static_cast<int>(nlines), stage);
            ++failing;
        }
        if (failing > 0) ornax_log_failed_lines(failing, all_times.lines, all_times.computed);
        if (all_times.lines > 0) {
            ornax_region_publish(run, all_times, line_summaries, status);
            ornax_log_region_summary(all_times);
        }
    }
    // The publishing may fail the run; every process ends with the leader's status.
    MPI_Bcast(&status, 1, MPI_INT, leader, comm);
}

void ornax_mpi_run_region_range(MPI_Comm comm, const Ornaxregionrangetype& range, int& status) {
    const bool leading = comm_rank(comm) == leader;
    const auto run_day = [&](const Ornaxregiondaytype& day, const std::string& folder, int& st) {
        ornax_mpi_run_region(comm, range.config_file, range.region_switch, day.year, day.doy,
                             folder, st);
    };
    // the leader reads the day's run record; every process takes its answer
    const auto complete = [&](const Ornaxregiondaytype& day) {
        int done = 0;
        if (leading) {
            std::string dir;
            int st = 0;
            ornax_region_day_output_dir(range.config_file, day, range.dated, dir, st);
            done = st == 0 && ornax_day_published_complete(dir, day) ? 1 : 0;
        }
        MPI_Bcast(&done, 1, MPI_INT, leader, comm);
        return done == 1;
    };
    if (leading) ornax_region_range_recover(range);
    std::vector<Ornaxdayresulttype> results;
    ornax_run_region_days(range, run_day, complete, leading, results, status);
}
