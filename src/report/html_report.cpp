#include "report/html_report.h"

#include "report/report_page.h"
#include "analysis/run_record.h"

HtmlReport::HtmlReport(std::string path, const RunRecord& record, bool timecode)
    : path_(std::move(path)), record_(record), timecode_(timecode) {}

void HtmlReport::begin(const RunInfo& info) {
    // Created now, so that a path that cannot be written stops the run before it measures.
    out_.emplace(OutputFile::open(path_));
    envelope_.reset();
    thumbnails_.begin(info, record_.eventOptions());
}

void HtmlReport::row(int64_t frame, const Results& values) {
    envelope_.add(frame, values);
    thumbnails_.row(frame, values);
}

void HtmlReport::end(const RunEnd& end) {
    writeReportPage(*out_, ReportContent{record_, envelope_, thumbnails_, end, timecode_});
    out_->close();
}
