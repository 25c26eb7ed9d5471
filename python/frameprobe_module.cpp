// The Python module's native part, frameprobe._frameprobe: pushed numpy planes
// without copies, files through the library, the GIL released while frames
// are measured. frameprobe/__init__.py builds the public functions on it.
#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "frameprobe/frameprobe.hpp"

namespace py = pybind11;

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// None, a mask, a list such as "blur,noise" or a sequence of keys: as the library takes them.
std::string listOf(const py::object& indicators) {
    try {
        std::string list;
        if (indicators.is_none()) {
            list = "all";
        } else if (py::isinstance<py::bool_>(indicators)) {
            throw py::value_error("indicators must be keys or a mask");
        } else if (py::isinstance<py::int_>(indicators) || py::isinstance<py::str>(indicators)) {
            list = py::str(indicators).cast<std::string>();
        } else {
            for (const py::handle item : indicators) list += (list.empty() ? "" : ",") + item.cast<std::string>();
            if (list.empty()) throw py::value_error("no indicator given");
        }
        frameprobe::indicatorKeys(list);  // refused here, as a ValueError
        return list;
    } catch (const frameprobe::Error& e) {
        throw py::value_error(e.what());
    } catch (const py::cast_error&) {
        throw py::value_error("indicators must be None, a mask, a string of keys or a sequence of keys");
    }
}

unsigned threadsOf(const std::optional<int>& threads) {
    if (!threads) return 0;
    if (*threads < 1) throw py::value_error("threads must be at least 1");
    return static_cast<unsigned>(*threads);
}

py::dict frameDict(const frameprobe::FrameResult& r) {
    py::dict d;
    d["frame"] = r.frame;
    d["time"] = r.time;
    for (int i = 0; i < frameprobe::indicatorCount(); ++i)
        d[frameprobe::indicatorKey(i)] = r.value(i).value_or(kNoValue);
    return d;
}

py::list framesList(std::vector<frameprobe::FrameResult>& frames) {
    py::list list;
    for (const auto& r : frames) list.append(frameDict(r));
    frames.clear();
    return list;
}

py::list eventsList(const std::vector<frameprobe::Event>& events) {
    py::list list;
    for (const auto& e : events) {
        py::dict d;
        d["type"] = e.type;
        d["start_frame"] = e.startFrame;
        d["end_frame"] = e.endFrame;
        d["start_time"] = e.startTime;
        d["end_time"] = e.endTime;
        d["duration"] = e.duration;
        d["severity"] = frameprobe::severityName(e.severity);
        // In the order the program's JSON gives them.
        if (e.top) d["top"] = *e.top;
        if (e.bottom) d["bottom"] = *e.bottom;
        if (e.left) d["left"] = *e.left;
        if (e.right) d["right"] = *e.right;
        if (!e.side.empty()) d["side"] = e.side;
        if (e.level) d["level"] = *e.level;
        if (!e.check.empty()) {
            d["check"] = e.check;
            d["errors"] = e.errors;
        }
        list.append(d);
    }
    return list;
}

py::dict summaryDict(const frameprobe::Summary& summary) {
    py::dict result;
    for (const auto& s : summary.indicators) {
        py::dict d;
        d["count"] = s.count;
        const bool any = s.count > 0;
        auto stat = [&](double v) -> py::object { return any ? py::object(py::float_(v)) : py::none(); };
        d["min"] = stat(s.min);
        d["max"] = stat(s.max);
        d["mean"] = stat(s.mean);
        d["stdev"] = stat(s.stdev);
        d["median"] = stat(s.median);
        d["p5"] = stat(s.p5);
        d["p95"] = stat(s.p95);
        py::list worst;
        for (const auto& w : s.worst) {
            py::dict item;
            item["frame"] = w.frame;
            item["value"] = w.value;
            worst.append(item);
        }
        d["worst"] = worst;
        result[py::str(s.key)] = d;
    }
    return result;
}

