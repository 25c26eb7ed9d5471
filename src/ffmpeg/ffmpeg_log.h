// What becomes of the messages of FFmpeg's libraries: nothing under -q, the
// first few and a count by default (a damaged file can give hundreds), or all
// of them from a chosen level on.
#pragma once

#include <string>

// `level` is "quiet", "summary" or one of FFmpeg's level names ("error",
// "warning", "info", "verbose", "debug", ...). Returns false for an unknown name.
bool setFfmpegLog(const std::string& level);

// Under "summary": says how many messages were left out, once, if any were.
void finishFfmpegLog();

// Messages down to debug level the libraries gave on the calling thread so far,
// shown or not: around damage, a sign of it. (The decoder's own threads count apart.)
long ffmpegMessagesOnThisThread();

// While held, the summary leaves messages out without counting them: after a
// seek, the decoder complains of the references it never saw for frames
// decoded only to reach the start.
void holdFfmpegSummary(bool held);
