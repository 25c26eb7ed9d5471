/* Marks the library's public symbols: everything else in the shared library is hidden. */
#ifndef FRAMEPROBE_EXPORT_H
#define FRAMEPROBE_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define FRAMEPROBE_API __attribute__((visibility("default")))
#else
#define FRAMEPROBE_API
#endif

#endif
