#include "pipeline/engine.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <vector>

#include "detectors/frame_detectors.h"
#include "detectors/judged_detections.h"
#include "indicators/registry.h"
#include "pipeline/worker_pool.h"
#include "tools/large_buffer.h"

namespace {

// Frames measured together. A batch of about kBatchBytes of samples stays in
// the shared cache while every indicator reads it, so large frames go one at a
// time with their indicators spread over the threads, and small ones go many at
// a time so that the threads meet less often. At least one frame per two
// threads keeps every thread busy; three batches in hand stay within kBudget,
// and tiny frames within kMostFrames a batch.
unsigned chooseWindow(unsigned requested, unsigned threads, std::size_t frameBytes) {
    if (requested > 0) return requested;
    constexpr std::size_t kBatchBytes = std::size_t{1} << 20;
    constexpr std::size_t kBudget = std::size_t{512} << 20;
    constexpr std::size_t kMostFrames = 64;
    frameBytes = std::max<std::size_t>(1, frameBytes);
    const std::size_t busy =
        std::max<std::size_t>({1, (threads + 1) / 2, std::min(kMostFrames, kBatchBytes / frameBytes)});
    const std::size_t fitting = std::max<std::size_t>(1, kBudget / frameBytes / 3);
    return static_cast<unsigned>(std::min(busy, fitting));
}

struct Batch {
    int64_t start;
    int64_t size;
};

struct Slot {
    Frame frame;
    SharedPasses shared;
    // Written by the tasks of this frame, one element each.
    std::array<std::optional<double>, kIndicatorCount> spatial{};
    Results results;
    std::optional<double> time;  // the source's presentation time of the frame
    bool damaged = false;        // as the source says
    PictureWork detection;
};

}  // namespace

struct Engine::Impl {
    EngineSettings settings;
    WorkerPool pool;
    unsigned window;
    // Small frames come many to a batch: each thread then takes whole frames,
    // and the threads meet once a frame instead of once an indicator.
    bool wholeFrameTasks;
    std::vector<Slot> slots;  // a ring: frame i of the run lives in slot i % size
    LargeBuffer samples;      // the slots' frames, one after another
    std::vector<int> spatial;   // registry indices of the requested spatial indicators
    std::vector<int> temporal;  // and of the temporal ones, in registry order
    std::vector<std::unique_ptr<TemporalIndicator>> temporalIndicators;  // by registry index
    uint32_t judged;  // the detections the run judges
    std::optional<FrameDetectors> detectors;

    Impl(const EngineSettings& s, uint32_t width, uint32_t height)
        : settings(s),
          pool(s.threads),
          window(chooseWindow(s.window, pool.threads(), std::size_t{width} * height)),
          wholeFrameTasks(window >= 2 * pool.threads()),
          slots(3 * window),
          // Sources write every sample, so the planes are not zero-filled.
          samples(slots.size() * std::size_t{width} * height),
          temporalIndicators(kIndicatorCount),
          judged(judgedDetections(s.mask)) {
        const std::size_t frameBytes = std::size_t{width} * height;
        const bool planes = s.planes || readsPlanes(s.mask);
        for (std::size_t i = 0; i < slots.size(); ++i) {
            slots[i].frame.luma = makeImage(width, height, samples.data() + i * frameBytes);
            slots[i].frame.wantPlanes = planes;
        }
        const auto& registry = indicatorRegistry();
        for (int i = 0; i < kIndicatorCount; ++i) {
            const IndicatorDescriptor& d = registry[static_cast<std::size_t>(i)];
            if (!isRequested(d, s.mask)) continue;
            (d.kind == IndicatorKind::Spatial ? spatial : temporal).push_back(i);
        }
    }

    // Temporal state starts afresh with every run.
    void startTemporal(int64_t first, const PictureFormat& format) {
        const ColourDescription colour{format.bitDepth, format.colorRange, format.colorMatrix, format.colorTransfer};
        const TemporalGeometry geometry{static_cast<uint32_t>(slots[0].frame.luma.w),
                                        static_cast<uint32_t>(slots[0].frame.luma.h),
                                        static_cast<unsigned>(slots.size()), settings.fps, first,
                                        settings.origin >= 0 ? std::min(settings.origin, first) : first,
                                        colour, settings.mask, settings.flash};
        for (int i : temporal)
            temporalIndicators[static_cast<std::size_t>(i)] =
                indicatorRegistry()[static_cast<std::size_t>(i)].makeTemporal(geometry);
        detectors.emplace(judged, geometry.width, geometry.height, LumaRange{}, geometry.fps);
    }
    // The detectors' job comes after the indicators' in a frame's list of jobs.
    bool detecting() const { return detectors && detectors->any(); }

