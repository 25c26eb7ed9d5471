/* frameprobe's C API: no-reference quality indicators on every frame for frames the caller pushes or for any file or
 * URL the program reads. Every call returns a status; the handle keeps a message saying what went wrong. No exception
 * crosses this interface. */
#ifndef FRAMEPROBE_H
#define FRAMEPROBE_H

#include <stddef.h>
#include <stdint.h>

#include "frameprobe/export.h"
#include "frameprobe/version.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ABI 2 (libframeprobe.so.2): no public struct is sized by the number of indicators, so that
 * new indicators change no struct; ask frameprobe_indicator_count() and look keys up instead. */

typedef enum frameprobe_status {
    FRAMEPROBE_OK = 0,
    FRAMEPROBE_INVALID_ARGUMENT = 1, /* settings, plane or call out of place */
    FRAMEPROBE_INPUT_ERROR = 2,      /* the input cannot be opened or read */
    FRAMEPROBE_OUT_OF_MEMORY = 3,
    FRAMEPROBE_INTERRUPTED = 4 /* the stop flag ended a file's analysis */
} frameprobe_status;

/* An analysis: of pushed frames, or the result of a file's analysis. */
typedef struct frameprobe_analysis frameprobe_analysis;

typedef struct frameprobe_settings {
    /* sizeof(frameprobe_settings) as the caller was compiled: set by frameprobe_settings_init(),
     * so that a later library reads only what the caller's struct holds. */
    uint32_t size;
    uint32_t width, height; /* of pushed frames; raw YUV files need them too, 0: not given */
    int bit_depth;          /* of pushed planes: 8, or 9 to 16 for 16-bit samples */
    /* Pushed chroma planes: log2 of their subsampling, 1 and 1 for 4:2:0, 0 and 0 for 4:4:4. */
    int chroma_log2_width, chroma_log2_height;
    double fps; /* 0: 25 for pushed frames, the input's rate for files */
    /* Indicators by key or name ("blur,noise,freezing"), "all", or a mask ("0x7FFF"); NULL: all.
     * Read when the analysis starts; indicators a listed one needs are added. */
    const char* indicators;
    unsigned threads; /* 0: the hardware's count */
    double flicker_threshold;
    /* Files only: */
    int64_t start;  /* first frame measured */
    int64_t frames; /* -1: to the end of the input */
    int stream;     /* a container's stream index; -1: the first video stream */
    uint8_t reserved[64]; /* zero: room for settings of later versions */
} frameprobe_settings;

/* A measured frame. Its values are read with frameprobe_frame_value(); they are the handle's
 * (or, in a file's callback, the callback's) until the next call on it. */
typedef struct frameprobe_frame {
    int64_t frame;
    double time; /* a container's presentation time from the stream's start, else frame / fps */
    const double* values; /* value_count values by indicator index, NaN where there is none */
    size_t value_count;
} frameprobe_frame;

typedef struct frameprobe_event {
    const char* type; /* "black", "freeze", ...; valid while the handle lives */
    int64_t start_frame, end_frame; /* inclusive */
    double start_time, end_time, duration;
} frameprobe_event;

typedef struct frameprobe_statistics {
    int64_t count; /* frames with a value; the rest is meaningful when count > 0 */
    double min, max, mean, stdev, median, p5, p95;
} frameprobe_statistics;

/* The library's version, e.g. "2.0.0", and as one number (FRAMEPROBE_VERSION_NUMBER's rule). */
FRAMEPROBE_API const char* frameprobe_version(void);
FRAMEPROBE_API int frameprobe_version_number(void);
/* The number of indicators this library measures; indices run from 0 to it, in report order. */
FRAMEPROBE_API int frameprobe_indicator_count(void);
/* Key of indicator `index` ("blockiness", ...), NULL out of range. */
FRAMEPROBE_API const char* frameprobe_indicator_key(int index);
/* Index of the indicator of this key or name, -1 when there is none. */
FRAMEPROBE_API int frameprobe_indicator_index(const char* key);
/* 1 and *value when the frame has a value of indicator `index`, else 0 (and *value NaN). */
FRAMEPROBE_API int frameprobe_frame_value(const frameprobe_frame* frame, int index, double* value);

