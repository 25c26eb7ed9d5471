#include "driver/frame_reader.h"

#include <sys/types.h>

LumaRead readLuma(FILE* video, int64_t offset, Image& frame) {
    fseeko(video, static_cast<off_t>(offset), SEEK_SET);
    const size_t bytesRead = fread(frame.data, 1, frame.w * frame.h, video);
    return LumaRead{ferror(video) != 0, bytesRead};
}

int64_t fileLength(FILE* video) {
    fseeko(video, 0, SEEK_END);
    return static_cast<int64_t>(ftello(video));
}
