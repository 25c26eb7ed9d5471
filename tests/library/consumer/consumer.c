/* A client of the C API: three pushed frames, then the values of the last. */
#include <frameprobe/frameprobe.h>
#include <stdio.h>
#include <string.h>

int main(void) {
    enum { W = 64, H = 48 };
    static uint8_t plane[H][W];
    frameprobe_settings settings;
    frameprobe_settings_init(&settings);
    settings.width = W;
    settings.height = H;
    frameprobe_analysis* analysis = NULL;
    frameprobe_status status = frameprobe_create(&settings, &analysis);
    for (int f = 0; f < 3 && status == FRAMEPROBE_OK; ++f) {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) plane[y][x] = (uint8_t)(16 + (x * 3 + y * 2 + f * 5) % 200);
        status = frameprobe_push8(analysis, &plane[0][0], W);
    }
    if (status == FRAMEPROBE_OK) status = frameprobe_finish(analysis);
    if (status != FRAMEPROBE_OK) {
        fprintf(stderr, "consumer: %s\n", frameprobe_message(analysis));
        frameprobe_destroy(analysis);
        return 1;
    }
    frameprobe_frame frame;
    int frames = 0;
    while (frameprobe_next_frame(analysis, &frame)) ++frames;
    printf("frameprobe %s (headers %s): %d frames, %s of the last: %.6f\n", frameprobe_version(),
           FRAMEPROBE_VERSION_STRING, frames, frameprobe_indicator_key(1), frame.values[1]);
    frameprobe_destroy(analysis);
    return frames == 3 && strcmp(frameprobe_version(), FRAMEPROBE_VERSION_STRING) == 0 ? 0 : 1;
}
