#include "output/output_plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "output/output_file.h"

namespace {

namespace fs = std::filesystem;

// What tells two names of one file apart from two files: the device and inode
// when the file exists, else the name with its links and dots resolved.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string canonical;

    explicit FileIdentity(const std::string& path) {
        struct stat info {};
        exists = ::stat(path.c_str(), &info) == 0;
        device = info.st_dev;
        inode = info.st_ino;
        std::error_code error;
        canonical = fs::weakly_canonical(fs::absolute(path, error), error).string();
        if (error) canonical = path;
    }
    bool same(const FileIdentity& other) const {
        if (exists && other.exists) return device == other.device && inode == other.inode;
        return canonical == other.canonical;
    }
};

std::optional<std::string> unwritable(const std::string& path) {
    const fs::path name(path);
    const std::string folder = name.has_parent_path() ? name.parent_path().string() : ".";
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return std::strerror(ENOTDIR);
    // The file is made in its folder and renamed there.
    if (access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
    if (::stat(path.c_str(), &info) == 0 && access(path.c_str(), W_OK) != 0) return std::strerror(errno);
    return std::nullopt;
}

// A folder is written into when it is one, or can be made: then its nearest existing
// ancestor must be a folder the run may write into.
std::optional<std::string> unwritableFolder(const std::string& path) {
    fs::path folder(path);
    struct stat info {};
    while (::stat(folder.c_str(), &info) != 0) {
        if (errno != ENOENT || folder == ".") return std::strerror(errno);
        const fs::path parent = folder.parent_path();
        folder = parent.empty() || parent == folder ? fs::path(".") : parent;
    }
    if (!S_ISDIR(info.st_mode)) return std::strerror(ENOTDIR);
    if (access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
    return std::nullopt;
}

// Standard output appended to the input file (">>") would write into what is being read.
bool standardOutputIsTheInput(const std::string& input) {
    struct stat out {}, in {};
    if (fstat(STDOUT_FILENO, &out) != 0 || !S_ISREG(out.st_mode)) return false;
    if ((input == "-" ? fstat(STDIN_FILENO, &in) : ::stat(input.c_str(), &in)) != 0) return false;
    return out.st_dev == in.st_dev && out.st_ino == in.st_ino;
}

}  // namespace

std::optional<OutputPlanProblem> checkOutputPlan(const std::string& input, const std::vector<PlannedOutput>& outputs) {
    std::vector<const PlannedOutput*> files;
    for (const PlannedOutput& output : outputs) {
        if (output.folder || writtenWhole(output.path)) files.push_back(&output);
        if (output.path == "-" && standardOutputIsTheInput(input))
            return OutputPlanProblem{OutputPlanProblem::Conflict,
                                     output.option + " (standard output) is the input; it would be overwritten"};
    }
    {
        // Standard input may be a file given with "<".
        const FileIdentity source(input == "-" ? "/dev/stdin" : input);
        for (const PlannedOutput* output : files)
            if (FileIdentity(output->path).same(source))
                return OutputPlanProblem{OutputPlanProblem::Conflict, output->option + " " + output->path +
                                                                          " is the input; it would be overwritten"};
    }
    for (std::size_t i = 0; i < files.size(); ++i)
        for (std::size_t j = i + 1; j < files.size(); ++j)
            if (FileIdentity(files[i]->path).same(FileIdentity(files[j]->path)))
                return OutputPlanProblem{OutputPlanProblem::Conflict,
                                         files[i]->option + " and " + files[j]->option + " name one file, " +
                                             files[j]->path + "; give each output a file of its own"};
    for (const PlannedOutput* output : files)
        if (!output->optional)
            if (const auto reason = output->folder ? unwritableFolder(output->path) : unwritable(output->path))
            return OutputPlanProblem{OutputPlanProblem::Unwritable, "cannot write " + output->path + ": " + *reason};
    return std::nullopt;
}
