#include "batch/catalogue_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>

#include <nlohmann/json.hpp>

#include <cctype>
#include <chrono>
#include <ctime>
#include <unistd.h>

namespace {

// The schema's version, in PRAGMA user_version; columns are only ever added, each version's
// by the migration below. 2: worst_r103.
constexpr int kSchemaVersion = 2;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS files (
  id INTEGER PRIMARY KEY,
  path TEXT NOT NULL UNIQUE,
  size INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL,
  state TEXT NOT NULL CHECK (state IN ('pending', 'done', 'failed')),
  verdict TEXT CHECK (verdict IN ('pass', 'warn', 'fail')),
  errors INTEGER,
  warnings INTEGER,
  message TEXT,
  result TEXT,
  frames INTEGER,
  seconds REAL,
  width INTEGER,
  height INTEGER,
  event_counts TEXT,
  worst TEXT,
  findings TEXT,
  exit_status INTEGER,
  run_seconds REAL,
  added_at TEXT NOT NULL,
  finished_at TEXT,
  runs INTEGER NOT NULL DEFAULT 0,
  worst_r103 REAL
);
CREATE INDEX IF NOT EXISTS files_state ON files (state, verdict);
CREATE TABLE IF NOT EXISTS events (
  id INTEGER PRIMARY KEY,
  time TEXT NOT NULL,
  path TEXT,
  kind TEXT NOT NULL,
  detail TEXT
);
CREATE INDEX IF NOT EXISTS events_path ON events (path);
)sql";

// UTC, ISO 8601 with milliseconds: sorts as text, and SQLite's date functions read it.
std::string now() {
    const auto time = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(ms % 1000));
    return text;
}

void bindText(sqlite3_stmt* s, int index, const std::string& text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void bindTextOrNull(sqlite3_stmt* s, int index, const std::string& text) {
    if (text.empty()) sqlite3_bind_null(s, index);
    else bindText(s, index, text);
}

std::string columnText(sqlite3_stmt* s, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(s, column))) : std::string();
}

std::string eventCountsJson(const CatalogueEntry& e) {
    nlohmann::json counts = nlohmann::json::object();
    for (const auto& [type, count] : e.events) counts[type] = count;
    return counts.dump();
}

std::string findingsJson(const CatalogueEntry& e) {
    nlohmann::json findings = nlohmann::json::array();
    for (const CatalogueFinding& f : e.findings) findings.push_back({f.severity, f.text});
    return findings.dump();
}

std::string worstJson(const CatalogueEntry& e) {
    nlohmann::json worst = nlohmann::json::object();
    for (const auto& [key, value] : e.worst) worst[key] = {value.value, value.frame};
    return worst.dump();
}

}  // namespace

CatalogueStore::CatalogueStore(const std::filesystem::path& file) : name_(file.string()) {
    if (sqlite3_open_v2(name_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        const std::string reason = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw CatalogueError("cannot open " + name_ + ": " + reason);
    }
    sqlite3_busy_timeout(db_, 10000);
    // WAL: readers (sqlite3, pandas, `frameprobe index`) see the last commit while the batch
    // writes. NORMAL synchronisation keeps every commit through a killed process; only a
    // power loss may take back the last ones, whose files are then simply measured again.
    exec("PRAGMA journal_mode=WAL");
    exec("PRAGMA synchronous=NORMAL");
    sqlite3_stmt* version = prepare("PRAGMA user_version");
    const int found = sqlite3_step(version) == SQLITE_ROW ? sqlite3_column_int(version, 0) : 0;
    if (found > kSchemaVersion)
        throw CatalogueError(name_ + " was written by a newer frameprobe (schema " + std::to_string(found) + ")");
    if (found == 0) {  // a new catalogue: readers such as `index` never write
        exec(kSchema);
        exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    } else if (found < kSchemaVersion) {  // an older one gains the columns since, in one transaction
        begin();
        exec("ALTER TABLE files ADD COLUMN worst_r103 REAL");
        exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
        commit();
    }
    insertFile_ =
        prepare("INSERT INTO files (path, size, mtime_ns, state, added_at) VALUES (?1, ?2, ?3, 'pending', ?4)");
    resetFile_ = prepare(
        "UPDATE files SET size = ?2, mtime_ns = ?3, state = 'pending', verdict = NULL, errors = NULL, "
        "warnings = NULL, message = NULL, result = NULL, frames = NULL, seconds = NULL, width = NULL, height = NULL, "
        "event_counts = NULL, worst = NULL, findings = NULL, exit_status = NULL, worst_r103 = NULL WHERE id = ?1");
    insertEvent_ = prepare("INSERT INTO events (time, path, kind, detail) VALUES (?1, ?2, ?3, ?4)");
    recordFile_ = prepare(
        "UPDATE files SET state = ?2, verdict = ?3, errors = ?4, warnings = ?5, message = ?6, result = ?7, "
        "frames = ?8, seconds = ?9, width = ?10, height = ?11, event_counts = ?12, worst = ?13, exit_status = ?14, "
        "run_seconds = ?15, finished_at = ?16, findings = ?17, worst_r103 = ?18, runs = runs + 1 WHERE id = ?1");
}

CatalogueStore::~CatalogueStore() {
    for (sqlite3_stmt* s : statements_) sqlite3_finalize(s);
    sqlite3_close(db_);
}

void CatalogueStore::fail(const std::string& what) {
    throw CatalogueError("cannot " + what + " " + name_ + ": " + sqlite3_errmsg(db_));
}

sqlite3_stmt* CatalogueStore::prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) fail("read");
    statements_.push_back(s);
    return s;
}

