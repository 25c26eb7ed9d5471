// The HTML report, fed by hand with rows and pictures as a run would feed it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <map>

#include "indicators/flickering.h"
#include "indicators/registry.h"
#include "report/frame_envelope.h"
#include "report/html_report.h"
#include "analysis/run_record.h"
#include "rows/tee_sink.h"
#include "rows/text_format.h"
#include "report/thumbnail.h"
#include "report/thumbnail_keeper.h"
#include "sink_capture.h"
#include "test_support.h"

using nlohmann::json;

namespace {

int indexOf(const char* key) { return *findIndicator(key); }

uint32_t maskOf(std::initializer_list<const char*> keys) {
    uint32_t mask = 0;
    for (const char* k : keys) mask |= indicatorRegistry()[static_cast<std::size_t>(indexOf(k))].maskBit;
    return mask;
}

// A frame as a run hands it over: its picture, then its row.
struct Frame {
    Results values;
    const Image* picture = nullptr;
};

struct Report {
    std::string page;
    std::vector<Event> events;
};

Report runReport(const RunInfo& info, const std::vector<Frame>& frames, RunEnd end = {},
                 const QcGate* gate = nullptr, EventOptions options = {}) {
    TempDir dir;
    const auto path = dir.path / "report.html";
    RunRecord record(options);
    HtmlReport report(path.string(), record);
    TeeSink tee{&record, &report};
    record.setGate(gate);
    tee.begin(info);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        const auto frame = info.startFrame + static_cast<int64_t>(f);
        if (frames[f].picture != nullptr) tee.picture(frame, *frames[f].picture);
        tee.row(frame, frames[f].values);
    }
    if (end.frames == 0) end.frames = static_cast<int64_t>(frames.size());
    tee.end(end);
    return {readFile(path), record.events()};
}

json plotData(const std::string& page) {
    const std::string open = "<script type=\"application/json\" id=\"report-data\">";
    const auto from = page.find(open) + open.size();
    return json::parse(page.substr(from, page.find("</script>", from) - from));
}

const json& plotOf(const json& data, const char* key) {
    for (const json& p : data["plots"])
        if (p["key"] == key) return p;
    throw std::runtime_error(std::string("no plot of ") + key);
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// Width and height of every embedded PNG, read from its header, by the frame it shows.
std::map<int64_t, std::pair<uint32_t, uint32_t>> embeddedPictures(const std::string& page) {
    std::map<int64_t, std::pair<uint32_t, uint32_t>> found;
    const std::string figure = "<figure id=\"picture-";
    const std::string source = "src=\"data:image/png;base64,";
    for (std::size_t at = page.find(figure); at != std::string::npos; at = page.find(figure, at + 1)) {
        const std::size_t digits = at + figure.size();
        const int64_t frame = std::stoll(page.substr(digits, page.find('"', digits) - digits));
        const std::size_t data = page.find(source, digits) + source.size();
        const std::string png = decodeBase64(page.substr(data, page.find('"', data) - data));
        EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
        const auto be32 = [&](std::size_t i) {
            return uint32_t{static_cast<unsigned char>(png[i])} << 24 |
                   uint32_t{static_cast<unsigned char>(png[i + 1])} << 16 |
                   uint32_t{static_cast<unsigned char>(png[i + 2])} << 8 | static_cast<unsigned char>(png[i + 3]);
        };
        found[frame] = {be32(16), be32(20)};
    }
    return found;
}

TEST(HtmlReport, OnePageWithAPlotPerRequestedIndicatorAndNothingFromOutside) {
    RunInfo info = everyIndicator();
    info.mask = maskOf({"blur", "blackout", "noise"});
    OwnedImage picture(352, 288, 90);
    std::vector<Frame> frames(10);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        frames[f].values.set(indexOf("blur"), static_cast<double>(f));
        frames[f].values.set(indexOf("blackout"), f == 4 ? 1.0 : 0.0);
        frames[f].values.set(indexOf("noise"), 2.5);
        frames[f].picture = &picture.image;
    }
    const RunEnd end{10, 0.5, false};
    const std::string page = runReport(info, frames, end).page;

    EXPECT_EQ(count(page, "data-indicator=\""), 3u);
    for (const char* key : {"blur", "blackout", "noise"})
        EXPECT_EQ(count(page, std::string("data-indicator=\"") + key + "\""), 1u) << key;
    EXPECT_EQ(page.find("http"), std::string::npos);
    EXPECT_EQ(page.find("<link"), std::string::npos);
    EXPECT_EQ(count(page, "src="), count(page, "src=\"data:image/png;base64,"));
    EXPECT_EQ(plotData(page)["plots"].size(), 3u);
    // The same run gives the same page.
    EXPECT_EQ(runReport(info, frames, end).page, page);
}

