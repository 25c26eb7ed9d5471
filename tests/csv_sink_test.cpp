// The CSV sink, read back with a small RFC 4180 reader.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <locale>
#include <sstream>

#include "indicators/registry.h"
#include "output/csv_sink.h"
#include "sink_capture.h"

namespace {

using Record = std::vector<std::string>;

// RFC 4180: fields separated by commas, records by CRLF; a quoted field may hold
// commas, line breaks and doubled quotes. Any bare LF is a format error here.
std::vector<Record> readCsv(const std::string& text) {
    std::vector<Record> records;
    Record record;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            record.push_back(std::move(field));
            field.clear();
            records.push_back(std::move(record));
            record.clear();
            ++i;
        } else if (c == '\n' || c == '\r') {
            throw std::runtime_error("bare line break at byte " + std::to_string(i));
        } else {
            field += c;
        }
    }
    if (quoted || !field.empty() || !record.empty()) throw std::runtime_error("last record not ended by CRLF");
    return records;
}

double number(const std::string& text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double v = 0;
    in >> v;
    EXPECT_TRUE(in.eof() && !in.fail()) << text;
    return v;
}

std::string runCsv(const RunInfo& info, const std::vector<CapturedRow>& rows) {
    Capture capture;
    CsvSink csv(capture.file());
    feed(csv, info, rows);
    return capture.text();
}

TEST(CsvReader, ReadsQuotedFields) {
    const auto records = readCsv("a,\"b,\"\"c\"\"\r\nd\",\r\n\"\",x\r\n");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], (Record{"a", "b,\"c\"\r\nd", ""}));
    EXPECT_EQ(records[1], (Record{"", "x"}));
    EXPECT_THROW(readCsv("a\nb\r\n"), std::runtime_error);
}

TEST(CsvSink, HeaderNamesEveryColumnWhateverIsRequested) {
    RunInfo info = everyIndicator();
    info.mask = 1u << *findIndicator("blur");
    const auto records = readCsv(runCsv(info, {}));
    ASSERT_EQ(records.size(), 1u);
    Record expected{"frame", "time"};
    for (const IndicatorDescriptor& d : indicatorRegistry()) expected.push_back(d.key);
    for (const char* name : kSignalStatNames) expected.push_back(std::string("signalstats.") + name);
    EXPECT_EQ(records[0], expected);
}

TEST(CsvSink, RowsReadBackExactlyWithEmptyCellsForNoValue) {
    const double tricky[] = {0.1, 1e-300, 5e-324, 1.0 / 3.0, -7.25};
    Results r;
    for (int i = 0; i < kIndicatorCount; ++i) r.set(i, tricky[static_cast<std::size_t>(i) % std::size(tricky)]);
    const int blockLoss = *findIndicator("block_loss");
    const int blur = *findIndicator("blur");
    const int noise = *findIndicator("noise");
    r.set(blockLoss, -1.0);
    r.set(blur, std::numeric_limits<double>::quiet_NaN());
    r.written &= ~(1u << noise);
    const auto records = readCsv(runCsv(everyIndicator(25), {{3, r}}));
    ASSERT_EQ(records.size(), 2u);
    const Record& row = records[1];
    ASSERT_EQ(row.size(), 2u + kIndicatorCount + kSignalStatCount);
    EXPECT_EQ(row[0], "3");
    EXPECT_EQ(number(row[1]), 3.0 / 25.0);
    for (int i = 0; i < kIndicatorCount; ++i) {
        const std::string& cell = row[2 + static_cast<std::size_t>(i)];
        if (i == blockLoss || i == blur || i == noise) {
            EXPECT_EQ(cell, "") << i;
        } else {
            EXPECT_EQ(number(cell), r[i]) << i;
        }
    }
}

TEST(CsvSink, DecimalPointIsADotInAnyLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr && std::setlocale(LC_ALL, "fr_FR.UTF-8") == nullptr)
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    Results r;
    r.set(0, 0.5);
    const std::string text = runCsv(everyIndicator(), {{1, r}});
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(readCsv(text)[1][2], "0.5");
}

}  // namespace