void CatalogueStore::exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail("write");
}

void CatalogueStore::begin() { exec("BEGIN IMMEDIATE"); }
void CatalogueStore::commit() { exec("COMMIT"); }

std::unordered_map<std::string, StoredFile> CatalogueStore::files() {
    std::unordered_map<std::string, StoredFile> rows;
    sqlite3_stmt* s = prepare("SELECT id, path, size, mtime_ns, state, coalesce(exit_status, 0) FROM files");
    int step;
    while ((step = sqlite3_step(s)) == SQLITE_ROW) {
        StoredFile row;
        row.id = sqlite3_column_int64(s, 0);
        row.stamp = {sqlite3_column_int64(s, 2), sqlite3_column_int64(s, 3)};
        row.state = columnText(s, 4);
        row.exitStatus = sqlite3_column_int(s, 5);
        rows.emplace(columnText(s, 1), std::move(row));
    }
    if (step != SQLITE_DONE) fail("read");
    return rows;
}

int64_t CatalogueStore::addPending(const std::string& path, FileStamp stamp) {
    sqlite3_reset(insertFile_);
    bindText(insertFile_, 1, path);
    sqlite3_bind_int64(insertFile_, 2, stamp.size);
    sqlite3_bind_int64(insertFile_, 3, stamp.mtimeNs);
    bindText(insertFile_, 4, now());
    if (sqlite3_step(insertFile_) != SQLITE_DONE) fail("write");
    return sqlite3_last_insert_rowid(db_);
}

void CatalogueStore::resetPending(int64_t id, FileStamp stamp) {
    sqlite3_reset(resetFile_);
    sqlite3_bind_int64(resetFile_, 1, id);
    sqlite3_bind_int64(resetFile_, 2, stamp.size);
    sqlite3_bind_int64(resetFile_, 3, stamp.mtimeNs);
    if (sqlite3_step(resetFile_) != SQLITE_DONE) fail("write");
}

void CatalogueStore::note(const std::string& kind, const std::string* path, const std::string& detail) {
    sqlite3_reset(insertEvent_);
    bindText(insertEvent_, 1, now());
    if (path) bindText(insertEvent_, 2, *path);
    else sqlite3_bind_null(insertEvent_, 2);
    bindText(insertEvent_, 3, kind);
    bindTextOrNull(insertEvent_, 4, detail);
    if (sqlite3_step(insertEvent_) != SQLITE_DONE) fail("write");
}

void CatalogueStore::record(int64_t id, const std::string& path, const FileOutcome& o) {
    begin();
    sqlite3_stmt* s = recordFile_;
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    sqlite3_bind_int64(s, 1, id);
    bindText(s, 2, o.done ? "done" : "failed");
    bindTextOrNull(s, 6, o.message);
    bindTextOrNull(s, 7, o.result);
    if (o.entry) {
        const CatalogueEntry& e = *o.entry;
        bindTextOrNull(s, 3, e.status);
        sqlite3_bind_int(s, 4, e.errors);
        sqlite3_bind_int(s, 5, e.warnings);
        sqlite3_bind_int64(s, 8, e.frames);
        if (e.seconds) sqlite3_bind_double(s, 9, *e.seconds);
        sqlite3_bind_int(s, 10, e.width);
        sqlite3_bind_int(s, 11, e.height);
        bindText(s, 12, eventCountsJson(e));
        bindText(s, 13, worstJson(e));
        bindText(s, 17, findingsJson(e));
        if (e.worstR103) sqlite3_bind_double(s, 18, *e.worstR103);
    }
    sqlite3_bind_int(s, 14, o.exitStatus);
    sqlite3_bind_double(s, 15, o.seconds);
    bindText(s, 16, now());
    if (sqlite3_step(s) != SQLITE_DONE) fail("write");
    note(o.done ? "measured" : "failed", &path, o.message);
    commit();
}

