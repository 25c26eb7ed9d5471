// Checks a frame source against the luma planes the sample generator makes.
#pragma once

#include <gtest/gtest.h>

#include "io/frame_source.h"
#include "sample/sample_video.h"
#include "test_support.h"

// Reads frames first.. of `source`, compares them with the sample's planes, and expects the end after them.
inline void expectSampleFrames(FrameSource& source, const SampleSpec& spec, int32_t first) {
    OwnedImage luma(spec.width, spec.height);
    for (int32_t i = first; i < spec.frames; ++i) {
        ASSERT_EQ(source.read(i, luma.image).status, ReadResult::Frame) << "frame " << i;
        ASSERT_EQ(luma.samples, sampleLuma(spec, i)) << "frame " << i;
    }
    EXPECT_EQ(source.read(spec.frames, luma.image).status, ReadResult::End);
}