py::dict runDict(const frameprobe::RunDescription& run) {
    py::dict d;
    d["input"] = run.input;
    d["format"] = run.format;
    d["width"] = run.width;
    d["height"] = run.height;
    d["fps"] = run.fps;
    d["bit_depth"] = run.bitDepth;
    const auto nameOrNone = [](const std::optional<std::string>& name) {
        return name ? py::object(py::str(*name)) : py::object(py::none());
    };
    d["pixel_format"] = nameOrNone(run.pixelFormat.empty() ? std::nullopt : std::optional(run.pixelFormat));
    d["planes_converted_to"] =
        nameOrNone(run.planesConvertedTo.empty() ? std::nullopt : std::optional(run.planesConvertedTo));
    d["chroma_subsampling"] = run.chromaSubsampling;
    d["color_range"] = nameOrNone(run.colorRange);
    d["color_matrix"] = nameOrNone(run.colorMatrix);
    d["color_transfer"] = nameOrNone(run.colorTransfer);
    d["color_primaries"] = nameOrNone(run.colorPrimaries);
    d["first_frame"] = run.startFrame;
    d["frame_count"] = run.frameCount ? py::object(py::int_(*run.frameCount)) : py::none();
    py::list keys;
    for (const std::string& key : run.indicators) keys.append(key);
    d["indicators"] = keys;
    d["threads"] = run.threads;
    if (run.timecode) {
        py::dict timecode;
        timecode["start"] = run.timecode->start;
        timecode["fps"] = run.timecode->fps;
        timecode["drop_frame"] = run.timecode->dropFrame;
        d["timecode"] = timecode;
    } else {
        d["timecode"] = py::none();
    }
    return d;
}

// A 2-D plane of uint8 or uint16 samples, of the size expected. Rows may lie any number of
// bytes apart (views, bottom-up planes); samples spread along a row are gathered into a copy.
struct Plane {
    py::array array;  // what `data` points into
    const void* data;
    std::ptrdiff_t stride;
    bool wide;
};

Plane checkedPlane(py::array a, std::optional<std::pair<uint32_t, uint32_t>> size, const char* what = "luma") {
    if (a.ndim() != 2)
        throw py::value_error("expected a 2-D array of " + std::string(what) + " samples (height, width), got " +
                              std::to_string(a.ndim()) + " dimensions");
    const py::dtype dtype = a.dtype();
    const bool narrow = dtype.kind() == 'u' && dtype.itemsize() == 1;
    const bool wide = dtype.kind() == 'u' && dtype.itemsize() == 2;
    if (!narrow && !wide)
        throw py::value_error("expected uint8 or uint16 samples, got " +
                              static_cast<std::string>(py::str(static_cast<py::handle>(dtype))));
    if (wide && !dtype.attr("isnative").cast<bool>())
        throw py::value_error("uint16 samples must be in the machine's byte order (use array.astype(numpy.uint16))");
    if (size && (static_cast<uint64_t>(a.shape(0)) != size->second || static_cast<uint64_t>(a.shape(1)) != size->first))
        throw py::value_error("expected a " + std::string(what) + " plane of " + std::to_string(size->second) +
                              " rows of " + std::to_string(size->first) + " samples, got shape (" +
                              std::to_string(a.shape(0)) + ", " + std::to_string(a.shape(1)) + ")");
    if (a.shape(0) == 0 || a.shape(1) == 0) throw py::value_error("the plane is empty");
    if (a.shape(1) > 1 && a.strides(1) != a.itemsize())
        a = py::module_::import("numpy").attr("ascontiguousarray")(a).cast<py::array>();
    return Plane{a, a.data(), a.strides(0), wide};
}

// "4:2:0", "4:2:2", "4:4:4", "4:1:1", "4:4:0": log2 of the chroma planes' subsampling across and down.
std::pair<int, int> subsamplingOf(const std::string& name) {
    if (name == "4:2:0") return {1, 1};
    if (name == "4:2:2") return {1, 0};
    if (name == "4:4:4") return {0, 0};
    if (name == "4:1:1") return {2, 0};
    if (name == "4:4:0") return {0, 1};
    throw py::value_error("unknown chroma subsampling \"" + name + "\": expected 4:2:0, 4:2:2, 4:4:4, 4:1:1 or 4:4:0");
}