/* Defaults: 8-bit 4:2:0, every indicator, the hardware's threads, the whole input. */
FRAMEPROBE_API void frameprobe_settings_init(frameprobe_settings* settings);

/* Starts an analysis of pushed frames. *analysis is set whenever memory allows,
 * also on failure, to carry the message; destroy it in every case. */
FRAMEPROBE_API frameprobe_status frameprobe_create(const frameprobe_settings* settings, frameprobe_analysis** analysis);
/* Measures the next frame from its luma plane alone: width x height samples, rows stride_bytes
 * apart (enough for indicators that read luma only). The plane may be reused once the call returns. */
FRAMEPROBE_API frameprobe_status frameprobe_push8(frameprobe_analysis* analysis, const uint8_t* plane,
                                                  ptrdiff_t stride_bytes);
FRAMEPROBE_API frameprobe_status frameprobe_push16(frameprobe_analysis* analysis, const uint16_t* plane,
                                                   ptrdiff_t stride_bytes);
/* Measures the next frame from its Y, U and V planes, each with its own stride in bytes: bytes
 * when the settings' bit_depth is 8, else uint16_t samples; chroma planes subsampled as the
 * settings say (their sizes rounded up). The planes may be reused once the call returns. */
FRAMEPROBE_API frameprobe_status frameprobe_push_yuv(frameprobe_analysis* analysis, const void* y, ptrdiff_t y_stride,
                                                      const void* u, ptrdiff_t u_stride, const void* v,
                                                      ptrdiff_t v_stride);
/* Measures the frames still in flight; no push after it. */
FRAMEPROBE_API frameprobe_status frameprobe_finish(frameprobe_analysis* analysis);
/* 1 and the next measured frame in frame order, or 0 when none is ready (or on failure, which
 * the handle's message then tells). */
FRAMEPROBE_API int frameprobe_next_frame(frameprobe_analysis* analysis, frameprobe_frame* frame);

/* Measures an input (a path, a URL or "-"), calling on_frame (when not NULL)
 * for each frame in order; a non-zero return ends the run after that frame
 * (FRAMEPROBE_INTERRUPTED). *analysis is set as by frameprobe_create(); it then
 * holds the events and the statistics. */
FRAMEPROBE_API frameprobe_status frameprobe_analyze_file(const char* input, const frameprobe_settings* settings,
                                          int (*on_frame)(void* user, const frameprobe_frame* frame), void* user,
                                          frameprobe_analysis** analysis);

/* What a file's input is, by FFmpeg's names: "pixel_format", "chroma_subsampling", "color_range",
 * "color_matrix", "color_transfer", "color_primaries"; NULL when the input does not say or
 * the handle measured pushed frames. Valid while the handle lives. */
FRAMEPROBE_API const char* frameprobe_input_property(const frameprobe_analysis* analysis, const char* name);

/* Events so far (all of them after finish), by start frame. */
FRAMEPROBE_API size_t frameprobe_event_count(frameprobe_analysis* analysis);
FRAMEPROBE_API frameprobe_status frameprobe_get_event(frameprobe_analysis* analysis, size_t index,
                                                      frameprobe_event* event);
/* Statistics of an indicator over the frames measured; count 0 when not requested. */
FRAMEPROBE_API frameprobe_status frameprobe_get_statistics(frameprobe_analysis* analysis, int indicator,
                                            frameprobe_statistics* statistics);

/* A file's frames the decoder lost (their places are the "decode_error" events); 0 for pushed frames. */
FRAMEPROBE_API int64_t frameprobe_decode_errors(const frameprobe_analysis* analysis);
/* The time code a file's container states for its frame 0 ("HH:MM:SS:FF", ';' before FF when it
 * drops frame numbers), "" when none; valid while the handle lives. */
FRAMEPROBE_API const char* frameprobe_start_timecode(const frameprobe_analysis* analysis);

/* What the last failed call on this handle said; "" after success. */
FRAMEPROBE_API const char* frameprobe_message(const frameprobe_analysis* analysis);
FRAMEPROBE_API void frameprobe_destroy(frameprobe_analysis* analysis);

#ifdef __cplusplus
}
#endif

#endif
