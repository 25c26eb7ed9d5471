// The frame rate a run assumes when neither its input nor its caller gives one.
#pragma once

inline constexpr double kDefaultFps = 25;
