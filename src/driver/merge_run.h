// `frameprobe merge`: joins the JSON Lines outputs of the segments of one run.
#pragma once

// argv[1] is "merge"; the parts and options follow.
int runMerge(int argc, char** argv);
