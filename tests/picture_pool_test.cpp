// The decoder's picture pool: a picture of 2 MiB or more gets a block that holds all its
// planes, also when the stream changes size and an earlier size's blocks are still in use.
#include <gtest/gtest.h>

#include "ffmpeg/picture_pool.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace {

struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;

// A picture of `width` x `height` in 4:2:0 asked of the pool as the decoder asks for it.
Frame picture(AVCodecContext* codec, int width, int height) {
    Frame frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    EXPECT_EQ(codec->get_buffer2(codec, frame.get(), 0), 0);
    return frame;
}

// Every row of every plane lies inside the picture's first buffer.
void expectPlanesInside(const AVFrame& frame) {
    ASSERT_NE(frame.buf[0], nullptr);
    const uint8_t* begin = frame.buf[0]->data;
    const uint8_t* end = begin + frame.buf[0]->size;
    for (int i = 0; i < 3; ++i) {
        const int rows = i == 0 ? frame.height : (frame.height + 1) / 2;
        const int width = i == 0 ? frame.width : (frame.width + 1) / 2;
        ASSERT_GE(frame.linesize[i], width) << "plane " << i;
        EXPECT_GE(frame.data[i], begin) << "plane " << i;
        EXPECT_LE(frame.data[i] + static_cast<std::ptrdiff_t>(frame.linesize[i]) * rows, end)
            << "plane " << i << " of " << frame.width << "x" << frame.height;
    }
}

}  // namespace

TEST(PicturePoolTest, EachSizeGetsBlocksThatHoldItsPlanes) {
    std::unique_ptr<AVCodecContext, CodecDeleter> codec(avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_H264)));
    ASSERT_NE(codec, nullptr);
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    PicturePool pool;
    pool.serve(codec.get());
    // Full HD (3 MiB), then a larger picture while a full HD one is still held, then full HD again.
    const Frame first = picture(codec.get(), 1920, 1080);
    expectPlanesInside(*first);
    const Frame larger = picture(codec.get(), 2560, 1440);
    expectPlanesInside(*larger);
    EXPECT_NE(larger->buf[0]->data, first->buf[0]->data);
    const Frame again = picture(codec.get(), 1920, 1080);
    expectPlanesInside(*again);
}
