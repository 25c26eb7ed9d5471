// The positional command line:
//   frameprobe nameOfTheMovie.yuv WIDTH HEIGHT [RequestedVQIs] [FPS] [NumberOfFrames] [startFrame]
// with its messages on standard output and its log file.
#pragma once

int runPositional(int argc, char** argv);

#include "cli/options.h"

// Whether the positional form names a regular file that states its own format
// (Y4M); such a run goes through the option form with the positional values.
bool positionalInputIsSelfDescribing(int argc, char** argv);

// Whether the positional form's input is "-", standard input: such a run also
// goes through the option form, which reads it as a stream.
bool positionalReadsStandardInput(int argc, char** argv);

// The positional values as options, converted as the positional form converts them.
ParsedOptions positionalAsOptions(int argc, char** argv);
