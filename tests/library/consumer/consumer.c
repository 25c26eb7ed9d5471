/* A client of the C API: three pushed frames (the last with its chroma planes), then the values of the last. */
#include <frameprobe/frameprobe.h>
#include <stdio.h>
#include <string.h>

int main(void) {
    enum { W = 64, H = 48 };
    static uint8_t plane[H][W], chroma[H / 2][W / 2];
    frameprobe_settings settings;
    frameprobe_settings_init(&settings);
    settings.width = W;
    settings.height = H;
    settings.indicators = "spatial_activity,blur";
    frameprobe_analysis* analysis = NULL;
    frameprobe_status status = frameprobe_create(&settings, &analysis);
    for (int f = 0; f < 3 && status == FRAMEPROBE_OK; ++f) {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) plane[y][x] = (uint8_t)(16 + (x * 3 + y * 2 + f * 5) % 200);
        if (f < 2) {
            status = frameprobe_push8(analysis, &plane[0][0], W);
        } else {
            memset(chroma, 128, sizeof chroma);
            status = frameprobe_push_yuv(analysis, &plane[0][0], W, &chroma[0][0], W / 2, &chroma[0][0], W / 2);
        }
    }
    if (status == FRAMEPROBE_OK) status = frameprobe_finish(analysis);
    if (status != FRAMEPROBE_OK) {
        fprintf(stderr, "consumer: %s\n", frameprobe_message(analysis));
        frameprobe_destroy(analysis);
        return 1;
    }
    frameprobe_frame frame;
    int frames = 0, measured = 0;
    double activity = 0, blockiness = 0;
    while (frameprobe_next_frame(analysis, &frame)) {
        ++frames;
        measured = frameprobe_frame_value(&frame, frameprobe_indicator_index("spatial_activity"), &activity) &&
                   !frameprobe_frame_value(&frame, frameprobe_indicator_index("blockiness"), &blockiness);
    }
    printf("frameprobe %s (headers %s, %d indicators): %d frames, spatial activity of the last: %.6f\n",
           frameprobe_version(), FRAMEPROBE_VERSION_STRING, frameprobe_indicator_count(), frames, activity);
    frameprobe_destroy(analysis);
    return frames == 3 && measured && frameprobe_version_number() == FRAMEPROBE_VERSION_NUMBER &&
                   strcmp(frameprobe_version(), FRAMEPROBE_VERSION_STRING) == 0
               ? 0
               : 1;
}