class Analyzer {
public:
    Analyzer(uint32_t width, uint32_t height, double fps, const py::object& indicators, int bitDepth,
             std::optional<int> threads, const std::string& chromaSubsampling) {
        frameprobe::Settings s;
        s.width = width;
        s.height = height;
        s.fps = fps;
        s.indicators = listOf(indicators);
        s.bitDepth = bitDepth;
        std::tie(s.chromaLog2Width, s.chromaLog2Height) = subsamplingOf(chromaSubsampling);
        chromaWidth_ = (width + (1u << s.chromaLog2Width) - 1) >> s.chromaLog2Width;
        chromaHeight_ = (height + (1u << s.chromaLog2Height) - 1) >> s.chromaLog2Height;
        s.threads = threadsOf(threads);
        try {
            analysis_.emplace(s);
        } catch (const frameprobe::Error& e) {
            throw py::value_error(e.what());
        }
        width_ = width;
        height_ = height;
        bitDepth_ = bitDepth;
    }

    // A luma array, or a (Y, U, V) tuple of arrays.
    py::list push(const py::object& frame) {
        std::vector<Plane> planes;
        if (py::isinstance<py::tuple>(frame) || py::isinstance<py::list>(frame)) {
            const py::sequence parts = frame.cast<py::sequence>();
            if (parts.size() != 3) throw py::value_error("expected a luma array or a (Y, U, V) tuple of arrays");
            const char* names[3] = {"Y", "U", "V"};
            for (std::size_t p = 0; p < 3; ++p)
                planes.push_back(checkedPlane(parts[p].cast<py::array>(),
                                              p == 0 ? std::make_pair(width_, height_)
                                                     : std::make_pair(chromaWidth_, chromaHeight_),
                                              names[p]));
        } else {
            planes.push_back(checkedPlane(frame.cast<py::array>(), std::make_pair(width_, height_)));
        }
        for (const Plane& plane : planes)
            if (plane.wide != (bitDepth_ > 8))
                throw py::value_error(std::string(plane.wide ? "uint16" : "uint8") +
                                      " samples given to an analyzer of " + std::to_string(bitDepth_) + "-bit frames");
        {
            py::gil_scoped_release released;
            std::lock_guard lock(mutex_);
            pushPlanes(planes);
            while (auto r = analysis_->next()) ready_.push_back(*r);
        }
        return framesList(ready_);
    }

    py::list finish() {
        {
            py::gil_scoped_release released;
            std::lock_guard lock(mutex_);
            analysis_->finish();
            while (auto r = analysis_->next()) ready_.push_back(*r);
        }
        return framesList(ready_);
    }

    py::list events() {
        std::lock_guard lock(mutex_);
        return eventsList(analysis_->events());
    }
    py::dict summary() {
        std::lock_guard lock(mutex_);
        return summaryDict(analysis_->summary());
    }
    py::dict run() { return runDict(analysis_->run()); }

private:
    template <typename Sample>
    void pushAs(const std::vector<Plane>& p) {
        const auto at = [&](std::size_t i) { return static_cast<const Sample*>(p[i].data); };
        if (p.size() == 1)
            analysis_->push(at(0), p[0].stride);
        else
            analysis_->push(at(0), p[0].stride, at(1), p[1].stride, at(2), p[2].stride);
    }
    void pushPlanes(const std::vector<Plane>& planes) {
        if (planes[0].wide)
            pushAs<uint16_t>(planes);
        else
            pushAs<uint8_t>(planes);
    }

    std::optional<frameprobe::Analysis> analysis_;
    std::vector<frameprobe::FrameResult> ready_;
    std::mutex mutex_;  // pushes from several Python threads take turns
    uint32_t width_ = 0, height_ = 0;
    uint32_t chromaWidth_ = 0, chromaHeight_ = 0;
    int bitDepth_ = 8;
};

py::dict measure(const py::array& array, const py::object& indicators, std::optional<int> bitDepth) {
    const Plane plane = checkedPlane(array, std::nullopt);
    Analyzer analyzer(static_cast<uint32_t>(array.shape(1)), static_cast<uint32_t>(array.shape(0)), 25, indicators,
                      bitDepth.value_or(plane.wide ? 16 : 8), std::nullopt, "4:2:0");
    analyzer.push(plane.array);
    py::list frames = analyzer.finish();
    py::dict values = frames[0].cast<py::dict>();
    PyDict_DelItemString(values.ptr(), "frame");
    PyDict_DelItemString(values.ptr(), "time");
    return values;
}

