// `frameprobe batch` with the real binary: a batch killed with SIGKILL resumes without
// losing or repeating a file, a file that cannot be read is a row among the others,
// changed files are measured again, and the exit status tells the worst outcome.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "batch/batch_inputs.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// The batch's own folder is never walked into, and a file's stamp keeps its nanoseconds (a file
// rewritten within the same second is a changed file).
TEST(BatchInputs, TheBatchsOwnFolderIsSkippedAndStampsKeepNanoseconds) {
    TempDir dir;
    for (const char* name : {"a.y4m", "out/b.y4m", "sub/c.y4m"}) {
        fs::create_directories((dir.path / name).parent_path());
        writeFile(dir.path / name, "x");
    }
    std::vector<std::string> found;
    for (const BatchInput& input : batchInputs({dir.path.string()}, InputFilter{}, dir.path / "out"))
        found.push_back(fs::path(input.path).lexically_relative(dir.path).string());
    EXPECT_EQ(found, (std::vector<std::string>{"a.y4m", "sub/c.y4m"}));
    const timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir.path / "a.y4m").c_str(), times, 0), 0);
    FileStamp stamp;
    ASSERT_TRUE(stampOf((dir.path / "a.y4m").string(), stamp));
    EXPECT_EQ(stamp.mtimeNs, int64_t{1700000000} * 1000000000 + 123456789);
}

class BatchTest : public ::testing::Test {
protected:
    TempDir dir;

