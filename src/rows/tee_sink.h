// Hands every call to several sinks, in the order given.
#pragma once

#include <initializer_list>
#include <vector>

#include "rows/row_sink.h"

class TeeSink final : public RowSink {
public:
    TeeSink(std::initializer_list<RowSink*> sinks) : sinks_(sinks) {}
    void add(RowSink& sink) { sinks_.push_back(&sink); }
    void begin(const RunInfo& info) override {
        for (RowSink* s : sinks_) s->begin(info);
    }
    void row(int64_t frame, const Results& values) override {
        for (RowSink* s : sinks_) s->row(frame, values);
    }
    void end(const RunEnd& end) override {
        for (RowSink* s : sinks_) s->end(end);
    }
    bool wantsPictures() const override {
        for (const RowSink* s : sinks_)
            if (s->wantsPictures()) return true;
        return false;
    }
    void picture(int64_t frame, const Image& luma) override {
        for (RowSink* s : sinks_)
            if (s->wantsPictures()) s->picture(frame, luma);
    }

private:
    std::vector<RowSink*> sinks_;
};
