// A reader between an input and FFmpeg's demuxer that shows the transport checks every
// byte on its way, once and in order: bytes read again after a seek back (probing, the
// search for a start frame) are not checked twice, and bytes after a seek forward past
// what was checked are not checked at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVIOContext;
struct AVIOInterruptCB;
struct AVDictionary;
class TsAnalyzer;

class TransportTap {
public:
    // Opens `url` as FFmpeg opens an input (`options` and `interrupt` as for avio_open2);
    // null with `error` set when it cannot.
    static std::unique_ptr<TransportTap> open(const std::string& url, AVDictionary** options,
                                              const AVIOInterruptCB* interrupt, TsAnalyzer* analyzer,
                                              std::string& error);
    ~TransportTap();
    TransportTap(const TransportTap&) = delete;
    TransportTap& operator=(const TransportTap&) = delete;

    // The reader to give the demuxer (AVFMT_FLAG_CUSTOM_IO).
    AVIOContext* context() const { return outer_; }
    // The input is no transport stream: its bytes go on to the demuxer unchecked.
    void detach() { analyzer_ = nullptr; }

private:
    TransportTap() = default;
    static int read(void* self, uint8_t* buffer, int size);
    static int64_t seek(void* self, int64_t offset, int whence);

    AVIOContext* inner_ = nullptr;
    AVIOContext* outer_ = nullptr;
    TsAnalyzer* analyzer_ = nullptr;
    int64_t position_ = 0;  // of the next byte read
    int64_t checked_ = 0;   // bytes checked, from the first
};
