#include "driver/profiles_run.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "analysis/profile_lookup.h"
#include "process/exit_status.h"

int runProfiles(int argc, char** argv) {
    const std::string usage = "usage: frameprobe profiles [show NAME]";
    try {
        if (argc == 2) {
            const auto shipped = shippedProfiles();
            // An empty list would read as success; a broken build or install must show.
            if (shipped.empty()) {
                fprintf(stderr, "frameprobe: no profiles: %s\n", noProfilesFoundText().c_str());
                return kToolFailure;
            }
            for (const auto& [name, path] : shipped) {
                const Profile p = loadProfileFile(path);
                printf("%-20s %-8s %s\n", name.c_str(), p.version.c_str(), p.description.c_str());
            }
            return fflush(stdout) == 0 ? 0 : kToolFailure;
        }
        if (argc == 4 && std::string_view(argv[2]) == "show") {
            const std::filesystem::path path = profilePath(argv[3]);
            loadProfileFile(path);  // only a sound profile is shown
            std::ifstream in(path, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            fputs(text.str().c_str(), stdout);
            return fflush(stdout) == 0 ? 0 : kToolFailure;
        }
    } catch (const ProfileError& e) {
        fprintf(stderr, "frameprobe: %s\n", e.what());
        return kUsageStatus;
    }
    fprintf(stderr, "frameprobe: %s\n", usage.c_str());
    return kUsageStatus;
}
