#include "batch/batch_inputs.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace fs = std::filesystem;

namespace {

bool matches(const std::string& pattern, const fs::path& below) {
    const std::string text =
        pattern.find('/') == std::string::npos ? below.filename().string() : below.generic_string();
    return fnmatch(pattern.c_str(), text.c_str(), 0) == 0;
}

}  // namespace

bool InputFilter::accepts(const fs::path& below) const {
    const auto any = [&below](const std::vector<std::string>& patterns) {
        return std::any_of(patterns.begin(), patterns.end(),
                           [&below](const std::string& p) { return matches(p, below); });
    };
    return (include.empty() || any(include)) && !any(exclude);
}

bool stampOf(const std::string& path, FileStamp& stamp) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    stamp.size = st.st_size;
    stamp.mtimeNs = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

std::vector<BatchInput> batchInputs(const std::vector<std::string>& given, const InputFilter& filter,
                                    const fs::path& skip) {
    std::vector<BatchInput> inputs;
    std::unordered_set<std::string> seen;
    const auto take = [&](const fs::path& path, const FileStamp& stamp) {
        std::string key = path.string();
        if (seen.insert(key).second) inputs.push_back({std::move(key), stamp});
    };
    for (const std::string& name : given) {
        const fs::path path = fs::absolute(name).lexically_normal();
        std::error_code error;
        if (!fs::is_directory(path, error)) {
            FileStamp stamp;
            if (!stampOf(path.string(), stamp))
                throw BatchInputError("cannot read " + name + ": " + std::strerror(errno));
            take(path, stamp);
            continue;
        }
        std::vector<std::pair<fs::path, FileStamp>> found;
        fs::recursive_directory_iterator walk(path, fs::directory_options::skip_permission_denied, error);
        for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
            const fs::directory_entry& entry = *walk;
            if (entry.is_directory(error)) {
                if (entry.path() == skip) walk.disable_recursion_pending();
                continue;
            }
            if (!entry.is_regular_file(error) || !filter.accepts(entry.path().lexically_relative(path))) continue;
            FileStamp stamp;
            if (stampOf(entry.path().string(), stamp)) found.emplace_back(entry.path(), stamp);
        }
        if (error) throw BatchInputError("cannot read the folder " + name + ": " + error.message());
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [file, stamp] : found) take(file, stamp);
    }
    return inputs;
}