TEST(HtmlReport, FramesWithoutAValueAreGaps) {
    RunInfo info = everyIndicator();
    info.mask = maskOf({"blur", "block_loss"});
    std::vector<Frame> frames(8);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        if (f < 3 || f > 4) frames[f].values.set(indexOf("blur"), 1.5);
        frames[f].values.set(indexOf("block_loss"), f == 6 ? -1.0 : 0.25);  // -1: no value
    }
    const json data = plotData(runReport(info, frames).page);
    EXPECT_EQ(plotOf(data, "blur")["v"], json::parse("[1.5,1.5,1.5,null,null,1.5,1.5,1.5]"));
    EXPECT_EQ(plotOf(data, "block_loss")["v"][6], nullptr);
    EXPECT_EQ(plotOf(data, "block_loss")["v"][5], 0.25);
}

TEST(HtmlReport, LongRunsAreDecimatedIntoASmallPage) {
    RunInfo info = everyIndicator();
    info.frameCount.reset();
    constexpr std::size_t kFrames = 200000;
    OwnedImage picture(64, 48, 0);
    std::vector<Frame> frames(kFrames);
    for (std::size_t f = 0; f < kFrames; ++f) {
        for (int i = 0; i < kIndicatorCount; ++i)
            frames[f].values.set(i, std::sin(static_cast<double>(f * (static_cast<std::size_t>(i) + 1)) * 0.001) + 1.0);
        for (int i = 0; i < kIndicatorCount; ++i)  // no event but 200 black ones
            if (indicatorRegistry()[static_cast<std::size_t>(i)].event.type != nullptr) frames[f].values.set(i, 0.0);
        frames[f].values.set(indexOf("blackout"), f % 1000 < 10 ? 1.0 : 0.0);
        frames[f].picture = &picture.image;
    }
    const Report report = runReport(info, frames);
    RecordProperty("page_bytes", std::to_string(report.page.size()));
    EXPECT_LT(report.page.size(), 5u * 1000 * 1000);
    const json data = plotData(report.page);
    EXPECT_EQ(data["frames"], kFrames);
    const std::size_t bins = plotOf(data, "blur")["hi"].size();
    EXPECT_EQ(bins, data["bins"]);
    EXPECT_GE(bins * data["binWidth"].get<std::size_t>(), kFrames);
    EXPECT_LE(bins, 2048u);
    EXPECT_EQ(report.events.size(), 200u);
    EXPECT_EQ(count(report.page, "black, frames "), kEventThumbnailLimit);
    EXPECT_LE(count(report.page, "<figure id=\"picture-"), kIndicatorCount + kEventThumbnailLimit);
}

TEST(HtmlReport, ThumbnailsOfTheWorstFramesAndEventStartsAreSmall) {
    RunInfo info = everyIndicator();
    info.width = 1280;
    info.height = 720;
    info.mask = maskOf({"blur", "blackout", "flickering"});
    std::vector<std::unique_ptr<OwnedImage>> pictures;
    std::vector<Frame> frames(24);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        pictures.push_back(std::make_unique<OwnedImage>(1280, 720, static_cast<uint8_t>(f * 10)));
        frames[f].picture = &pictures.back()->image;
        frames[f].values.set(indexOf("blur"), f == 6 || f == 7 ? 9.0 : 1.0);  // ties keep the earlier frame
        frames[f].values.set(indexOf("blackout"), f >= 3 && f <= 5 ? 1.0 : 0.0);
        // A flicker value stands for the period ending at its frame: frames 8 to 15 flicker.
        frames[f].values.set(indexOf("flickering"), f == 15 ? 0.5 : f % 8 == 7 ? 0.0 : -1.0);
        if (f % 8 == 7) frames[f].values.setEvidence(indexOf("flickering"), frames[f].values[indexOf("flickering")]);
    }
    const Report report = runReport(info, frames);
    ASSERT_EQ(report.events.size(), 2u);
    EXPECT_EQ(report.events[1].startFrame, 8);  // the record's flicker event starts a period early
    const auto shown = embeddedPictures(report.page);
    for (int64_t frame : {int64_t{6}, report.events[0].startFrame, report.events[1].startFrame}) {
        ASSERT_TRUE(shown.count(frame)) << "no picture of frame " << frame;
        EXPECT_EQ(shown.at(frame), std::make_pair(240u, 135u));
    }
    EXPECT_FALSE(shown.count(7));
}

