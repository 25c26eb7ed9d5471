// The level of decoded audio, for the silence alarm of live streams.
#pragma once

struct AVFrame;

// The largest sample magnitude of a decoded audio frame, 1 = full scale; 0 for
// sample formats it does not know.
float audioPeak(const AVFrame* frame);
