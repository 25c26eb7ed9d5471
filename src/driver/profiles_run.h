// `frameprobe profiles [show NAME]`: lists the shipped QC profiles or prints one.
#pragma once

int runProfiles(int argc, char** argv);