// Each frame's picture shows its frame number as its samples' value.
TEST(ThumbnailKeeper, ShrinksOnlyFramesWorthKeepingAndShowsTheRightOnes) {
    RunInfo info = everyIndicator();
    info.mask = maskOf({"contrast", "flickering"});
    info.frameCount = 200;
    ThumbnailKeeper keeper;
    keeper.begin(info, EventOptions{});
    const int contrast = indexOf("contrast"), flickering = indexOf("flickering");
    for (int64_t f = 0; f < 200; ++f) {
        OwnedImage picture(640, 360, static_cast<uint8_t>(f));
        Results r;
        r.set(contrast, f == 150 ? 1.0 : 40.0);  // lower is worse: frame 150, else the first
        // Values stand for the 8 frames ending at theirs; frames 96 to 111 flicker.
        if (f % 8 == 7) {
            r.set(flickering, f == 103 || f == 111 ? 0.5 : 0.0);
            r.setEvidence(flickering, r[flickering]);
        }
        keeper.picture(f, picture);
        keeper.row(f, r);
    }
    ASSERT_NE(keeper.worst(contrast), nullptr);
    EXPECT_EQ(keeper.worst(contrast)->frame, 150);
    EXPECT_EQ(keeper.worst(contrast)->samples.front(), 150);
    const Thumbnail* start = keeper.eventStart("flicker", 96);
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->frame, 96);
    EXPECT_EQ(start->samples.back(), 96);
    EXPECT_EQ(keeper.worst(flickering)->frame, 103);
    // The first frame of each stretch of 8 while no flicker is open (25 stretches,
    // 104 and 112 inside the event; frame 0 is contrast's first worst too), then
    // frame 150 and flickering's worst so far, frames 7 and 103; and the
    // filmstrip's 16 small ones, every 13th frame.
    EXPECT_EQ(keeper.shrunk(), 23 + 3 + 16);
}

TEST(ThumbnailKeeper, FilmstripFramesAreEvenlySpacedWhateverTheLength) {
    for (const std::optional<int64_t> known : {std::optional<int64_t>{1000}, std::optional<int64_t>{}}) {
        RunInfo info = everyIndicator();
        info.mask = maskOf({"blur"});
        info.frameCount = known;
        ThumbnailKeeper keeper;
        keeper.begin(info, EventOptions{});
        OwnedImage picture(64, 48, 0);
        for (int64_t f = 0; f < 1000; ++f) {
            std::fill(picture.samples.begin(), picture.samples.end(), static_cast<uint8_t>(f % 251));
            keeper.picture(f, picture);
            keeper.row(f, Results{});
        }
        const auto strip = keeper.filmstrip();
        ASSERT_GE(strip.size(), kFilmstripLength);
        ASSERT_LE(strip.size(), 2 * kFilmstripLength);
        const int64_t step = strip[1]->frame - strip[0]->frame;
        for (std::size_t i = 0; i < strip.size(); ++i) {
            EXPECT_EQ(strip[i]->frame, static_cast<int64_t>(i) * step) << i;
            EXPECT_EQ(strip[i]->samples.front(), strip[i]->frame % 251);
        }
        EXPECT_GT(strip.back()->frame + step, 999);  // the strip reaches the end
    }
}

