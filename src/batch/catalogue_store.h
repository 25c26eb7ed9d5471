// The catalogue of a batch: DIR/catalogue.sqlite, a table `files` with one row per
// input and a table `events` of what happened to them (docs/batch.md gives the schema).
// One writer at a time; every change is one transaction, so a kill at any moment
// leaves each row as it was before the change or as it is after it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "report/catalogue_page.h"

struct sqlite3;
struct sqlite3_stmt;

struct CatalogueError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What tells a file's version apart: its size and modification time.
struct FileStamp {
    int64_t size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// A row as the batch needs it to decide what to run.
struct StoredFile {
    int64_t id = 0;
    FileStamp stamp;
    std::string state;  // "pending", "done" or "failed"
    int exitStatus = 0;  // of the file's last run
};

// How a file's run ended.
struct FileOutcome {
    bool done = false;        // a result was written ("done"), else the file could not be measured ("failed")
    int exitStatus = 0;
    std::string message;      // why it failed, or the QC findings' summary
    std::string result;       // the result file, relative to the batch folder
    std::optional<CatalogueEntry> entry;  // what the result says
    double seconds = 0;       // wall time of the run
};

class CatalogueStore {
public:
    static constexpr const char* kFileName = "catalogue.sqlite";

    // Opens or creates the catalogue; throws CatalogueError.
    explicit CatalogueStore(const std::filesystem::path& file);
    ~CatalogueStore();
    CatalogueStore(const CatalogueStore&) = delete;
    CatalogueStore& operator=(const CatalogueStore&) = delete;

    // Every row, by path.
    std::unordered_map<std::string, StoredFile> files();

    void begin();
    void commit();
    // Inside begin() and commit(): a new row waiting to be measured, whose id is returned.
    int64_t addPending(const std::string& path, FileStamp stamp);
    // Inside begin() and commit(): an existing row to measure again (changed, or retried).
    void resetPending(int64_t id, FileStamp stamp);
    // An entry of the events table (its own transaction unless inside one).
    void note(const std::string& kind, const std::string* path, const std::string& detail);

    // One transaction: the row's outcome and its event.
    void record(int64_t id, const std::string& path, const FileOutcome& outcome);

    // The rows with results, for the catalogue page; results named from `folder`.
    std::vector<CatalogueEntry> entries(const std::filesystem::path& folder);

    // The rows of files that were measured or failed, whole, to take into another catalogue.
    struct FinishedRow {
        std::string path;
        FileStamp stamp;
        FileOutcome outcome;
    };
    std::vector<FinishedRow> finishedRows();

private:
    sqlite3_stmt* prepare(const char* sql);
    void exec(const char* sql);
    [[noreturn]] void fail(const std::string& what);
    // The entry's columns from `first` on: verdict, errors, warnings, frames, seconds, width,
    // height, event_counts, worst.
    CatalogueEntry entryAt(sqlite3_stmt* s, int first);

    sqlite3* db_ = nullptr;
    std::string name_;
    std::vector<sqlite3_stmt*> statements_;
    sqlite3_stmt* insertFile_ = nullptr;
    sqlite3_stmt* resetFile_ = nullptr;
    sqlite3_stmt* insertEvent_ = nullptr;
    sqlite3_stmt* recordFile_ = nullptr;
};

// Whether a folder holds a catalogue.
bool hasCatalogue(const std::filesystem::path& folder);

// Holds a batch's folder (DIR/.lock) while the descriptor returned is open: one writer
// per catalogue. -1 when another process holds it.
int lockBatchFolder(const std::filesystem::path& folder);

// The stem of a file's result in results/: the row's id keeps it unique for any paths,
// the file's name keeps it readable.
std::string resultStem(int64_t id, const std::string& path);
