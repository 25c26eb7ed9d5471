// The positional command line:
//   frameprobe nameOfTheMovie.yuv WIDTH HEIGHT [RequestedVQIs] [FPS] [NumberOfFrames] [startFrame]
// with its messages on standard output and its log file.
#pragma once

int runPositional(int argc, char** argv);
