#include "driver/index_run.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "batch/catalogue_store.h"
#include "batch/result_entry.h"
#include "cli/options.h"
#include "indicators/registry.h"
#include "output/output_file.h"
#include "output/output_plan.h"
#include "analysis/qc_gate.h"
#include "process/exit_status.h"
#include "report/catalogue_page.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct IndexError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The results named, with folders replaced by the .json files in them, by name.
std::vector<std::string> resultFiles(const std::vector<std::string>& given) {
    std::vector<std::string> files;
    for (const std::string& path : given) {
        std::error_code error;
        if (!fs::is_directory(path, error)) {
            files.push_back(path);
            continue;
        }
        std::vector<std::string> inside;
        for (const fs::directory_entry& entry : fs::directory_iterator(path, error))
            if (entry.path().extension() == ".json" && !entry.is_directory()) inside.push_back(entry.path().string());
        if (error) throw IndexError("cannot read the folder " + path + ": " + error.message());
        std::sort(inside.begin(), inside.end());
        files.insert(files.end(), inside.begin(), inside.end());
    }
    return files;
}

// "X.html" beside "X.json", as an address from the page's folder.
std::string reportOf(const std::string& result, const std::string& page) {
    fs::path report = fs::path(result).replace_extension(".html");
    std::error_code error;
    if (!fs::is_regular_file(report, error)) return "";
    const fs::path from = page == "-" ? fs::current_path() : fs::absolute(page).parent_path();
    std::string address = fs::absolute(report).lexically_relative(from).generic_string();
    std::string out;
    for (unsigned char c : address) {  // bytes outside the safe set as %XX, so that any name links
        if (std::isalnum(c) || std::string_view("-._~/").find(static_cast<char>(c)) != std::string_view::npos)
            out += static_cast<char>(c);
        else {
            char hex[4];
            snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// Empty for a file that is not a result of the program (another tool's JSON beside the
// results): it is skipped with a warning rather than stopping the page.
std::optional<CatalogueEntry> readResult(const std::string& path, const std::string& page) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw IndexError("cannot read " + path);
    json doc;
    try {
        doc = json::parse(in);
        CatalogueEntry e = entryOfResult(doc);
        e.result = path;
        e.report = reportOf(path, page);
        return e;
    } catch (const json::exception& error) {
        // Whether it is JSON at all is what tells a stray file from another tool's document.
        const bool parsed = dynamic_cast<const json::parse_error*>(&error) == nullptr;
        fprintf(stderr, "frameprobe index: warning: skipped %s: %s\n", path.c_str(),
                parsed ? "not a frameprobe JSON result (--format json)" : "not JSON");
        return std::nullopt;
    }
}

}  // namespace

int runIndex(int argc, char** argv) {
    CLI::App app{"Writes one page that lists the runs of many JSON results (--format json), the failed ones first, "
                 "with a link to each one's report (RESULT.html beside RESULT.json) and a CSV export.",
                 "frameprobe index"};
    std::string page;
    std::vector<std::string> given;
    app.add_option("PAGE", page, "The HTML page to write, - for standard output")->required();
    app.add_option("RESULT", given, "A JSON result, or a folder of them, or a batch's folder (frameprobe batch)")
        ->required();
    app.footer("Exit status: 0 after the page was written, 1 when a result could not be read or the page not written,\n"
               "2 for a command line it could not understand.");
    try {
        app.parse(argc - 1, argv + 1);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        fprintf(stderr, "frameprobe index: %s\nRun 'frameprobe index --help' for the options.\n", e.what());
        return kUsageStatus;
    }
    try {
        // A batch's folder is read from its catalogue, without opening its results.
        std::vector<CatalogueEntry> entries;
        std::vector<std::string> jsonGiven;
        for (const std::string& path : given) {
            if (!hasCatalogue(path)) {
                jsonGiven.push_back(path);
                continue;
            }
            CatalogueStore store(fs::path(path) / CatalogueStore::kFileName);
            for (CatalogueEntry& e : store.entries(path)) {
                e.report = reportOf(e.result, page);
                entries.push_back(std::move(e));
            }
        }
        const std::vector<std::string> files = resultFiles(jsonGiven);
        for (const std::string& file : files)
            if (const auto problem = checkOutputPlan(file, {{"PAGE", page}})) {
                fprintf(stderr, "frameprobe index: %s\n", problem->message.c_str());
                return problem->kind == OutputPlanProblem::Conflict ? kUsageStatus : kToolFailure;
            }
        for (const std::string& file : files)
            if (auto entry = readResult(file, page)) entries.push_back(std::move(*entry));
        sortByFailures(entries);
        OutputFile out = OutputFile::open(page);
        out.append(cataloguePage(entries));
        out.close();
    } catch (const CatalogueError& e) {
        fprintf(stderr, "frameprobe index: %s\n", e.what());
        return kToolFailure;
    } catch (const IndexError& e) {
        fprintf(stderr, "frameprobe index: %s\n", e.what());
        return kToolFailure;
    } catch (const WriteError& e) {
        fprintf(stderr, "frameprobe index: %s\n", e.what());
        return kToolFailure;
    }
    return 0;
}
