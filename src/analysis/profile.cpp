#include "analysis/profile.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "analysis/qc_gate.h"
#include "indicators/registry.h"
#include "rows/text_format.h"

namespace {

class Reader {
public:
    explicit Reader(std::string origin) : origin_(std::move(origin)) {}

    [[noreturn]] void refuse(const toml::node& node, const std::string& key, const std::string& why) const {
        refuseAt(node.source().begin, key, why);
    }

    [[noreturn]] void refuseAt(toml::source_position at, const std::string& key, const std::string& why) const {
        throw ProfileError(origin_ + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) + ": key \"" +
                           key + "\": " + why);
    }

    // Refuses keys outside `allowed`: a typo must not silently drop a rule.
    void onlyKeys(const toml::table& table, const std::string& prefix,
                  std::initializer_list<std::string_view> allowed) const {
        for (const auto& [key, node] : table)
            if (std::find(allowed.begin(), allowed.end(), key.str()) == allowed.end()) {
                std::string list;
                for (std::string_view a : allowed) list += (list.empty() ? "" : ", ") + std::string(a);
                refuseAt(key.source().begin, prefix + std::string(key.str()), "unknown key; expected one of " + list);
            }
    }

    std::string text(const toml::node& node, const std::string& key) const {
        if (const auto value = node.value<std::string>()) return *value;
        refuse(node, key, "expected a string");
    }

    double seconds(const toml::node& node, const std::string& key) const {
        const auto value = node.is_number() ? node.value<double>() : std::nullopt;
        if (!value || !(*value >= 0) || *value > 1e9) refuse(node, key, "expected a number of seconds from 0");
        return *value;
    }

    Severity severity(const toml::node& node, const std::string& key) const {
        const auto level = severityNamed(text(node, key));
        if (!level) refuse(node, key, "expected \"warning\" or \"error\"");
        return *level;
    }

    const toml::table& table(const toml::node& node, const std::string& key) const {
        if (const toml::table* t = node.as_table()) return *t;
        refuse(node, key, "expected a table");
    }

    void events(const toml::table& all, Profile& p) const {
        for (const auto& [typeKey, node] : all) {
            const std::string type(typeKey.str());
            const std::string prefix = "events." + type + ".";
            const auto types = eventTypes();
            if (std::find(types.begin(), types.end(), type) == types.end()) {
                std::string list;
                for (std::string_view t : types) list += (list.empty() ? "" : ", ") + std::string(t);
                refuseAt(typeKey.source().begin, "events." + type, "unknown event type; expected one of " + list);
            }
            const toml::table& rule = table(node, "events." + type);
            if (type == "flicker")
                onlyKeys(rule, prefix, {"threshold", "min_duration", "recovery", "severity"});
            else if (type == kDecodeErrorEvent)  // a place where frames were lost has no length of its own
                onlyKeys(rule, prefix, {"severity"});
            else
                onlyKeys(rule, prefix, {"min_duration", "recovery", "severity"});
            if (const toml::node* n = rule.get("min_duration"))
                p.events.minDuration[type] = seconds(*n, prefix + "min_duration");
            if (const toml::node* n = rule.get("recovery")) p.events.recovery[type] = seconds(*n, prefix + "recovery");
            if (const toml::node* n = rule.get("severity")) p.events.severity[type] = severity(*n, prefix + "severity");
            if (const toml::node* n = rule.get("threshold")) {
                const auto value = n->is_number() ? n->value<double>() : std::nullopt;
                // A negative threshold would make every period flicker.
                if (!value || !std::isfinite(*value) || *value < 0)
                    refuse(*n, prefix + "threshold", "expected a number from 0");
                p.events.flickerThreshold = *value;
            }
        }
    }

    void conditions(const toml::node& node, Profile& p) const {
        const toml::array* list = node.as_array();
        if (list == nullptr) refuse(node, "conditions", "expected an array of tables ([[conditions]])");
        for (std::size_t i = 0; i < list->size(); ++i) {
            const std::string key = "conditions[" + std::to_string(i) + "]";
            const toml::table& c = table((*list)[i], key);
            onlyKeys(c, key + ".", {"expression", "severity"});
            const toml::node* expression = c.get("expression");
            if (expression == nullptr) refuse(c, key + ".expression", "missing");
            ProfileCondition condition{text(*expression, key + ".expression"), Severity::Error};
            try {
                parseQcCondition(condition.expression);
            } catch (const QcSyntaxError& e) {
                refuse(*expression, key + ".expression", e.what());
            }
            if (const toml::node* s = c.get("severity")) condition.severity = severity(*s, key + ".severity");
            p.conditions.push_back(std::move(condition));
        }
    }

