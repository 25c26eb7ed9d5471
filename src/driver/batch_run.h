// `frameprobe batch`: many files measured in parallel into one folder, with a catalogue
// that lets a killed batch resume where it stood.
#pragma once

// argv[1] is "batch".
int runBatch(int argc, char** argv);