py::tuple analyzeFile(const std::string& path, std::optional<uint32_t> width, std::optional<uint32_t> height,
                      const py::object& indicators, int64_t start, std::optional<int64_t> frames,
                      std::optional<double> fps, std::optional<int> threads) {
    frameprobe::FileSettings s;
    s.input = path;
    s.width = width;
    s.height = height;
    s.indicators = listOf(indicators);
    if (start < 0) throw py::value_error("start must be 0 or more");
    if (frames && *frames < 0) throw py::value_error("frames must be 0 or more");
    if (fps && !(std::isfinite(*fps) && *fps > 0)) throw py::value_error("fps must be a positive number");
    s.start = start;
    s.frames = frames;
    s.fps = fps;
    s.threads = threadsOf(threads);
    std::vector<int64_t> frameNumbers;
    std::vector<double> times;
    const auto count = static_cast<std::size_t>(frameprobe::indicatorCount());
    std::vector<double> values;  // count per frame
    frameprobe::FileResult result;
    {
        py::gil_scoped_release released;
        result = frameprobe::analyzeFile(s, [&](const frameprobe::FrameResult& r) {
            frameNumbers.push_back(r.frame);
            times.push_back(r.time);
            for (std::size_t i = 0; i < count; ++i) values.push_back(r.value(static_cast<int>(i)).value_or(kNoValue));
        });
    }
    const auto n = static_cast<py::ssize_t>(frameNumbers.size());
    py::dict columns;
    columns["frame"] = py::array_t<int64_t>(n, frameNumbers.data());
    columns["time"] = py::array_t<double>(n, times.data());
    for (std::size_t i = 0; i < count; ++i) {
        py::array_t<double> column(n);
        double* out = column.mutable_data();
        for (py::ssize_t f = 0; f < n; ++f) out[f] = values[static_cast<std::size_t>(f) * count + i];
        columns[frameprobe::indicatorKey(static_cast<int>(i))] = column;
    }
    py::dict run = runDict(result.run);
    run["frames"] = result.summary.frames;
    run["seconds"] = result.seconds;
    run["interrupted"] = result.interrupted;
    run["decode_errors"] = result.decodeErrors;
    return py::make_tuple(columns, eventsList(result.events), summaryDict(result.summary), run);
}

}  // namespace

PYBIND11_MODULE(_frameprobe, m) {
    m.doc() = "Native part of frameprobe; use the frameprobe package.";
    py::register_exception<frameprobe::Error>(m, "Error", PyExc_RuntimeError);
    m.def("version", &frameprobe::version, "The library's version.");
    m.def("indicator_keys", [] {
        std::vector<std::string> keys;
        for (int i = 0; i < frameprobe::indicatorCount(); ++i) keys.emplace_back(frameprobe::indicatorKey(i));
        return keys;
    });
    m.def("analyze_file", &analyzeFile, py::arg("path"), py::arg("width"), py::arg("height"), py::arg("indicators"),
          py::arg("start"), py::arg("frames"), py::arg("fps"), py::arg("threads"));
    m.def("measure", &measure, py::arg("array"), py::arg("indicators") = py::none(),
          py::arg("bit_depth") = py::none());
    py::class_<Analyzer>(m, "Analyzer")
        .def(py::init<uint32_t, uint32_t, double, const py::object&, int, std::optional<int>, const std::string&>(),
             py::arg("width"), py::arg("height"), py::arg("fps") = 25.0, py::arg("indicators") = py::none(),
             py::arg("bit_depth") = 8, py::arg("threads") = py::none(), py::arg("chroma_subsampling") = "4:2:0")
        .def("push", &Analyzer::push, py::arg("array"))
        .def("finish", &Analyzer::finish)
        .def("events", &Analyzer::events)
        .def("summary", &Analyzer::summary)
        .def_property_readonly("run", &Analyzer::run);
}
