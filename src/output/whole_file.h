// A named regular file that is written whole or not at all: it is made as an unnamed
// file in its folder (Linux's O_TMPFILE; elsewhere, or on a file system without it,
// under a hidden temporary name), synced, and given its name in one step. Dropped
// unfinished, it leaves nothing, and a file that had the name before is untouched; an
// unnamed file leaves nothing even when the process is killed.
#pragma once

#include <string>
#include <string_view>

class WholeFile {
public:
    // Starts the file that `path` names; a link is followed, so that the file it leads to
    // is replaced and the link stays. The file gets the mode the one it replaces had, or
    // the one a new file would get. Throws WriteError ("cannot create PATH: REASON").
    explicit WholeFile(const std::string& path);
    WholeFile(WholeFile&& other) noexcept;
    WholeFile& operator=(WholeFile&&) = delete;
    ~WholeFile();  // discards a file that was not finished

    // The descriptor to write the file's bytes to; the file owns it.
    int fd() const { return fd_; }
    // Syncs the file to its disk, closes it and gives it its name. Throws WriteError
    // ("cannot write PATH: REASON"); the file is then discarded.
    void finish();

private:
    [[noreturn]] void fail(int error) const;
    void linkIntoPlace();

    int fd_ = -1;
    std::string name_;       // as given, for messages
    std::string target_;     // the file that this one becomes
    std::string temporary_;  // its hidden name until finish()
    bool unnamed_ = false;   // no name at all yet
};

// Writes `bytes` as the whole file `path`, as above. Throws WriteError.
void writeWholeFile(const std::string& path, std::string_view bytes);
