// `frameprobe index` with the real binary on results it wrote: the failed runs
// first, links to the reports that exist, the findings' texts, worst values only
// where they mean a defect, the CSV inside the page; files that are not the
// program's results are skipped with a warning.
#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"

namespace {

class CatalogueTest : public ::testing::Test {
protected:
    TempDir dir;

    ProcessResult probe(const std::vector<std::string>& args) { return runProcess(FRAMEPROBE_BINARY, args, dir.path); }
    void SetUp() override {
        ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, {"dark.yuv", "64", "64", "12", "black:3-5"}, dir.path).status,
                  0);
        ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, {"fine.yuv", "64", "64", "12"}, dir.path).status, 0);
        std::filesystem::create_directory(dir.path / "results");
        const std::vector<std::string> common{"-s", "64x64", "-q", "--no-log", "--format", "json",
                                              "--indicators", "blackout,blur,letterbox"};
        auto run = [&](std::vector<std::string> args) {
            args.insert(args.begin(), common.begin(), common.end());
            return probe(args).status;
        };
        EXPECT_EQ(run({"fine.yuv", "-o", "results/a passed.json", "--fail-on", "black.count>0"}), 0);
        EXPECT_EQ(run({"dark.yuv", "-o", "results/b failed.json", "--fail-on", "black.count>0", "--report",
                       "results/b failed.html"}),
                  3);
        EXPECT_EQ(run({"dark.yuv", "-o", "results/c passed.json", "--fail-on", "black.count>5"}),
                  0);  // events, no failure
        EXPECT_EQ(run({"fine.yuv", "-o", "results/d.json"}), 0);
    }
    std::size_t at(const std::string& page, const std::string& what) {
        const auto found = page.find(what);
        EXPECT_NE(found, std::string::npos) << what;
        return found;
    }
};

TEST_F(CatalogueTest, FailedRunsFirstWithTheirReportsAndTheCsv) {
    const ProcessResult r = probe({"index", "catalogue.html", "results"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string page = readFile(dir.path / "catalogue.html");
    at(page, "<p id=\"totals\">4 runs, 1 failed");
    // Sorted by failures: the failed run, the passed ones (with events first), the one not judged.
    EXPECT_LT(at(page, ">results/b failed.json</a>"), at(page, ">results/c passed.json<"));
    EXPECT_LT(at(page, ">results/c passed.json<"), at(page, ">results/a passed.json<"));
    EXPECT_LT(at(page, ">results/a passed.json<"), at(page, ">results/d.json<"));
    at(page, "<a href=\"results/b%20failed.html\">");
    // The worst blur (flags have no worst column, and the black frames' letterbox of 1 is no
    // letterbox event), linked to its frame in the report.
    at(page, "<th class=\"worst\" data-sort=\"number\" data-worse=\"higher\" title=\"the highest value of blur\">"
             "worst blur</th></tr>");
    EXPECT_EQ(page.find("worst letterbox"), std::string::npos);
    // The findings' texts, the events by type in one cell.
    at(page, "<li class=\"severity-error\">error: <code>black.count&gt;0 (black.count = 1)</code></li>");
    at(page, "1 <small>(black&nbsp;1)</small>");
    at(page, "<a href=\"results/b%20failed.html#frame-");
    EXPECT_EQ(page.find("a%20passed.html"), std::string::npos);  // no report, no link
    const std::size_t from = at(page, "data:text/csv;base64,") + 21;
    const std::string csv = decodeBase64(page.substr(from, page.find('"', from) - from));
    EXPECT_EQ(
        csv.substr(0, csv.find('\n', csv.find('\n') + 1) + 1),
        "result,input,verdict,errors,warnings,frames,seconds,width,height,events,black,worst_blur,report,findings\n"
        "results/b failed.json,dark.yuv,fail,1,0,12,0.48,64,64,1,1,2.25,results/b%20failed.html,"
        "error: black.count>0 (black.count = 1)\n");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5);

    // The same page to standard output; a file as well as a folder.
    const ProcessResult out = probe({"index", "-", "results/d.json"});
    EXPECT_EQ(out.status, 0);
    EXPECT_NE(out.out.find("<p id=\"totals\">1 runs, 0 failed"), std::string::npos);
}

TEST_F(CatalogueTest, ForeignFilesAreSkippedWithAWarning) {
    writeFile(dir.path / "results/e.json", "{\"rows\": []}");
    writeFile(dir.path / "results/f.json", "not json at all");
    const ProcessResult r = probe({"index", "catalogue.html", "results"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "frameprobe index: warning: skipped results/e.json: not a frameprobe JSON result (--format json)\n"
                     "frameprobe index: warning: skipped results/f.json: not JSON\n");
    EXPECT_NE(readFile(dir.path / "catalogue.html").find("<p id=\"totals\">4 runs, 1 failed"), std::string::npos);
    EXPECT_EQ(probe({"index", "nowhere/catalogue.html", "results"}).status, 1);
    EXPECT_EQ(probe({"index", "results/d.json", "results/d.json"}).status, 2);  // the page may not be a result
    EXPECT_EQ(probe({"index", "catalogue.html"}).status, 2);
}

}  // namespace