TEST(HtmlReport, TextFromOutsideIsEscaped) {
    RunInfo info = everyIndicator();
    info.path = "<script>alert(\"x\")</script> & 'clip'\xE9\xFF.yuv";  // Latin-1 bytes: not UTF-8
    info.mask = maskOf({"blur"});
    std::vector<Frame> frames(2);
    QcGate gate;
    gate.setProfile("<b>strict</b>", "1");
    gate.add("blur.p95>=0");
    for (Frame& f : frames) f.values.set(indexOf("blur"), 1.0);
    const std::string page = runReport(info, frames, {}, &gate).page;
    EXPECT_EQ(page.find("<script>alert"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(
        page.find("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; &#39;clip&#39;\xEF\xBF\xBD\xEF\xBF\xBD.yuv"),
        std::string::npos);
    EXPECT_EQ(validUtf8(page), page);  // the page is UTF-8 throughout, as it says
    EXPECT_NE(page.find("&lt;b&gt;strict&lt;/b&gt;"), std::string::npos);
    EXPECT_NE(page.find("blur.p95&gt;=0"), std::string::npos);
}

// A warning is not a pass: the page tells the status, each finding with its value and
// the events behind it, and every event's severity.
TEST(HtmlReport, TheVerdictWithItsFindingsAndEventSeverities) {
    RunInfo info = everyIndicator();
    info.mask = maskOf({"blur", "blackout"});
    std::vector<Frame> frames(12);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        frames[f].values.set(indexOf("blur"), f == 4 ? 9.0 : 1.0);
        frames[f].values.set(indexOf("blackout"), f >= 2 && f <= 3 ? 1.0 : 0.0);
    }
    EventOptions options;
    options.severity["black"] = Severity::Error;
    QcGate warnOnly;
    warnOnly.add("blur.max>5", Severity::Warning);
    const std::string warned = runReport(info, frames, {}, &warnOnly, options).page;
    EXPECT_NE(warned.find("<div id=\"verdict\" data-status=\"warn\">"), std::string::npos);
    EXPECT_EQ(warned.find("passed"), std::string::npos);
    EXPECT_NE(warned.find("<code>blur.max&gt;5 (blur.max = 9)</code>"), std::string::npos);
    const json data = plotData(warned);
    ASSERT_EQ(data["events"].size(), 1u);
    EXPECT_EQ(data["events"][0]["severity"], "error");
    EXPECT_NE(warned.find("data-severity=\"error\"><td>black</td>"), std::string::npos);

    QcGate failing;
    failing.add("black.count>0");
    const std::string failed = runReport(info, frames, {}, &failing, options).page;
    EXPECT_NE(failed.find("data-status=\"fail\""), std::string::npos);
    EXPECT_NE(failed.find("data-events=\"1\""), std::string::npos);
    EXPECT_NE(failed.find("; events: <a href=\"#frames-2-3\">"), std::string::npos);

    QcGate passing;
    passing.add("blur.max>50");
    const std::string passed = runReport(info, frames, {}, &passing).page;
    EXPECT_NE(passed.find("data-status=\"pass\""), std::string::npos);
    EXPECT_EQ(runReport(info, frames).page.find("id=\"verdict\""), std::string::npos);
}

// A plot without any value says what its frames lack, where the indicator says what it needs.
TEST(HtmlReport, AnEmptyPlotSaysWhatItsFramesNeed) {
    RunInfo info = everyIndicator();
    info.width = info.height = 64;
    info.mask = maskOf({"block_loss", "blur"});
    std::vector<Frame> frames(3);
    for (Frame& f : frames) f.values.set(indexOf("blur"), 1.0);
    const json data = plotData(runReport(info, frames).page);
    EXPECT_EQ(plotOf(data, "block_loss")["why"], "needs frames of at least 256x256");
    EXPECT_FALSE(plotOf(data, "blur").contains("why"));
}

// The levels section: only for rows with the picture's statistics, a band per plane from the
// smallest minimum to the largest maximum of each bin, R103's limits at the input's depth.
TEST(HtmlReport, LevelsSectionOnlyWhereThePicturesStatisticsWereMeasured) {
    RunInfo info = everyIndicator();
    info.mask = maskOf({"brng"});
    info.bitDepth = 10;
    std::vector<Frame> frames(3);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        frames[f].values.set(indexOf("brng"), 0.0);
        SignalStats stats;
        stats.values[YMIN] = 64 + static_cast<double>(f);
        stats.values[YMAX] = 990 - static_cast<double>(f);
        stats.values[SATAVG] = 10;
        stats.values[SATMAX] = 300;
        frames[f].values.signal = stats;
    }
    const std::string page = runReport(info, frames).page;
    EXPECT_EQ(count(page, "class=\"plot levels\""), 4u);
    const json data = plotData(page);
    const json& luma = plotOf(data, "levels_y");
    EXPECT_EQ(luma["lo"], json::parse("[64,65,66]"));
    EXPECT_EQ(luma["hi"], json::parse("[990,989,988]"));
    EXPECT_EQ(luma["limits"], json::parse("[20,984]"));
    EXPECT_EQ(luma["event"], "levels");
    EXPECT_EQ(plotOf(data, "saturation")["hi"], json::parse("[300,300,300]"));
    EXPECT_FALSE(plotOf(data, "levels_cb").contains("limits"));
    // Without them, none.
    for (Frame& f : frames) f.values.signal.reset();
    const std::string without = runReport(info, frames).page;
    EXPECT_EQ(without.find("id=\"levels\""), std::string::npos);
    EXPECT_EQ(plotData(without)["plots"].size(), 1u);
}

