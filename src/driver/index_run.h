// `frameprobe index`: a catalogue page of the JSON results of many runs.
#pragma once

// argv[1] is "index"; the page and the results follow.
int runIndex(int argc, char** argv);
