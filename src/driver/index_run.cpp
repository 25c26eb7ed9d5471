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
#include "cli/options.h"
#include "driver/option_run.h"
#include "indicators/registry.h"
#include "output/output_file.h"
#include "output/output_plan.h"
#include "analysis/qc_gate.h"
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

// Each indicator's worst value, the first of the summary's worst frames.
std::map<std::string, WorstValue> worstValues(const json& summary) {
    std::map<std::string, WorstValue> out;
    for (const IndicatorDescriptor& d : indicatorRegistry()) {
        const auto found = summary.find(d.key);
        if (found == summary.end() || !found->contains("worst") || found->at("worst").empty()) continue;
        const json& worst = found->at("worst").at(0);
        out[d.key] = WorstValue{worst.at("value").get<double>(), worst.at("frame").get<int64_t>()};
    }
    return out;
}

// Each finding as the program printed it: "black>0 (black.count = 1)".
std::vector<CatalogueFinding> findingsOf(const json& findings) {
    std::vector<CatalogueFinding> out;
    for (const json& f : findings) {
        VerdictFinding finding;
        finding.kind = f.at("kind").get<std::string>();
        finding.text = f.at("text").get<std::string>();
        if (f.at("name").is_string()) finding.name = f.at("name").get<std::string>();
        if (f.at("value").is_number()) finding.value = f.at("value").get<double>();
        out.push_back({f.at("severity").get<std::string>(), findingText(finding)});
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
        CatalogueEntry e;
        e.result = path;
        const json& input = doc.at("input");
        e.input = input.at("path").get<std::string>();
        e.width = input.at("width").get<int>();
        e.height = input.at("height").get<int>();
        e.frames = doc.at("run").at("frames").get<int64_t>();
        if (input.at("fps").is_number() && input.at("fps").get<double>() > 0)
            e.seconds = static_cast<double>(e.frames) / input.at("fps").get<double>();
        e.interrupted = doc.value("interrupted", false);
        for (const json& event : doc.at("events")) ++e.events[event.at("type").get<std::string>()];
        if (doc.contains("summary") && doc["summary"].is_object()) e.worst = worstValues(doc["summary"]);
        if (doc.contains("verdict") && doc["verdict"].is_object()) {
            e.status = doc["verdict"].at("status").get<std::string>();
            for (const json& f : doc["verdict"].at("findings"))
                (f.at("severity") == "error" ? e.errors : e.warnings) += 1;
            e.findings = findingsOf(doc["verdict"].at("findings"));
        }
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