    // Jobs of a frame (spatial indicators, then temporal pair parts) in the order
    // tasks take them, costliest first by what earlier batches measured. The order
    // changes only which thread computes what, never a value.
    std::vector<std::size_t> jobOrder;
    std::vector<double> jobCost;

    // A batch handed to the pool, with the job order it was given and the
    // time each of its tasks took. Two are measured at once.
    struct InFlight {
        Batch batch{0, 0};
        std::vector<std::size_t> order;
        std::vector<double> taskSeconds;
        TaskGroup group;
    };
    std::array<InFlight, 2> inFlight;

    void prepareJobs() {
        const std::size_t jobs = spatial.size() + temporal.size() + 1;
        jobOrder.resize(jobs);
        for (std::size_t j = 0; j < jobs; ++j) jobOrder[j] = j;
        jobCost.assign(jobs, 0.0);
        for (InFlight& f : inFlight) {
            f.order = jobOrder;
            f.taskSeconds.assign(jobs * window, 0.0);
        }
    }

    void learnCosts(const InFlight& measured) {
        const auto frames = static_cast<std::size_t>(measured.batch.size);
        for (std::size_t k = 0; k < measured.order.size(); ++k) {
            double total = 0;
            for (std::size_t f = 0; f < frames; ++f) total += measured.taskSeconds[k * frames + f];
            double& cost = jobCost[measured.order[k]];
            cost = 0.75 * cost + 0.25 * (total / static_cast<double>(frames));
        }
        std::stable_sort(jobOrder.begin(), jobOrder.end(),
                         [&](std::size_t a, std::size_t b) { return jobCost[a] > jobCost[b]; });
    }

    unsigned slotOf(int64_t runPosition) const { return static_cast<unsigned>(runPosition % slots.size()); }
};

Engine::Engine(const EngineSettings& settings, uint32_t width, uint32_t height)
    : impl_(std::make_unique<Impl>(settings, width, height)) {}

Engine::~Engine() = default;

unsigned Engine::threads() const { return impl_->pool.threads(); }

