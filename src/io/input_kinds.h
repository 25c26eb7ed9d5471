// The kinds of input, in the order they are asked whether an input is theirs: the first that
// recognises it opens it. A new kind is its source, with a recogniser and an opener, and its
// line here.
#pragma once

#include "io/ffmpeg_module.h"
#include "io/raw_source.h"
#include "io/y4m_source.h"

enum class InputKind { Raw, Y4m, Container };

struct InputKindEntry {
    InputKind kind;
    Recognition (*recognise)(const InputProbe& probe);
    // Opens an input recognised as this kind; `stream` is null when the kind opens files by name.
    OpenedSource (*open)(const OpenRequest& request, std::unique_ptr<ByteStream> stream);
    bool byName;  // opens a regular file by its name, not through the stream detection read
};

inline constexpr InputKindEntry kInputKinds[] = {
    {InputKind::Y4m, recogniseY4m, openY4mInput, false},                    // by its first bytes
    {InputKind::Raw, recogniseRawByName, openRawInput, false},              // .yuv, .raw, or a pipe with a size
    {InputKind::Container, recogniseContainer, openContainerInput, true},  // by FFmpeg's probe
    {InputKind::Raw, recogniseRawOtherwise, openRawInput, false},           // what nothing else takes, with a size
};
