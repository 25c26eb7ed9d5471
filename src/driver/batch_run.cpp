#include "driver/batch_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <thread>
#include <unordered_map>

#include "batch/batch_inputs.h"
#include "batch/catalogue_gather.h"
#include "batch/catalogue_store.h"
#include "batch/file_runner.h"
#include "batch/result_entry.h"
#include "cli/options.h"
#include "process/exit_status.h"
#include "process/process_guard.h"
#include "driver/run_judgement.h"
#include "output/progress.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

int fail(const std::string& message, int status = kToolFailure) {
    fprintf(stderr, "frameprobe batch: %s\n", message.c_str());
    return status;
}

std::string clock(double seconds) {
    const auto s = static_cast<long long>(std::llround(seconds));
    char text[32];
    if (s >= 3600) snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

struct Counts {
    int64_t toRun = 0, measured = 0, unreadable = 0, skipped = 0;
    std::map<std::string, int64_t> verdicts;  // of the files measured now
    int64_t qcFailed = 0;                     // measured now or before, exit status 3
    int64_t failedBefore = 0;                 // rows left failed from an earlier batch
};

class Progress {
public:
    Progress(bool shown, int64_t total) : shown_(shown), terminal_(isTerminal(stderr)), total_(total) {}
    void update(const Counts& c, bool force = false) {
        if (!shown_) return;
        const auto now = Clock::now();
        if (!force && now - last_ < (terminal_ ? std::chrono::milliseconds(200) : std::chrono::seconds(10))) return;
        last_ = now;
        const int64_t finished = c.measured + c.unreadable;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(finished) / seconds : 0;
        char text[200];
        snprintf(text, sizeof text, "%lld / %lld files  %lld failed  %.1f files/s", static_cast<long long>(finished),
                 static_cast<long long>(total_), static_cast<long long>(c.unreadable + c.qcFailed), rate);
        std::string line = text;
        if (rate > 0 && finished < total_) line += "  ETA " + clock(static_cast<double>(total_ - finished) / rate);
        fprintf(stderr, terminal_ ? "\r\033[K%s" : "%s\n", line.c_str());
        fflush(stderr);
        drawn_ = terminal_;
    }
    void clear() {
        if (drawn_) fputs("\r\033[K", stderr);
        drawn_ = false;
    }
    double seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

private:
    bool shown_, terminal_, drawn_ = false;
    int64_t total_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_ = start_;
};

struct Running {
    int64_t id;
    std::string path;
    std::string stem;
    std::string errorFile;
    Clock::time_point started;
};

struct Task {
    int64_t id;
    std::string path;
};

// What a finished child left: its result read back, or why there is none.
FileOutcome outcomeOf(const Running& run, int waitStatus, const fs::path& dir, const fs::path& resultFile) {
    FileOutcome o;
    o.seconds = std::chrono::duration<double>(Clock::now() - run.started).count();
    o.exitStatus = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    if (o.exitStatus == 0 || o.exitStatus == kQcFailure) {
        try {
            std::ifstream in(resultFile, std::ios::binary);
            o.entry = entryOfResult(nlohmann::json::parse(in));
            o.done = true;
            o.result = resultFile.lexically_relative(dir).generic_string();
            return o;
        } catch (const nlohmann::json::exception& e) {
            o.message = "its result could not be read: " + std::string(e.what());
            o.exitStatus = kToolFailure;
            return o;
        }
    }
    o.message = lastMessage(run.errorFile);
    if (o.message.empty()) o.message = "the run ended with " + describeWaitStatus(waitStatus);
    return o;
}

}  // namespace