    ProcessResult probe(std::vector<std::string> args) {
        args.insert(args.begin(), {"batch", "--out", "out", "-q", "--indicators", "blackout,blur"});
        return runProcess(FRAMEPROBE_BINARY, args, dir.path);
    }
    void clip(const std::string& name, std::vector<std::string> defects = {}) {
        std::vector<std::string> args{name, "32", "32", "4"};
        args.insert(args.end(), defects.begin(), defects.end());
        ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, args, dir.path).status, 0);
    }
    // Rows of a query on the catalogue, columns joined by '|', rows by '\n'; "?" when it
    // cannot be read yet and `waiting`.
    std::string query(const std::string& sql, bool waiting = false) {
        sqlite3* db = nullptr;
        std::string out;
        EXPECT_EQ(sqlite3_open_v2((dir.path / "out/catalogue.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
                  SQLITE_OK);
        sqlite3_busy_timeout(db, 10000);
        const auto row = [](void* text, int n, char** values, char**) {
            auto& s = *static_cast<std::string*>(text);
            for (int i = 0; i < n; ++i) s += std::string(i ? "|" : "") + (values[i] ? values[i] : "NULL");
            s += "\n";
            return 0;
        };
        char* error = nullptr;
        if (sqlite3_exec(db, sql.c_str(), row, &out, &error) != SQLITE_OK) {
            EXPECT_TRUE(waiting) << error;
            out = "?";
        }
        sqlite3_free(error);
        sqlite3_close(db);
        return out;
    }
    std::string path(const std::string& name) { return (dir.path / name).string(); }
    std::vector<std::string> results() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path / "out/results"))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(BatchTest, ResumesAfterSigkillWithoutLosingOrRepeatingAFile) {
    for (const char* name : {"a.y4m", "b.y4m", "c.y4m", "x.y4m"}) clip(name);
    ASSERT_EQ(mkfifo((dir.path / "stuck").c_str(), 0600), 0);  // its run waits for a writer that never comes
    const auto start = [this] {
        const pid_t batch = fork();
        if (batch == 0) {
            if (chdir(dir.path.c_str()) != 0 || !freopen("/dev/null", "w", stderr)) _exit(127);
            execl(FRAMEPROBE_BINARY, FRAMEPROBE_BINARY, "batch", "--out", "out", "--jobs", "1", "a.y4m", "b.y4m",
                  "c.y4m", "stuck", "x.y4m", static_cast<char*>(nullptr));
            _exit(127);
        }
        return batch;
    };
    // Whether a run has the pipe open: then it waits for a writer.
    const auto stuckHasReader = [this] {
        const int fd = open((dir.path / "stuck").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
        return fd >= 0;
    };
    pid_t batch = start();
    ASSERT_GT(batch, 0);
    // Killed while the fourth file's run waits: three rows are committed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!fs::exists(dir.path / "out/catalogue.sqlite") ||
           query("SELECT count(*) FROM files WHERE state = 'done'", true) != "3\n") {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the batch did not measure its first files";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(kill(batch, SIGKILL), 0);
    int status = 0;
    waitpid(batch, &status, 0);
    // The stuck run died with the batch: the pipe has no reader left.
    while (stuckHasReader()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "a run outlived its batch";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(query("SELECT state, count(*) FROM files GROUP BY state ORDER BY state"), "done|3\npending|2\n");

    // Again, stopped by SIGTERM once it waits on the pipe: the three done files were skipped.
    batch = start();
    ASSERT_GT(batch, 0);
    while (!stuckHasReader()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the second batch did not reach the pipe";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(kill(batch, SIGTERM), 0);
    waitpid(batch, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 143) << status;
    EXPECT_EQ(query("SELECT kind FROM events WHERE path IS NULL ORDER BY id"),
              "batch_started\nbatch_started\nbatch_stopped\n");

    const ProcessResult resumed = probe({"--jobs", "1", "a.y4m", "b.y4m", "c.y4m", "x.y4m"});
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(query("SELECT path, state, verdict, frames, width FROM files WHERE path != '" + path("stuck") +
                    "' ORDER BY path"),
              path("a.y4m") + "|done|NULL|4|32\n" + path("b.y4m") + "|done|NULL|4|32\n" + path("c.y4m") +
                  "|done|NULL|4|32\n" + path("x.y4m") + "|done|NULL|4|32\n");
    // Each file measured once over both batches, each result once, nothing left half-written.
    EXPECT_EQ(query("SELECT count(*), count(DISTINCT path) FROM events WHERE kind = 'measured'"), "4|4\n");
    EXPECT_EQ(results(), (std::vector<std::string>{"1-a.y4m.json", "2-b.y4m.json", "3-c.y4m.json", "5-x.y4m.json"}));
    EXPECT_TRUE(fs::is_empty(dir.path / "out/.work"));
}

TEST_F(BatchTest, BadFilesChangedFilesAndStatuses) {
    fs::create_directories(dir.path / "in/sub");
    clip("in/fine.y4m");
    clip("in/sub/dark.y4m", {"black:0-3"});
    writeFile(dir.path / "in/broken.mp4", std::string(300, 'x'));
    writeFile(dir.path / "in/notes.txt", "not a video");
    const std::vector<std::string> args{"--fail-on", "black.count>0", "--exclude", "*.txt", "in"};
    ProcessResult r = probe(args);
    EXPECT_EQ(r.status, 1) << r.err;  // a file that could not be read outweighs a failed verdict
    EXPECT_EQ(query("SELECT substr(path, length('" + path("in/") + "') + 1), state, verdict, exit_status, "
                    "message IS NOT NULL, event_counts FROM files ORDER BY path"),
              "broken.mp4|failed|NULL|1|1|NULL\nfine.y4m|done|pass|0|0|{}\nsub/dark.y4m|done|fail|3|0|{\"black\":1}\n");
    EXPECT_EQ(query("SELECT findings FROM files WHERE path LIKE '%dark.y4m'"),
              "[[\"error\",\"black.count>0 (black.count = 1)\"]]\n");

    // Done files are skipped, failed ones kept unless retried: the status stays.
    r = probe(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(query("SELECT count(*) FROM events WHERE kind IN ('measured', 'failed')"), "3\n");
    // Mended, the broken file is measured again; the dark one still fails its verdict.
    clip("in/broken.mp4.y4m");
    fs::rename(dir.path / "in/broken.mp4.y4m", dir.path / "in/broken.mp4");
    r = probe(args);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(query("SELECT kind FROM events WHERE path LIKE '%broken.mp4' ORDER BY id"),
              "failed\nchanged\nmeasured\n");
    // Only passing files: status 0.
    r = probe({"--fail-on", "black.count>0", "--exclude", "dark*", "--exclude", "*.txt", "in"});
    EXPECT_EQ(r.status, 0) << r.err;

    r = runProcess(FRAMEPROBE_BINARY, {"index", "page.html", "out"}, dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string page = readFile(dir.path / "page.html");
    EXPECT_NE(page.find("<p id=\"totals\">3 runs, 1 failed"), std::string::npos);
    EXPECT_NE(page.find(">out/results/3-dark.y4m.json<"), std::string::npos);
    EXPECT_NE(page.find("black.count&gt;0 (black.count = 1)"), std::string::npos);  // the finding's text

    // Settings a run would refuse stop the batch before any file.
    EXPECT_EQ(probe({"--fail-on", "black.count>>0", "in"}).status, 2);
    EXPECT_EQ(probe({"-"}).status, 2);
}

// The catalogue keeps the largest R103 share of each file in a column of its own, and a
// catalogue of the schema before it gains the column and keeps its rows.
TEST_F(BatchTest, WorstR103ColumnAndTheCatalogueBeforeIt) {
    fs::create_directories(dir.path / "in");
    clip("in/fine.y4m");
    clip("in/dark.y4m", {"black:1-2"});  // code 0: below R103's 5 on the whole picture
    const auto batch = [&] {
        return runProcess(FRAMEPROBE_BINARY,
                          {"batch", "--out", "out", "-q", "--indicators", "r103_luma,r103_rgb", "in"}, dir.path);
    };
    ASSERT_EQ(batch().status, 0);
    EXPECT_EQ(query("SELECT substr(path, length('" + path("in/") + "') + 1), worst_r103 FROM files ORDER BY path"),
              "dark.y4m|1.0\nfine.y4m|0.0\n");
    // As the program before the column left it.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir.path / "out/catalogue.sqlite").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "ALTER TABLE files DROP COLUMN worst_r103; PRAGMA user_version=1;", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    clip("in/later.y4m");
    ASSERT_EQ(batch().status, 0);
    EXPECT_EQ(query("PRAGMA user_version"), "2\n");
    EXPECT_EQ(
        query("SELECT substr(path, length('" + path("in/") + "') + 1), state, worst_r103 FROM files ORDER BY path"),
        "dark.y4m|done|NULL\nfine.y4m|done|NULL\nlater.y4m|done|0.0\n");
}

}  // namespace
