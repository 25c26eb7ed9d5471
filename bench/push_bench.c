/* Frames per second of a C client pushing the luma planes of a raw YUV 4:2:0
 * clip through the library, reading them as the program does:
 *   push_bench CLIP WIDTH HEIGHT THREADS */
#include <frameprobe/frameprobe.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: %s CLIP WIDTH HEIGHT THREADS\n", argv[0]);
        return 2;
    }
    const double began = now();
    frameprobe_settings settings;
    frameprobe_settings_init(&settings);
    settings.width = (uint32_t)atoi(argv[2]);
    settings.height = (uint32_t)atoi(argv[3]);
    settings.threads = (unsigned)atoi(argv[4]);
    const size_t luma = (size_t)settings.width * settings.height;
    FILE* clip = fopen(argv[1], "rb");
    unsigned char* plane = malloc(luma);
    frameprobe_analysis* analysis = NULL;
    frameprobe_status status = frameprobe_create(&settings, &analysis);
    if (clip == NULL || plane == NULL || status != FRAMEPROBE_OK) {
        fprintf(stderr, "push_bench: %s\n", analysis ? frameprobe_message(analysis) : "cannot start");
        return 1;
    }
    long frames = 0;
    frameprobe_frame frame;
    double checksum = 0;
    while (fread(plane, 1, luma, clip) == luma && fseek(clip, (long)(luma / 2), SEEK_CUR) == 0) {
        if (frameprobe_push8(analysis, plane, (ptrdiff_t)settings.width) != FRAMEPROBE_OK) break;
        while (frameprobe_next_frame(analysis, &frame)) checksum += frame.values[1];
        ++frames;
    }
    frameprobe_finish(analysis);
    while (frameprobe_next_frame(analysis, &frame)) checksum += frame.values[1];
    const double seconds = now() - began;
    printf("%ld frames %.3f s %.1f fps (checksum %g)\n", frames, seconds, (double)frames / seconds, checksum);
    frameprobe_destroy(analysis);
    fclose(clip);
    free(plane);
    return 0;
}