    // [loudness]: a preset ("ebu-r128": -23 LUFS +-1 LU, true peak -1 dBTP; "atsc-a85": -24 LKFS
    // +-2 dB, -2 dBTP) and any of its numbers, made into conditions on every audio stream.
    void loudness(const toml::table& rule, Profile& p) const {
        onlyKeys(rule, "loudness.", {"preset", "target", "tolerance", "true_peak", "severity"});
        LoudnessLimits limits = *loudnessPreset("ebu-r128");
        if (const toml::node* n = rule.get("preset")) {
            const auto preset = loudnessPreset(text(*n, "loudness.preset"));
            if (!preset) refuse(*n, "loudness.preset", "expected \"ebu-r128\" or \"atsc-a85\"");
            limits = *preset;
        }
        auto number = [&](const char* key, double& value, bool positive) {
            const toml::node* n = rule.get(key);
            if (n == nullptr) return;
            const auto v = n->value<double>();
            if (!v || !std::isfinite(*v) || (positive && *v < 0))
                refuse(*n, std::string("loudness.") + key, "expected a number");
            value = *v;
        };
        number("target", limits.target, false);
        number("tolerance", limits.tolerance, true);
        number("true_peak", limits.truePeak, false);
        Severity level = Severity::Error;
        if (const toml::node* s = rule.get("severity")) level = severity(*s, "loudness.severity");
        p.loudness = limits;
        p.loudnessSeverity = level;
        p.conditions.push_back({"loudness.integrated<" + shortestNumber(limits.target - limits.tolerance), level});
        p.conditions.push_back({"loudness.integrated>" + shortestNumber(limits.target + limits.tolerance), level});
        p.conditions.push_back({"loudness.true_peak>" + shortestNumber(limits.truePeak), level});
    }

    Profile read(const toml::table& root) const {
        onlyKeys(root, "", {"schema", "name", "version", "description", "events", "conditions", "loudness"});
        Profile p;
        const toml::node* schema = root.get("schema");
        if (schema == nullptr)
            refuse(root, "schema", "missing; this program reads schema " + std::to_string(kProfileSchema));
        const auto number = schema->value_exact<int64_t>();
        if (!number || *number < 1) refuse(*schema, "schema", "expected a whole number from 1");
        if (*number > kProfileSchema)
            refuse(*schema, "schema",
                   "the profile needs schema " + std::to_string(*number) + ", newer than this program's " +
                       std::to_string(kProfileSchema) + "; use a newer frameprobe");
        p.schema = static_cast<int>(*number);
        for (const char* key : {"name", "version"})
            if (root.get(key) == nullptr) refuse(root, key, "missing");
        p.name = text(*root.get("name"), "name");
        p.version = text(*root.get("version"), "version");
        if (const toml::node* d = root.get("description")) p.description = text(*d, "description");
        if (const toml::node* e = root.get("events")) events(table(*e, "events"), p);
        if (const toml::node* c = root.get("conditions")) conditions(*c, p);
        if (const toml::node* l = root.get("loudness")) loudness(table(*l, "loudness"), p);
        return p;
    }

private:
    std::string origin_;
};

}  // namespace

Profile parseProfile(std::string_view text, const std::string& origin) {
    try {
        const toml::table root = toml::parse(text, origin);
        return Reader(origin).read(root);
    } catch (const toml::parse_error& e) {
        const toml::source_position at = e.source().begin;
        throw ProfileError(origin + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) + ": " +
                           std::string(e.description()));
    }
}

Profile loadProfileFile(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        throw ProfileError("cannot read the profile " + file.string() +
                           (std::filesystem::exists(file, error) ? ": not a regular file" : ": no such file"));
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ProfileError("cannot read the profile " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw ProfileError("cannot read the profile " + file.string());
    return parseProfile(text.str(), file.string());
}
