// The batches of a cluster plan's tasks, each in a folder of its own (SQLite wants one
// writer, on a local file system), taken into the plan's catalogue by its merge step.
#pragma once

#include <filesystem>
#include <string>
#include <unordered_map>

#include "batch/catalogue_store.h"

// Takes every measured or failed row of the batch folder `group` into `store` (the
// catalogue of `dir`), its result files moved into dir/results under the row's name,
// and removes `group` once all are in. Each row: its place (one transaction), its files
// renamed, its outcome (another): a kill leaves the row to be measured again, never twice.
// `rows` is the store's files, kept up to date. Returns the rows taken; throws CatalogueError.
int64_t gatherBatch(CatalogueStore& store, std::unordered_map<std::string, StoredFile>& rows,
                    const std::filesystem::path& dir, const std::filesystem::path& group);
