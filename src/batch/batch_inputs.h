// The files of a batch: files named on the command line, in the order given, and the
// regular files under folders named, walked in name order, filtered by glob patterns.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "batch/catalogue_store.h"

struct BatchInputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct BatchInput {
    std::string path;  // absolute and lexically normal: the catalogue's key
    FileStamp stamp;
};

struct InputFilter {
    // A pattern without '/' matches a file's name; one with '/', its path below the folder
    // walked ('*' then crosses folders). No include means every file; an exclude wins.
    std::vector<std::string> include;
    std::vector<std::string> exclude;
    bool accepts(const std::filesystem::path& below) const;
};

// Files named are taken as they are (the filter is for walked folders); `skip` (the batch's
// own folder) is never walked into. Each path once, at its first place. Throws BatchInputError.
std::vector<BatchInput> batchInputs(const std::vector<std::string>& given, const InputFilter& filter,
                                    const std::filesystem::path& skip);

// A file's stamp from stat(); false when it cannot be read.
bool stampOf(const std::string& path, FileStamp& stamp);
