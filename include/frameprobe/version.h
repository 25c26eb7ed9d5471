/* frameprobe's version: the one place it is written. */
#ifndef FRAMEPROBE_VERSION_H
#define FRAMEPROBE_VERSION_H

#define FRAMEPROBE_VERSION_MAJOR 2
#define FRAMEPROBE_VERSION_MINOR 0
#define FRAMEPROBE_VERSION_PATCH 0
#define FRAMEPROBE_VERSION_STRING "2.0.0"
/* One number that grows with every release: 10000 * major + 100 * minor + patch. */
#define FRAMEPROBE_VERSION_NUMBER \
    (FRAMEPROBE_VERSION_MAJOR * 10000 + FRAMEPROBE_VERSION_MINOR * 100 + FRAMEPROBE_VERSION_PATCH)

#endif
