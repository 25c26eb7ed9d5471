#include "batch/catalogue_gather.h"

#include <unistd.h>

#include <cstdio>
#include <system_error>

namespace fs = std::filesystem;

int64_t gatherBatch(CatalogueStore& store, std::unordered_map<std::string, StoredFile>& rows, const fs::path& dir,
                    const fs::path& group) {
    if (!hasCatalogue(group)) throw CatalogueError(group.string() + " holds no catalogue");
    const int lock = lockBatchFolder(group);
    if (lock < 0) throw CatalogueError("a batch is still using " + group.string());
    struct Unlock {
        int fd;
        ~Unlock() { close(fd); }
    } unlock{lock};
    int64_t taken = 0;
    std::vector<CatalogueStore::FinishedRow> finished;
    {
        CatalogueStore from(group / CatalogueStore::kFileName);
        finished = from.finishedRows();
    }
    for (CatalogueStore::FinishedRow& row : finished) {
        FileOutcome& o = row.outcome;
        const fs::path source = group / o.result;
        std::error_code error;
        if (o.done && !fs::is_regular_file(source, error)) continue;  // moved by a gather that was killed
        int64_t id;
        store.begin();
        if (const auto found = rows.find(row.path); found != rows.end()) {
            id = found->second.id;
            store.resetPending(id, row.stamp);
        } else {
            id = store.addPending(row.path, row.stamp);
        }
        store.commit();
        rows[row.path] = StoredFile{id, row.stamp, o.done ? "done" : "failed", o.exitStatus};
        if (o.done) {
            const std::string stem = resultStem(id, row.path);
            const fs::path report = fs::path(source).replace_extension(".html");
            if (fs::is_regular_file(report, error)) fs::rename(report, dir / "results" / (stem + ".html"), error);
            fs::rename(source, dir / "results" / (stem + ".json"), error);
            if (error) throw CatalogueError("cannot move " + source.string() + ": " + error.message());
            o.result = "results/" + stem + ".json";
        }
        store.record(id, row.path, o);
        ++taken;
    }
    std::error_code error;
    fs::remove_all(group, error);
    return taken;
}