EngineOutcome Engine::run(FrameSource& source, int64_t first, std::optional<int64_t> count, RowSink& sink,
                          const std::atomic<bool>* stop) {
    Impl& m = *impl_;
    EngineOutcome outcome;
    const int64_t end = count ? first + std::max<int64_t>(0, *count) : INT64_MAX;
    const auto& registry = indicatorRegistry();
    m.prepareJobs();
    const bool pictures = sink.wantsPictures();
    bool sourceDone = false;

    // Reads frames [from, to) of the run into their slots; returns how many it got.
    auto readBatch = [&](int64_t from, int64_t to) -> int64_t {
        int64_t got = 0;
        for (int64_t i = from; i < to && !sourceDone; ++i) {
            Slot& slot = m.slots[m.slotOf(i - first)];
            const ReadResult r = source.readFrame(i, slot.frame);
            if (r.status != ReadResult::Frame) {
                sourceDone = true;
                if (r.status == ReadResult::Error) {
                    outcome.failedFrame = i;
                    outcome.failure = r;
                }
                break;
            }
            // Temporal state, as large as a frame's blocks, is made when there is a frame
            // to measure, not for a size that a header merely declares.
            if (i == first) m.startTemporal(first, source.info().picture);
            slot.time = r.time;
            slot.damaged = r.damaged;
            slot.shared.start(slot.frame.luma);
            // The frame before, for what changes between frames; it stays in its slot until this batch ends.
            slot.shared.startPair(i > first ? &m.slots[m.slotOf(i - 1 - first)].frame.luma : nullptr);
            if (slot.frame.wantPlanes) {
                describeColour(source.info().picture, source.info().height, slot.frame.picture);
                const Picture* previous = i > first ? &m.slots[m.slotOf(i - 1 - first)].frame.picture : nullptr;
                slot.shared.startPlanes(&slot.frame.picture, previous);
            }
            ++got;
        }
        return got;
    };

    const auto perFrame = static_cast<std::size_t>(m.spatial.size() + m.temporal.size() + 1);
    // Job k of the batch's order on frame start + f of the batch: a spatial
    // indicator, or the pair part of a temporal one.
    auto measureJob = [&](Impl::InFlight& flight, std::size_t k, std::size_t f) {
        const std::size_t job = flight.order[k];
        const int64_t i = flight.batch.start + static_cast<int64_t>(f);
        const auto began = std::chrono::steady_clock::now();
        Slot& slot = m.slots[m.slotOf(i - first)];
        if (job < m.spatial.size()) {
            const int index = m.spatial[job];
            const IndicatorDescriptor& d = registry[static_cast<std::size_t>(index)];
            slot.spatial[static_cast<std::size_t>(index)] =
                d.reads == Reads::Planes ? d.spatialPlanes(slot.frame.luma, slot.frame.picture, slot.shared)
                                         : d.spatial(slot.frame.luma, slot.shared);
        } else if (job == m.spatial.size() + m.temporal.size()) {
            if (m.detecting()) m.detectors->picture(slot.frame.luma, slot.shared, slot.detection);
        } else if (i > first) {
            const int index = m.temporal[job - m.spatial.size()];
            const Slot& previous = m.slots[m.slotOf(i - 1 - first)];
            TemporalIndicator& indicator = *m.temporalIndicators[static_cast<std::size_t>(index)];
            if (registry[static_cast<std::size_t>(index)].reads == Reads::Planes)
                indicator.pairPictures(m.slotOf(i - first), slot.frame.picture, previous.frame.picture, i == first + 1);
            else
                indicator.pairShared(m.slotOf(i - first), slot.frame.luma, previous.frame.luma, slot.shared);
        }
        const auto frames = static_cast<std::size_t>(flight.batch.size);
        flight.taskSeconds[k * frames + f] =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    };
    // Task t of a batch: every job of frame t when the batch has frames enough
    // to share out whole, else job t / size on frame t % size, the costliest
    // jobs first so that the batch ends on short ones.
    auto measure = [&](Impl::InFlight& flight, std::size_t t) {
        const auto frames = static_cast<std::size_t>(flight.batch.size);
        if (m.wholeFrameTasks) {
            for (std::size_t k = 0; k < perFrame; ++k) measureJob(flight, k, t);
        } else {
            measureJob(flight, t / frames, t % frames);
        }
    };
    // The ordered parts and the rows of a measured batch, in frame order; false once asked to stop.
    auto finish = [&](const Batch& batch) {
        for (int64_t i = batch.start; i < batch.start + batch.size; ++i) {
            Slot& slot = m.slots[m.slotOf(i - first)];
            slot.results = Results{};
            slot.results.time = slot.time;
            for (int index : m.spatial) {
                auto& value = slot.spatial[static_cast<std::size_t>(index)];
                if (value) slot.results.set(index, *value);
                value.reset();
            }
            // The first frame of the run has no previous frame to compare with.
            if (i > first) {
                for (int index : m.temporal) {
                    TemporalIndicator& indicator = *m.temporalIndicators[static_cast<std::size_t>(index)];
                    const auto value = indicator.ordered(m.slotOf(i - first), i, slot.results);
                    if (value) slot.results.set(index, *value);
                    if (const auto evidence = indicator.evidence()) slot.results.setEvidence(index, *evidence);
                    indicator.alsoGives(slot.results);
                }
            }
            if (m.detecting()) {
                m.detectors->ordered(i, slot.detection);
                slot.results.detections = slot.detection.found;
            }
            slot.results.detections.set(Detection::Damaged, slot.damaged);
            if (const SignalStats* stats = slot.shared.recordedStats()) slot.results.signal = *stats;
            if (pictures) sink.picture(i, slot.frame.luma);
            sink.row(i, slot.results);
            ++outcome.rows;
            if (stop != nullptr && stop->load()) return false;
        }
        return true;
    };

    auto taskOf = [&](Impl::InFlight& f) { return [&measure, &f](std::size_t t) { measure(f, t); }; };
    std::array<decltype(taskOf(m.inFlight[0])), 2> tasks{taskOf(m.inFlight[0]), taskOf(m.inFlight[1])};
    int64_t nextStart = first;
    // Reads the next batch and hands it to the pool in flight `k`.
    auto readAndSubmit = [&](std::size_t k) {
        Impl::InFlight& f = m.inFlight[k];
        f.batch = Batch{nextStart, readBatch(nextStart, std::min<int64_t>(end, nextStart + m.window))};
        nextStart += f.batch.size;
        std::copy(m.jobOrder.begin(), m.jobOrder.end(), f.order.begin());
        const auto count = static_cast<std::size_t>(f.batch.size) * (m.wholeFrameTasks ? 1 : perFrame);
        m.pool.submit(f.group, count, tasks[k]);
    };
    // Whatever ends the run, no task may outlive it.
    struct Drain {
        Impl& m;
        ~Drain() {
            for (Impl::InFlight& f : m.inFlight) m.pool.waitQuietly(f.group);
        }
    } drain{m};

    // Three batches are in hand at once. While the threads measure two, the
    // calling thread helps until the older is measured, finishes it, and reads
    // the batch after the newer into its frame slots: the newer one's first
    // frame still compares with the older one's last.
    readAndSubmit(0);
    readAndSubmit(1);
    for (std::size_t k = 0;; k ^= 1) {
        Impl::InFlight& f = m.inFlight[k];
        m.pool.wait(f.group);
        // Batches only shrink once the input ends: an empty one is the last.
        if (f.batch.size == 0) break;
        m.learnCosts(f);
        if (!finish(f.batch)) {
            outcome.interrupted = true;
            return outcome;
        }
        readAndSubmit(k);
    }
    return outcome;
}
