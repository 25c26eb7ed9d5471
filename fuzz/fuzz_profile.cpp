// QC profiles, which users write and pass around: any text gives a profile whose
// conditions a gate takes, or a ProfileError, never a crash or another exception.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/profile.h"
#include "analysis/qc_gate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const Profile profile = parseProfile(text, "fuzz.toml");
        // A profile's conditions were checked when it was read: the gate takes every one.
        QcGate gate;
        for (const ProfileCondition& c : profile.conditions) gate.add(c.expression, c.severity, "profile fuzz");
        gate.setProfile(profile.name, profile.version);
    } catch (const ProfileError&) {
    }
    return 0;
}