CatalogueEntry CatalogueStore::entryAt(sqlite3_stmt* s, int first) {
    CatalogueEntry e;
    try {
        e.status = columnText(s, first);
        e.errors = sqlite3_column_int(s, first + 1);
        e.warnings = sqlite3_column_int(s, first + 2);
        e.frames = sqlite3_column_int64(s, first + 3);
        if (sqlite3_column_type(s, first + 4) != SQLITE_NULL) e.seconds = sqlite3_column_double(s, first + 4);
        e.width = sqlite3_column_int(s, first + 5);
        e.height = sqlite3_column_int(s, first + 6);
        const nlohmann::json events = nlohmann::json::parse(columnText(s, first + 7));
        for (auto it = events.begin(); it != events.end(); ++it) e.events[it.key()] = it->get<int>();
        const nlohmann::json worst = nlohmann::json::parse(columnText(s, first + 8));
        for (auto it = worst.begin(); it != worst.end(); ++it)
            e.worst[it.key()] = WorstValue{it->at(0).get<double>(), it->at(1).get<int64_t>()};
        for (const nlohmann::json& f : nlohmann::json::parse(columnText(s, first + 9)))
            e.findings.push_back({f.at(0).get<std::string>(), f.at(1).get<std::string>()});
        if (sqlite3_column_type(s, first + 10) != SQLITE_NULL) e.worstR103 = sqlite3_column_double(s, first + 10);
    } catch (const nlohmann::json::exception& error) {
        throw CatalogueError(name_ + " holds a row the program did not write: " + error.what());
    }
    return e;
}

namespace {
constexpr const char* kEntryColumns =
    "coalesce(verdict, ''), errors, warnings, frames, seconds, width, height, event_counts, worst, "
    "coalesce(findings, '[]'), worst_r103";
}  // namespace

std::vector<CatalogueEntry> CatalogueStore::entries(const std::filesystem::path& folder) {
    std::vector<CatalogueEntry> out;
    sqlite3_stmt* s = prepare((std::string("SELECT path, result, ") + kEntryColumns +
                               " FROM files WHERE state = 'done' AND result IS NOT NULL").c_str());
    int step;
    while ((step = sqlite3_step(s)) == SQLITE_ROW) {
        CatalogueEntry e = entryAt(s, 2);
        e.input = columnText(s, 0);
        e.result = (folder / columnText(s, 1)).string();
        out.push_back(std::move(e));
    }
    if (step != SQLITE_DONE) fail("read");
    return out;
}

std::vector<CatalogueStore::FinishedRow> CatalogueStore::finishedRows() {
    std::vector<FinishedRow> out;
    sqlite3_stmt* s = prepare((std::string("SELECT path, size, mtime_ns, state, coalesce(exit_status, 0), "
                                           "coalesce(message, ''), coalesce(result, ''), coalesce(run_seconds, 0), ") +
                               kEntryColumns + " FROM files WHERE state != 'pending' ORDER BY id").c_str());
    int step;
    while ((step = sqlite3_step(s)) == SQLITE_ROW) {
        FinishedRow row{columnText(s, 0), {sqlite3_column_int64(s, 1), sqlite3_column_int64(s, 2)}, {}};
        FileOutcome& o = row.outcome;
        o.done = columnText(s, 3) == "done";
        o.exitStatus = sqlite3_column_int(s, 4);
        o.message = columnText(s, 5);
        o.result = columnText(s, 6);
        o.seconds = sqlite3_column_double(s, 7);
        if (o.done) o.entry = entryAt(s, 8);
        out.push_back(std::move(row));
    }
    if (step != SQLITE_DONE) fail("read");
    return out;
}

bool hasCatalogue(const std::filesystem::path& folder) {
    std::error_code error;
    return std::filesystem::is_regular_file(folder / CatalogueStore::kFileName, error);
}

int lockBatchFolder(const std::filesystem::path& folder) {
    const int fd = open((folder / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    close(fd);
    return -1;
}

std::string resultStem(int64_t id, const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_' && c != '+') c = '_';
    if (name.size() > 120) name.resize(120);
    return std::to_string(id) + "-" + name;
}
