// `frameprobe monitor`: watches live inputs until SIGINT or SIGTERM.
#pragma once

// argv[1] is "monitor"; the inputs and options follow.
int runMonitor(int argc, char** argv);
