// QC profiles: what a file sets, what it may not say, and what the run then measures.
#include "analysis/profile.h"

#include <gtest/gtest.h>

#include "analysis/measured_indicators.h"
#include "indicators/registry.h"

namespace {

uint32_t bitOf(const char* key) { return indicatorRegistry()[static_cast<std::size_t>(*findIndicator(key))].maskBit; }

std::string refusal(const std::string& text) {
    try {
        parseProfile(text, "p.toml");
    } catch (const ProfileError& e) {
        return e.what();
    }
    return "";
}

const std::string kHead = "schema = 1\nname = \"p\"\nversion = \"3\"\n";

TEST(Profile, ReadsRulesAndConditions) {
    const Profile p = parseProfile(kHead + R"(description = "d"
[events.black]
min_duration = 2
recovery = 0.1
severity = "error"
[events.flicker]
threshold = 0.3
[[conditions]]
expression = "freeze.duration>=1"
[[conditions]]
expression = "blur.p95>5"
severity = "warning"
)",
                                   "p.toml");
    EXPECT_EQ(p.name, "p");
    EXPECT_EQ(p.version, "3");
    EXPECT_EQ(p.events.minDurationOf("black"), 2.0);
    EXPECT_EQ(p.events.recoveryOf("black"), 0.1);
    EXPECT_EQ(p.events.severityOf("black"), Severity::Error);
    EXPECT_EQ(p.events.severityOf("freeze"), Severity::Warning);
    EXPECT_EQ(p.events.flickerThreshold, 0.3);
    ASSERT_EQ(p.conditions.size(), 2u);
    EXPECT_EQ(p.conditions[0].severity, Severity::Error);  // a condition fails unless it says otherwise
    EXPECT_EQ(p.conditions[1].severity, Severity::Warning);
}

TEST(Profile, RefusalsNameFileLineColumnAndKey) {
    // A typo must not silently drop a rule.
    EXPECT_EQ(refusal(kHead + "[events.black]\nmin_duraton = 2\n"),
              "p.toml:5:1: key \"events.black.min_duraton\": unknown key; expected one of min_duration, recovery, "
              "severity");
    EXPECT_NE(refusal(kHead + "[events.blak]\n").find("key \"events.blak\": unknown event type"), std::string::npos);
    EXPECT_NE(refusal(kHead + "[events.black]\nthreshold = 2\n").find("unknown key"), std::string::npos);
    EXPECT_NE(refusal(kHead + "[events.black]\nseverity = \"fatal\"\n").find("p.toml:5:12"), std::string::npos);
    EXPECT_NE(refusal(kHead + "[events.black]\nmin_duration = -1\n").find("from 0"), std::string::npos);
    EXPECT_NE(refusal(kHead + "[events.flicker]\nthreshold = -0.1\n").find("from 0"), std::string::npos);
    EXPECT_NE(refusal(kHead + "[events.flicker]\nthreshold = nan\n").find("from 0"), std::string::npos);
    EXPECT_NE(
        refusal(kHead + "[[conditions]]\nexpression = \"blurr.p95>5\"\n").find("key \"conditions[0].expression\""),
        std::string::npos);
    EXPECT_NE(refusal("name = \"p\"\nversion = \"1\"\n").find("key \"schema\": missing"), std::string::npos);
    EXPECT_NE(refusal("schema = 0\nname = \"p\"\nversion = \"1\"\n").find("expected a whole number from 1"),
              std::string::npos);
    EXPECT_NE(refusal("schema = 2\nname = \"p\"\nversion = \"1\"\n").find("newer than this program's 1"),
              std::string::npos);
    EXPECT_NE(refusal(kHead + "[events.black\n").find("p.toml:4:"), std::string::npos);  // not TOML at all
    EXPECT_EQ(refusal(kHead), "");
}

TEST(MeasuredIndicators, NeedsReadsEventRulesAndConditionsAreAdded) {
    // A mask adds what each indicator needs, as a list does; freezing always has blackout.
    const MeasuredIndicators freezing = measuredIndicators(bitOf("freezing"), {});
    EXPECT_EQ(freezing.mask, bitOf("freezing") | bitOf("temporal_activity") | bitOf("blackout"));
    EXPECT_EQ(freezing.addedBy.at("temporal_activity"), "freezing");
    EXPECT_EQ(freezing.addedBy.at("blackout"), "freezing");
    // Letterbox events yield to black frames, so blackout is measured with them.
    EXPECT_EQ(measuredIndicators(bitOf("letterbox"), {}).addedBy.at("blackout"), "letterbox");
    // A condition measures what it names, an event type by its indicator.
    const MeasuredIndicators gate = measuredIndicators(bitOf("blur"), {{"black", "--fail-on black>0"}, {"blur", "x"}});
    EXPECT_EQ(gate.mask, bitOf("blur") | bitOf("blackout"));
    EXPECT_EQ(gate.addedBy.size(), 1u);
    EXPECT_EQ(gate.addedBy.at("blackout"), "--fail-on black>0");
    EXPECT_EQ(measuredIndicators(0, {{"freeze", "profile p"}}).addedBy.at("temporal_activity"), "freezing");
}

}  // namespace