TEST(HtmlReport, FailedWritesThrow) {
    RunRecord record;
    HtmlReport nowhere("/nonexistent-folder/report.html", record);
    EXPECT_THROW(nowhere.begin(everyIndicator()), WriteError);

    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    HtmlReport full("/dev/full", record);
    TeeSink tee{&record, &full};
    tee.begin(everyIndicator());
    tee.row(0, Results{});
    EXPECT_THROW(tee.end(RunEnd{1, 0.1, false}), WriteError);
}

TEST(Shrinker, AveragesEachBoxAndKeepsTheAspectRatio) {
    OwnedImage stripes(640, 4, 0);
    for (uint64_t y = 0; y < 4; ++y)
        for (uint64_t x = 0; x < 640; x += 2) stripes.at(x, y) = 255;
    Shrinker shrinker(320);
    Thumbnail t;
    shrinker.shrink(7, stripes, t);
    EXPECT_EQ(t.frame, 7);
    EXPECT_EQ(t.width, 320u);
    EXPECT_EQ(t.height, 2u);
    for (uint8_t v : t.samples) EXPECT_EQ(v, 128);  // (255 + 0) / 2, rounded

    OwnedImage small(100, 50, 33);
    shrinker.shrink(8, small, t);
    EXPECT_EQ(t.width, 100u);
    EXPECT_EQ(t.height, 50u);
    EXPECT_EQ(t.samples, small.samples);

    OwnedImage portrait(1080, 1920, 7);
    shrinker.shrink(9, portrait, t);
    EXPECT_EQ(t.width, 180u);
    EXPECT_EQ(t.height, 320u);

    // Boxes too tall for 16-bit sums: 300 rows of 255 to each sample.
    OwnedImage tall(2, 300 * 320, 255);
    shrinker.shrink(10, tall, t);
    EXPECT_EQ(t.height, 320u);
    for (uint8_t v : t.samples) EXPECT_EQ(v, 255);
}

TEST(FrameEnvelope, MergedBinsKeepTheExtremesAndTheGaps) {
    FrameEnvelope envelope(4);
    const int blur = indexOf("blur");
    for (int64_t f = 100; f < 110; ++f) {
        Results r;
        if (f < 104 || f >= 108) r.set(blur, static_cast<double>(f % 7));
        envelope.add(f, r);
    }
    EXPECT_EQ(envelope.first(), 100);
    EXPECT_EQ(envelope.frames(), 10);
    ASSERT_EQ(envelope.binWidth(), 4);
    ASSERT_EQ(envelope.bins(), 3u);
    EXPECT_EQ(envelope.low(blur, 0), 2.0);  // 100..103: 2, 3, 4, 5
    EXPECT_EQ(envelope.high(blur, 0), 5.0);
    EXPECT_EQ(envelope.low(blur, 1), std::nullopt);
    EXPECT_EQ(envelope.low(blur, 2), 3.0);  // 108, 109: 3, 4
    EXPECT_EQ(envelope.high(blur, 2), 4.0);
    EXPECT_EQ(envelope.low(indexOf("noise"), 0), std::nullopt);
}

}  // namespace