int runBatch(int argc, char** argv) {
    CLI::App app{"Measures many files in parallel into one folder: a JSON result per file and a SQLite catalogue "
                 "(DIR/catalogue.sqlite) of them all. Run again with the same folder, it measures only the files "
                 "that are new, changed or (with --retry-failed) failed.",
                 "frameprobe batch"};
    std::string out;
    std::vector<std::string> given;
    InputFilter filter;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    std::optional<unsigned> threads;
    bool retryFailed = false, quiet = false, reports = false;
    app.add_option("--out", out, "The batch folder: results/, catalogue.sqlite")->required();
    app.add_option("INPUT", given, "Files, and folders whose files are measured");
    std::string filesFrom;
    app.add_option("--files-from", filesFrom,
                   "Also the files and folders listed in this file, one a line (- for standard input), for lists "
                   "longer than a command line takes");
    app.add_option("-j,--jobs", jobs, "Files measured at once (default: the CPUs)")->check(CLI::Range(1u, 1024u));
    app.add_option("-t,--threads", threads, "Worker threads of each file's run (default: the CPUs shared out)")
        ->check(CLI::Range(1u, 1024u));
    app.add_option("--include", filter.include,
                   "Only files of folders that match this glob (repeatable; a name, or a path below the folder "
                   "when it has a /)")
        ->allow_extra_args(false);
    app.add_option("--exclude", filter.exclude, "Leave out files of folders that match this glob (repeatable)")
        ->allow_extra_args(false);
    std::vector<std::string> gather;
    app.add_option("--gather", gather,
                   "Take in the rows and results of another batch's folder (a task of a cluster plan), then remove "
                   "it (repeatable)")
        ->allow_extra_args(false);
    app.add_flag("--retry-failed", retryFailed, "Measure again the files that could not be measured before");
    app.add_flag("--reports", reports, "Write an HTML report beside each result");
    app.add_flag("-q,--quiet", quiet, "No progress and no summary");
    // The settings of each file's run, as the option form takes them.
    std::vector<std::string> settings;
    const auto pass = [&](const std::string& names, const std::string& help, bool repeat = false) {
        const std::string flag = names.substr(names.rfind(',') == std::string::npos ? 0 : names.rfind(',') + 1);
        CLI::Option* option = app.add_option_function<std::vector<std::string>>(
            names, [&settings, flag](const std::vector<std::string>& values) {
                for (const std::string& v : values) settings.insert(settings.end(), {flag, v});
            },
            help);
        if (repeat) option->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        else option->allow_extra_args(false);
    };
    pass("-s,--size", "Frame size of raw inputs, WxH");
    pass("--fps", "Frame rate (default: each input's, else 25)");
    pass("--frames", "Frames to measure of each file");
    pass("--start", "First frame to measure of each file");
    pass("--stream", "Video stream of each container");
    pass("--indicators", "Indicators to measure, as for a single run");
    pass("--max-pixels", "Largest frame to measure, in pixels");
    pass("--profile", "QC profile: a name (frameprobe profiles) or a TOML file");
    pass("--fail-on", "QC condition, repeatable, as for a single run", true);
    for (const std::string_view type : rowEventTypes())
        pass("--" + optionName(type) + "-min-duration", "Shortest " + std::string(type) + " event, in seconds");
    pass("--flicker-threshold", "Flicker threshold, as for a single run");
    bool strict = false;
    app.add_flag("--strict", strict, "A verdict of warn counts as failed (status 3)");
    app.footer("Exit status: 0 when every file passed, 3 when any failed its verdict, 1 when any could not be\n"
               "measured (or the batch itself failed), 2 for a command line it could not understand, 130 or 143\n"
               "after SIGINT or SIGTERM (the files being measured then are measured again by the next batch).");
    try {
        app.parse(argc - 1, argv + 1);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        fprintf(stderr, "frameprobe batch: %s\nRun 'frameprobe batch --help' for the options.\n", e.what());
        return kUsageStatus;
    }
    if (strict) settings.push_back("--strict");
    if (!filesFrom.empty()) {
        std::ifstream file;
        if (filesFrom != "-") file.open(filesFrom);
        std::istream& list = filesFrom == "-" ? std::cin : file;
        if (!list) return fail("cannot read " + filesFrom + ": " + std::strerror(errno));
        for (std::string line; std::getline(list, line);)
            if (!line.empty()) given.push_back(line);
    }
    if (given.empty() && gather.empty()) return fail("no INPUT given", kUsageStatus);

    // The settings are checked once, as a run would check them, before any file.
    {
        std::vector<std::string> check{"frameprobe"};
        check.insert(check.end(), settings.begin(), settings.end());
        check.insert(check.end(), {"--format", "json", "--no-log", "input"});
        std::vector<char*> args;
        for (std::string& a : check) args.push_back(a.data());
        const ParsedOptions parsed = parseOptions(static_cast<int>(args.size()), args.data());
        if (const int* status = std::get_if<int>(&parsed)) return *status;
        try {
            prepareJudgement(std::get<RunOptions>(parsed));
        } catch (const std::exception& e) {
            return fail(e.what(), kUsageStatus);
        }
    }
    if (std::find(given.begin(), given.end(), "-") != given.end())
        return fail("standard input cannot be one of a batch's files", kUsageStatus);

    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return fail("cannot find the program's own file");
    const std::string program(self, static_cast<std::size_t>(length));
    if (!threads) threads = std::max(1u, std::max(1u, std::thread::hardware_concurrency()) / jobs);

    const fs::path dir = fs::absolute(out).lexically_normal();
    const fs::path results = dir / "results", work = dir / ".work";
    std::error_code error;
    fs::create_directories(results, error);
    if (!error) fs::create_directories(work, error);
    if (error) return fail("cannot make the folder " + out + ": " + error.message());
    if (lockBatchFolder(dir) < 0) return fail("another batch is using " + out);
    // Left by a batch that was killed: its runs' error files and unfinished results.
    for (const fs::path& folder : {work, results})
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
            if (folder == work || entry.path().filename().string().front() == '.') fs::remove(entry.path(), error);

    std::vector<BatchInput> inputs;
    try {
        inputs = batchInputs(given, filter, dir);
    } catch (const BatchInputError& e) {
        return fail(e.what());
    }

    Counts counts;
    std::deque<Task> queue;
    std::optional<CatalogueStore> store;
    try {
        store.emplace(dir / CatalogueStore::kFileName);
        auto rows = store->files();
        for (const std::string& folder : gather) {
            const int64_t taken = gatherBatch(*store, rows, dir, fs::absolute(folder).lexically_normal());
            store->note("gathered", nullptr, nlohmann::json{{"folder", folder}, {"files", taken}}.dump());
        }
        store->begin();
        nlohmann::json started = {{"inputs", inputs.size()}, {"settings", settings}, {"jobs", jobs}};
        store->note("batch_started", nullptr, started.dump());
        for (const BatchInput& input : inputs) {
            const auto found = rows.find(input.path);
            if (found == rows.end()) {
                queue.push_back({store->addPending(input.path, input.stamp), input.path});
                continue;
            }
            const StoredFile& row = found->second;
            const bool changed = row.stamp != input.stamp;
            if (!changed && row.state == "done") {
                ++counts.skipped;
                if (row.exitStatus == kQcFailure) ++counts.qcFailed;
                continue;
            }
            if (!changed && row.state == "failed" && !retryFailed) {
                ++counts.skipped;
                ++counts.failedBefore;
                continue;
            }
            if (changed || row.state == "failed") {
                store->resetPending(row.id, input.stamp);
                store->note(changed ? "changed" : "retried", &input.path, "");
            }
            queue.push_back({row.id, input.path});
        }
        store->commit();
    } catch (const CatalogueError& e) {
        return fail(e.what());
    }
    counts.toRun = static_cast<int64_t>(queue.size());

    // Children and stop signals are taken in turn by sigtimedwait(), never by a handler.
    sigset_t waited;
    sigemptyset(&waited);
    for (int s : {SIGCHLD, SIGINT, SIGTERM}) sigaddset(&waited, s);
    sigprocmask(SIG_BLOCK, &waited, nullptr);
    int stoppedBy = stopSignal();

    Progress progress(!quiet, counts.toRun);
    std::unordered_map<pid_t, Running> running;
    try {
        while (!queue.empty() || !running.empty()) {
            while (!stoppedBy && !queue.empty() && running.size() < jobs) {
                const Task task = queue.front();
                queue.pop_front();
                Running run{task.id, task.path, resultStem(task.id, task.path), "", Clock::now()};
                run.errorFile = (work / (run.stem + ".err")).string();
                std::vector<std::string> child{program};
                child.insert(child.end(), settings.begin(), settings.end());
                child.insert(child.end(), {"--format", "json", "-q", "--no-log", "--threads", std::to_string(*threads),
                                           "-o", (results / (run.stem + ".json")).string()});
                if (reports) child.insert(child.end(), {"--report", (results / (run.stem + ".html")).string()});
                child.insert(child.end(), {"--", task.path});
                const pid_t pid = startChild(child, run.errorFile);
                if (pid < 0) throw CatalogueError(std::string("cannot start a run: ") + std::strerror(errno));
                running.emplace(pid, std::move(run));
            }
            if (running.empty()) break;
            const timespec tick{1, 0};
            siginfo_t info{};
            const int signal = sigtimedwait(&waited, &info, &tick);
            if ((signal == SIGINT || signal == SIGTERM) && !stoppedBy) {
                // Their results would not be recorded, and a run may wait on its input for long.
                stoppedBy = signal;
                for (const auto& [pid, run] : running) kill(pid, SIGKILL);
            }
            int status = 0;
            pid_t pid;
            while ((pid = waitpid(-1, &status, WNOHANG)) > 0) {
                const auto found = running.find(pid);
                if (found == running.end()) continue;
                const Running run = std::move(found->second);
                running.erase(found);
                if (stoppedBy) continue;  // cut short: measured again by the next batch
                const FileOutcome o = outcomeOf(run, status, dir, results / (run.stem + ".json"));
                fs::remove(run.errorFile, error);
                store->record(run.id, run.path, o);
                if (!o.done) ++counts.unreadable;
                else {
                    ++counts.measured;
                    ++counts.verdicts[o.entry->status.empty() ? "not judged" : o.entry->status];
                    if (o.exitStatus == kQcFailure) ++counts.qcFailed;
                }
            }
            progress.update(counts);
        }
    } catch (const CatalogueError& e) {
        for (const auto& [pid, run] : running) kill(pid, SIGKILL);
        progress.clear();
        return fail(e.what());
    }
    progress.clear();
    try {
        const nlohmann::json ended = {{"measured", counts.measured}, {"failed", counts.unreadable},
                                      {"skipped", counts.skipped}};
        store->note(stoppedBy ? "batch_stopped" : "batch_ended", nullptr, ended.dump());
    } catch (const CatalogueError& e) {
        return fail(e.what());
    }
    if (!quiet) {
        std::string verdicts;
        for (const auto& [verdict, n] : counts.verdicts)
            verdicts += (verdicts.empty() ? " (" : ", ") + std::to_string(n) + " " + verdict;
        if (!verdicts.empty()) verdicts += ")";
        const double seconds = progress.seconds();
        fprintf(stderr, "frameprobe batch: %zu files: %lld measured%s, %lld could not be measured, %lld done before",
                inputs.size(), static_cast<long long>(counts.measured), verdicts.c_str(),
                static_cast<long long>(counts.unreadable), static_cast<long long>(counts.skipped));
        if (counts.failedBefore) fprintf(stderr, " (%lld of them failed)", static_cast<long long>(counts.failedBefore));
        fprintf(stderr, "; %.1f s, %.1f files/s\n", seconds,
                seconds > 0 ? static_cast<double>(counts.measured + counts.unreadable) / seconds : 0.0);
        if (stoppedBy)
            fprintf(stderr, "frameprobe batch: stopped; %lld files left to measure\n",
                    static_cast<long long>(counts.toRun - counts.measured - counts.unreadable));
    }
    if (stoppedBy) return statusForSignal(stoppedBy);
    if (counts.unreadable || counts.failedBefore) return kToolFailure;
    return counts.qcFailed ? kQcFailure : 0;
}
