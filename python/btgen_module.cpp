// The Python module `btgen`: settings as dicts, generation into numpy arrays
// that own the C++ buffers (no copy), settings files, the dirty-transmitter
// sequence, SigMF recordings, the receiver and the instrument. The work is
// done by the same core routines the command line calls, with the GIL
// released while they run; their errors become Python exceptions with the
// command line's texts.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/receiver.h"
#include "analysis/recording.h"
#include "analysis/report.h"
#include "bluetooth/air_bits.h"
#include "bluetooth/dirty_tx_calc.h"
#include "bluetooth/dirty_tx_edits.h"
#include "bluetooth/list_field_names.h"
#include "bluetooth/generate.h"
#include "bluetooth/settings_editor.h"
#include "bluetooth/settings_validate.h"
#include "bluetooth/size_est.h"
#include "bluetooth/user_data_file.h"
#include "instrument/download.h"
#include "instrument/hw_wrappers.h"
#include "lib/dialogs.h"
#include "lib/errors.h"
#include "app/app_state.h"
#include "lib/numtext.h"
#include "app/records_json.h"
#include "app/settings_files.h"
#include "app/sigmf_recording.h"
#include "radio/capture.h"
#include "radio/radio.h"
#include "radio/transmit.h"

namespace py = pybind11;

namespace {

using Json = bt::Json;

// ------------------------------------------------------------ exceptions

PyObject* gError = nullptr;          // btgen.Error: what the command line reports
PyObject* gSettingsError = nullptr;  // btgen.SettingsError: a settings dict that does not hold
PyObject* gSettingsRefused = nullptr;
PyObject* gInstrumentError = nullptr;
PyObject* gRadioError = nullptr;

[[noreturn]] void raise(PyObject* type, const std::string& text) {
    // Texts carry file names and instrument replies, which need not be
    // UTF-8: undecodable bytes are replaced instead of losing the text.
    PyObject* message = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
    if (!message) throw py::error_already_set();
    PyErr_SetObject(type, message);
    Py_DECREF(message);
    throw py::error_already_set();
}

// Nesting deeper than this is refused when converting between Python
// objects and records: recursion this deep would exhaust the stack, and
// no settings record or SigMF description comes near it.
constexpr int kMaxNesting = 200;

// Runs `f` without the GIL; a bt::Error it throws becomes btgen.Error (or
// `type`).
template <class F>
auto withoutGil(F&& f, PyObject* type = nullptr) {
    try {
        py::gil_scoped_release released;
        return f();
    } catch (const bt::Error& e) {
        raise(type ? type : gError, e.what());
    }
}

// ------------------------------------------------------------ dicts

// A string of a file, which need not be UTF-8.
py::str text(const std::string& s) {
    PyObject* o = PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace");
    if (!o) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(o);
}

// Of either kind of JSON value (ordered or not) as it stands: a
// conversion between the two would copy it recursively, without the depth
// limit, and metadata millions of levels deep would exhaust the stack.
template <class J>
py::object toPython(const J& j, int depth = 0) {
    if (depth > kMaxNesting)
        raise(gError, "The data are nested more than " + std::to_string(kMaxNesting) + " levels deep.");
    switch (j.type()) {
        case J::value_t::null:
            return py::none();
        case J::value_t::boolean:
            return py::bool_(j.template get<bool>());
        case J::value_t::number_integer:
            return py::int_(j.template get<long long>());
        case J::value_t::number_unsigned:
            return py::int_(j.template get<unsigned long long>());
        case J::value_t::number_float:
            return py::float_(j.template get<double>());
        case J::value_t::string:
            return text(j.template get_ref<const std::string&>());
        case J::value_t::array: {
            py::list l;
            for (const J& x : j) l.append(toPython(x, depth + 1));
            return l;
        }
        case J::value_t::object: {
            py::dict d;
            for (const auto& [k, v] : j.items()) d[text(k)] = toPython(v, depth + 1);
            return d;
        }
        default:
            return py::none();
    }
}

// A whole number as settings hold it; beyond 64 bits it cannot be one.
Json integerOf(py::handle o, const std::string& where) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(o.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0) raise(gSettingsError, "Settings field " + where + " holds a number too large for any setting.");
    return v;
}

Json fromPython(py::handle o, const std::string& where, int depth = 0) {
    // A list that holds itself would recurse without end.
    if (depth > kMaxNesting)
        raise(gSettingsError, "Settings field " + where + " is nested more than " + std::to_string(kMaxNesting) +
                                  " levels deep.");
    if (o.is_none()) return nullptr;
    if (py::isinstance<py::bool_>(o)) return o.cast<bool>();
    if (py::isinstance<py::int_>(o)) return integerOf(o, where);
    if (py::isinstance<py::float_>(o)) return o.cast<double>();
    if (py::isinstance<py::str>(o)) return o.cast<std::string>();
    if (py::isinstance<py::dict>(o)) {
        Json j = Json::object();
        for (auto [k, v] : o.cast<py::dict>()) {
            const std::string key = py::str(k);
            j[key] = fromPython(v, where + "." + key, depth + 1);
        }
        return j;
    }
    if (py::isinstance<py::array>(o)) return fromPython(o.attr("tolist")(), where, depth + 1);
    if (py::isinstance<py::list>(o) || py::isinstance<py::tuple>(o)) {
        Json j = Json::array();
        for (py::handle x : o) j.push_back(fromPython(x, where, depth + 1));
        return j;
    }
    if (py::hasattr(o, "__index__")) return integerOf(py::int_(py::reinterpret_borrow<py::object>(o)), where);
    if (py::hasattr(o, "__float__") && !PyComplex_Check(o.ptr()))
        return py::float_(py::reinterpret_borrow<py::object>(o)).cast<double>();
    raise(gSettingsError, "Settings field " + where + " holds a " +
                              std::string(py::str(o.get_type().attr("__name__"))) + ", which settings cannot hold.");
}

const bt::AppState& defaults() {
    static const bt::AppState state = [] {
        bt::AppState s;
        bt::initializeAppState(s);
        return s;
    }();
    return state;
}

bt::EditContext context(const std::string& platform, const std::string& bbg) {
    if (platform != "b" && platform != "c") raise(gSettingsError, "The platform is \"b\" or \"c\", not \"" + platform + "\".");
    return {platform[0], bbg};
}

// The settings a dict describes, screened as a settings file is: every
// value must be one the editors could have produced (ProjectedLength is
// recomputed).
bt::Parameters settingsOf(py::handle settings, const bt::EditContext& ctx) {
    if (!py::isinstance<py::dict>(settings)) raise(gSettingsError, "Settings are a dict (btgen.default_settings()).");
    bt::Parameters p = defaults().parameters;
    try {
        bt::fromJson(fromPython(settings, "settings"), p);
    } catch (const bt::Error& e) {
        raise(gSettingsError, e.what());
    }
    p.ProjectedLength = bt::Bt_SizeEst(p);
    if (const auto problem = bt::findInconsistentField(p, ctx)) raise(gSettingsError, problem->text());
    return p;
}

template <class T>
py::dict dictOf(const T& record) {
    return toPython(bt::toJson(record));
}

bt::SigGenSettings sigGenOf(py::handle sigGen, const bt::Parameters& p) {
    bt::SigGenSettings s = bt::defaultSigGenSettings(p);
    s.SamplingRate = bt::instrumentSampleRate(p);
    if (sigGen.is_none()) return s;
    try {
        bt::fromJson(fromPython(sigGen, "sig_gen"), s);
    } catch (const bt::Error& e) {
        raise(gSettingsError, e.what());
    }
    return s;
}

// ------------------------------------------------------------ arrays

// A signal handed to numpy: the arrays' base is a capsule holding the
// object that owns the rows (a generated signal, a dirty-transmitter state).
constexpr const char* kSignalCapsule = "btgen.signal";

struct HeldSignal {
    std::shared_ptr<const void> owner;
    const bt::ComplexRow* waveform = nullptr;
    const bt::Markers* markers = nullptr;
};

std::pair<py::array, py::array> arraysOf(std::shared_ptr<const void> owner, const bt::ComplexRow& waveform,
                                         const bt::Markers& markers) {
    auto* held = new HeldSignal{std::move(owner), &waveform, &markers};
    const py::capsule base(held, kSignalCapsule, [](PyObject* c) {
        delete static_cast<HeldSignal*>(PyCapsule_GetPointer(c, kSignalCapsule));
    });
    const auto n = static_cast<py::ssize_t>(waveform.size());
    const py::ssize_t itemW = sizeof(std::complex<double>);
    py::array w(py::dtype::of<std::complex<double>>(), {py::ssize_t{1}, n}, {n * itemW, itemW}, waveform.data(),
                base);
    // The two marker rows are separate buffers: one 2 x N view over both,
    // its row stride the distance between them.
    const py::ssize_t rowStride =
        n == 0 ? 1
               : static_cast<py::ssize_t>(reinterpret_cast<std::intptr_t>(markers.row2.data()) -
                                          reinterpret_cast<std::intptr_t>(markers.row1.data()));
    py::array m(py::dtype::of<std::uint8_t>(), {py::ssize_t{2}, n}, {rowStride, py::ssize_t{1}},
                markers.row1.data(), base);
    // Views of the generator's own result: read-only, so that no script
    // changes a signal another array shares.
    py::detail::array_proxy(w.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    py::detail::array_proxy(m.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return {std::move(w), std::move(m)};
}

py::tuple signalTuple(bt::GeneratedSignal&& s) {
    auto owner = std::make_shared<bt::GeneratedSignal>(std::move(s));
    auto [w, m] = arraysOf(owner, owner->waveform, owner->markers);
    return py::make_tuple(w, m);
}

// The signal of two arrays given by a script: the rows behind them when
// they are untouched views of ours (no copy), anything else converted.
HeldSignal signalOf(const py::object& waveform, const py::object& markers) {
    if (py::isinstance<py::array>(waveform) && py::isinstance<py::array>(markers)) {
        const py::array w = waveform, m = markers;
        const py::object base = w.attr("base");
        const py::object markerBase = m.attr("base");
        if (PyCapsule_IsValid(base.ptr(), kSignalCapsule) && markerBase.is(base)) {
            const auto* held = static_cast<const HeldSignal*>(PyCapsule_GetPointer(base.ptr(), kSignalCapsule));
            if (w.data() == held->waveform->data() && w.size() == py::ssize_t(held->waveform->size()) &&
                m.data() == held->markers->row1.data() && m.size() == 2 * w.size())
                return *held;
        }
    }
    auto s = std::make_shared<bt::GeneratedSignal>();
    const auto w = py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>::ensure(waveform);
    const auto m = py::array_t<std::uint8_t, py::array::c_style | py::array::forcecast>::ensure(markers);
    if (!w || !m) raise(gError, "The waveform must be complex numbers and the markers 0 and 1.");
    const auto n = static_cast<std::size_t>(w.size());
    if (m.ndim() != 2 || m.shape(0) != 2 || static_cast<std::size_t>(m.shape(1)) != n)
        raise(gError, "The markers must be 2 x N for a waveform of N samples.");
    s->waveform.assign(w.data(), w.data() + n);
    s->markers.row1.assign(m.data(), m.data() + n);
    s->markers.row2.assign(m.data() + n, m.data() + 2 * n);
    return HeldSignal{s, &s->waveform, &s->markers};
}

// ------------------------------------------------------------ functions

// A number typed into a field: a real, finite one (None, lists, bytes and
// complex numbers are no value a control takes).
double editNumber(py::handle value, const std::string& field) {
    const bool real = py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value) ||
                      (!PyComplex_Check(value.ptr()) && (py::hasattr(value, "__index__") || py::hasattr(value, "__float__")));
    if (!real || PyComplex_Check(value.ptr()))
        raise(gSettingsError, "Value of " + field + " is a " + std::string(py::str(value.get_type().attr("__name__"))) +
                                  ", not a number.");
    const double v = PyFloat_AsDouble(value.ptr());
    if (v == -1 && PyErr_Occurred()) {
        PyErr_Clear();
        raise(gSettingsError, "Value of " + field + " is too large for any setting.");
    }
    if (!std::isfinite(v)) raise(gSettingsError, "Value \"" + bt::formatNumber(v) + "\" of " + field + " is not a number.");
    return v;
}

// Applies the edits one by one through the settings editor, as --set does.
py::tuple edit(py::dict settings, py::kwargs fields, const std::string& platform, const std::string& bbg,
               py::object userFile) {
    const bt::EditContext ctx = context(platform, bbg);
    bt::Parameters p = settingsOf(settings, ctx);
    py::dict shown;
    py::list notes;
    bt::Bits userBits;
    if (!userFile.is_none()) {
        bt::PresetDialogs dialogs("", py::str(userFile).cast<std::string>());
        const bt::UserDataFile f = bt::loadUserDatafile(double(bt::MAXNUMBITS), "left-msb", dialogs);
        if (f.status != 1) raise(gError, std::string(bt::kUserFileErrorTitle) + ": " + f.errorText);
        userBits = f.bits;
    }
    for (auto [key, value] : fields) {
        // impairments__FreqOffset stands for impairments.FreqOffset.
        std::string field = py::str(key);
        if (const auto at = field.find("__"); at != std::string::npos) field.replace(at, 2, ".");
        std::string text;
        if (py::isinstance<py::str>(value)) {
            // A list field's value by name, as the command line takes it.
            try {
                text = bt::codeOfValue(p, field, value.cast<std::string>());
            } catch (const bt::Error& e) {
                raise(gSettingsError, e.what());
            }
        } else if (py::isinstance<py::bool_>(value)) {
            text = value.cast<bool>() ? "1" : "0";
        } else {
            const double number = editNumber(value, field);
            text = field == "BDaddr" || field == "AMaddr" || field == "bitPattern"
                       ? bt::formatHex(number)  // the control reads hexadecimal
                       : bt::formatNumber(number);
        }
        bt::EditResult r;
        try {
            r = bt::editField(p, field, text, ctx, userBits.empty() ? nullptr : &userBits);
        } catch (const bt::Error& e) {
            raise(gSettingsError, e.what());
        }
        if (r.unreadable) raise(gSettingsError, "Value \"" + text + "\" of " + field + " is not a number.");
        if (r.refused()) raise(gSettingsRefused, r.check.title + ": " + r.check.message);
        if (!r.ignored.empty()) notes.append(field + " ignored: " + r.ignored);
        if (r.check.result != bt::SizeCheck::Result::Accepted) notes.append(r.check.title + ": " + r.check.message);
        for (const auto& [name, shownText] : r.shown) shown[py::str(name)] = shownText;
        p = std::move(r.parameters);
    }
    return py::make_tuple(dictOf(p), shown, notes);
}

py::tuple generate(py::dict settings, py::object userFile, const std::string& platform, const std::string& bbg) {
    bt::Parameters p = settingsOf(settings, context(platform, bbg));
    if (!userFile.is_none()) {
        py::kwargs k;
        k["payloadType"] = 8;
        p = settingsOf(edit(settings, k, platform, bbg, userFile)[0], context(platform, bbg));
    }
    return signalTuple(withoutGil([&] { return bt::Calculate(p); }));
}

py::list bits(py::dict settings, const std::string& platform, const std::string& bbg) {
    const bt::Parameters p = settingsOf(settings, context(platform, bbg));
    const std::vector<bt::AirRow> rows = withoutGil([&] { return bt::airRows(p); });
    py::list out;
    for (const bt::AirRow& r : rows) {
        py::array_t<std::uint8_t> a(static_cast<py::ssize_t>(r.bits.size()));
        std::copy(r.bits.begin(), r.bits.end(), a.mutable_data());
        out.append(a);
    }
    return out;
}

py::tuple loadSettings(const std::string& path, const std::string& platform, const std::string& bbg) {
    const auto [p, sigGen] = withoutGil([&] { return bt::readSettingsFile(path, context(platform, bbg)); });
    return py::make_tuple(dictOf(p), dictOf(sigGen));
}

void saveSettings(const std::string& path, py::dict settings, py::object sigGen, bool compressed,
                  const std::string& platform, const std::string& bbg) {
    const bt::Parameters p = settingsOf(settings, context(platform, bbg));
    const bt::SigGenSettings s = sigGenOf(sigGen, p);
    const bt::FileOutcome out = withoutGil([&] {
        return bt::saveParameters(path, p, s, compressed ? bt::MatCompression::Zlib : bt::MatCompression::None);
    });
    if (!out) raise(gError, out.title + ": " + out.message);
}

// The segments of the selected sets, {set number: (waveform, markers)}.
py::dict dirtyTx(py::dict settings, py::object sets, py::object packet, const std::string& platform,
                 const std::string& bbg) {
    const bt::Parameters p = settingsOf(settings, context(platform, bbg));
    auto s = std::make_shared<bt::DirtyTxState>(defaults().dirtyTx);
    bt::loadDtState(*s, p);
    if (!packet.is_none()) {
        const std::string name = py::str(packet);
        double code = 4;
        try {
            code = bt::dtPacketTypeOf(name, platform.empty() ? 'c' : platform[0]);
        } catch (const bt::Error& e) {
            raise(gError, e.what());
        }
        bt::dtSelectPacketType(*s, code);
    }
    if (!sets.is_none()) {
        for (std::size_t n = 0; n < bt::kDtTestSets; ++n) bt::dtSetTestSelect(*s, n, false);
        for (py::handle h : sets) {
            const int n = h.cast<int>();
            if (n < 1 || n > 10) raise(gError, "The test sets are 1 to 10, not " + std::to_string(n) + ".");
            bt::dtSetTestSelect(*s, static_cast<std::size_t>(n - 1), true);
        }
    }
    withoutGil([&] { return bt::dtCalculate(*s); });
    py::dict out;
    for (std::size_t n = 0; n < bt::kDtTestSets; ++n) {
        if (s->dtTestSelect[n] == 0) continue;
        auto [w, m] = arraysOf(s, s->dtWaveform[n], s->dtMarkers[n]);
        out[py::int_(n + 1)] = py::make_tuple(w, m);
    }
    return out;
}

py::list writeSigmf(const std::string& path, py::dict settings, py::object sigGen, const std::string& datatype,
                    const std::string& platform, const std::string& bbg) {
    const auto type = bt::parseSigmfDatatype(datatype);
    if (!type) raise(gError, "The SigMF sample type is cf32_le or ci16_le, not \"" + datatype + "\".");
    const bt::Parameters p = settingsOf(settings, context(platform, bbg));
    const bt::SigGenSettings s = sigGenOf(sigGen, p);
    bt::SigmfDescription d;
    d.settings = p;
    d.sampleRate = s.SamplingRate;
    d.frequency = s.Frequency;
    d.record = {{"fileParameters", bt::toJson(p)}, {"sigGenParameters", bt::toJson(s)}};
    const bt::SigmfFiles files = withoutGil([&] {
        const bt::GeneratedSignal signal = bt::Calculate(p);
        try {
            return bt::writeSigmfRecording(path, *type, signal.waveform, signal.markers, signal.packets, d);
        } catch (const bt::Error& e) {
            throw bt::Error("Error Saving " + path + ": " + e.what());
        }
    });
    py::list out;
    for (const auto& f : {files.meta, files.data, files.markers}) out.append(f.string());
    return out;
}

py::dict measure(const py::object& waveform, double rate) {
    const auto w = py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>::ensure(waveform);
    if (!w) raise(gError, "The waveform must be complex numbers.");
    const std::complex<double>* data = w.data();
    const auto n = static_cast<std::size_t>(w.size());
    const Json report = withoutGil([&] {
        const bt::analysis::Reception r = bt::analysis::receive(data, n, rate);
        const std::vector<bt::analysis::ReceptionRow> rows = {{"waveform", &r}};
        return Json(bt::analysis::reportJson(rows, bt::analysis::summariseAll({&r})));
    });
    return toPython(report);
}

// A recording read by the receiver's reader: samples at double precision
// (16-bit integers scaled to full scale 1), one row per waveform row of the
// file (the selected sets of a dirty-transmitter MAT-file), the marker rows
// when every row has them. The arrays are views of the buffers read into.
struct ReadRecording {
    bt::analysis::Recording recording;
    std::size_t rows = 0, samples = 0;
    bt::ComplexRow waveform;             // rows x samples, row by row
    std::vector<std::uint8_t> markers;   // 2 rows x samples per row; empty: none
};

constexpr const char* kRecordingCapsule = "btgen.recording";

// The reader's keyword arguments: a wrong type or sign is the script's
// mistake, said as btgen.Error in the module's words (never pybind11's
// "Unable to cast").
std::string typeName(py::handle o) { return py::str(o.get_type().attr("__name__")); }

std::size_t sampleArgument(py::handle o, const std::string& name) {
    if (py::isinstance<py::bool_>(o) || !PyIndex_Check(o.ptr()))
        raise(gError, name + " takes a whole number of samples, not a " + typeName(o) + ".");
    const py::object whole = py::reinterpret_steal<py::object>(PyNumber_Index(o.ptr()));
    if (!whole) throw py::error_already_set();
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(whole.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow > 0) raise(gError, name + " is larger than any recording.");
    if (overflow < 0 || v < 0) raise(gError, name + " takes a whole number of samples, 0 or more.");
    return static_cast<std::size_t>(v);
}

double realArgument(py::handle o, const std::string& name) {
    if (PyComplex_Check(o.ptr()) || py::isinstance<py::str>(o) || py::isinstance<py::bytes>(o) ||
        !(PyFloat_Check(o.ptr()) || PyIndex_Check(o.ptr()) || py::hasattr(o, "__float__")))
        raise(gError, name + " takes a number, not a " + typeName(o) + ".");
    const double v = PyFloat_AsDouble(o.ptr());
    if (v == -1 && PyErr_Occurred()) {
        PyErr_Clear();
        raise(gError, name + " is too large.");
    }
    return v;
}


// Samples read without offset and count at most (all rows together): 1.6 GB
// as complex128. Beyond it a script reads the recording a stretch at a time.
constexpr std::size_t kWholeReadSamples = 100'000'000;

py::dict readRecording(const std::string& path, py::object format, py::object rate, bool verify, py::object offsetArg,
                       py::object count, py::object matLimit) {
    bt::analysis::SampleFormat f = bt::analysis::SampleFormat::Auto;
    if (!format.is_none()) {
        const std::string name = py::str(format);
        const auto parsed = bt::analysis::parseSampleFormat(name);
        if (!parsed) raise(gError, "The sample format is raw, cf32 or ci16, not \"" + name + "\".");
        f = *parsed;
    }
    std::optional<double> givenRate;
    if (!rate.is_none()) {
        givenRate = realArgument(rate, "rate");
        if (!(*givenRate > 0) || !std::isfinite(*givenRate)) raise(gError, "The sample rate must be a positive number of Hz.");
    }
    std::optional<std::size_t> wanted;
    if (!count.is_none()) wanted = sampleArgument(count, "count");
    const std::size_t offset = sampleArgument(offsetArg, "offset");
    std::uint64_t maxMatBytes = 0;  // the reader's own cap, from the memory
    if (!matLimit.is_none()) {
        const double bytes = realArgument(matLimit, "mat_limit");
        if (!(bytes >= 1 && bytes <= 1e15)) raise(gError, "mat_limit takes a number of bytes, 1 to 1e15.");
        maxMatBytes = static_cast<std::uint64_t>(bytes);
    }
    auto r = std::make_unique<ReadRecording>();
    withoutGil([&] {
        r->recording = bt::analysis::openRecording(path, f, {.verify = verify, .maxMatBytes = maxMatBytes});
        const auto& rows = r->recording.rows;
        r->rows = rows.size();
        const std::size_t total = rows.empty() ? 0 : rows.front().source->size();
        if (offset > total)
            throw bt::Error(path + " holds " + std::to_string(total) + " samples; offset " + std::to_string(offset) +
                            " is beyond them.");
        r->samples = std::min(total - offset, wanted.value_or(total - offset));
        if (!wanted && r->rows * r->samples > kWholeReadSamples)
            throw bt::Error(path + " holds " + std::to_string(r->rows * r->samples) + " samples, more than the " +
                            std::to_string(kWholeReadSamples) +
                            " read at once; give offset= and count= to read a stretch of it.");
        if (r->rows * r->samples > kWholeReadSamples)
            throw bt::Error("count=" + std::to_string(r->samples) + " asks for more than the " +
                            std::to_string(kWholeReadSamples) + " samples read at once.");
        r->waveform.resize(r->rows * r->samples);
        const double scale = 1.0 / r->recording.fullScale;
        std::vector<std::optional<bt::Markers>> markers;
        for (std::size_t k = 0; k < r->rows; ++k) {
            bt::Complex* out = r->waveform.data() + k * r->samples;
            rows[k].source->readExact(offset, r->samples, out);
            if (scale != 1)
                for (std::size_t i = 0; i < r->samples; ++i) out[i] *= scale;
            // Only the stretch of a marker file is read.
            markers.push_back(bt::analysis::readMarkers(rows[k], offset, r->samples));
        }
        if (r->rows > 0 && std::all_of(markers.begin(), markers.end(), [](const auto& m) { return m.has_value(); })) {
            r->markers.resize(2 * r->rows * r->samples);
            for (std::size_t k = 0; k < r->rows; ++k) {
                std::copy(markers[k]->row1.begin(), markers[k]->row1.end(),
                          r->markers.begin() + static_cast<std::ptrdiff_t>((2 * k) * r->samples));
                std::copy(markers[k]->row2.begin(), markers[k]->row2.end(),
                          r->markers.begin() + static_cast<std::ptrdiff_t>((2 * k + 1) * r->samples));
            }
        }
        return 0;
    });

    py::dict out;
    const bt::analysis::Recording& rec = r->recording;
    out["kind"] = rec.kind;
    py::list labels;
    for (const auto& row : rec.rows) labels.append(row.label);
    out["labels"] = labels;
    if (givenRate) {
        out["rate"] = *givenRate;
        out["rate_source"] = "given";
    } else if (rec.sampleRate) {
        out["rate"] = *rec.sampleRate;
        out["rate_source"] = rec.rateSource;
    } else {
        out["rate"] = py::none();
        out["rate_source"] = py::none();
    }
    out["frequency"] = rec.frequency ? py::object(py::float_(*rec.frequency)) : py::object(py::none());
    out["metadata"] = rec.metadata.is_null() ? py::object(py::none()) : toPython(rec.metadata);
    const auto annotations = rec.metadata.is_object() ? rec.metadata.find("annotations") : rec.metadata.end();
    out["annotations"] = annotations != rec.metadata.end() ? toPython(*annotations) : py::object(py::none());

    const auto rows = static_cast<py::ssize_t>(r->rows);
    const auto n = static_cast<py::ssize_t>(r->samples);
    ReadRecording* held = r.release();
    const py::capsule base(held, kRecordingCapsule, [](PyObject* c) {
        delete static_cast<ReadRecording*>(PyCapsule_GetPointer(c, kRecordingCapsule));
    });
    const py::ssize_t itemW = sizeof(std::complex<double>);
    out["waveform"] = py::array(py::dtype::of<std::complex<double>>(), {rows, n}, {n * itemW, itemW},
                                held->waveform.data(), base);
    if (held->markers.empty())
        out["markers"] = py::none();
    else
        out["markers"] = py::array(py::dtype::of<std::uint8_t>(), {2 * rows, n}, {n, py::ssize_t{1}},
                                   held->markers.data(), base);
    return out;
}

// ------------------------------------------------------------ instrument

class Instrument {
public:
    explicit Instrument(const std::string& address) {
        config_ = defaults().configuration;
        config_.type = "TCPIP";
        config_.TCPIP.address = address;
    }
    std::string address() const { return config_.TCPIP.address; }

    std::string send(const std::string& text) const {
        return checked(withoutGil([&] { return bt::HwSend(config_, text); }));
    }
    std::string query(const std::string& text) const {
        return checked(withoutGil([&] { return bt::HwQuery(config_, text); }));
    }
    std::string idn() const { return query("*IDN?"); }
    std::string download(const py::object& waveform, const py::object& markers, const std::string& title) const {
        const HeldSignal s = signalOf(waveform, markers);
        return checked(withoutGil([&] { return bt::IXODownLoadWrap(*s.waveform, *s.markers, title, config_); }));
    }
    std::string play(py::dict settings, py::object sigGen, const std::string& platform) const {
        const bt::Parameters p = settingsOf(settings, context(platform, "002"));
        const bt::SigGenSettings s = sigGenOf(sigGen, p);
        return checked(withoutGil([&] {
            return platform == "b" ? bt::IXOPlay(s.Title, s, config_) : bt::IXOPlay_c(s.Title, s, config_);
        }));
    }

private:
    // The status pair: the response on success, else InstrumentError.
    static std::string checked(const bt::HwResult& r) {
        if (r.ok()) return r.response;
        const py::object e = py::reinterpret_borrow<py::object>(gInstrumentError)(
            r.response + " (status " + std::to_string(r.status) + ")");
        e.attr("status") = r.status;
        e.attr("response") = r.response;
        PyErr_SetObject(gInstrumentError, e.ptr());
        throw py::error_already_set();
    }
    bt::Configuration config_;
};

// ------------------------------------------------------------ radio

// A radio routine's (status, description) as btgen.RadioError, the core's
// description as its text.
void checkRadio(const bt::radio::RadioResult& r) {
    if (r.ok()) return;
    const py::object e = py::reinterpret_borrow<py::object>(gRadioError)(r.description);
    e.attr("status") = r.status;
    PyErr_SetObject(gRadioError, e.ptr());
    throw py::error_already_set();
}

// Ctrl-C while a stream runs without the GIL: the streaming routine's
// progress callback (on the calling thread) asks Python whether a signal
// came, stops the stream, and the exception is raised once it has ended.
class SignalWatch {
public:
    ~SignalWatch() {
        if (type_) {
            py::gil_scoped_acquire gil;
            Py_XDECREF(type_);
            Py_XDECREF(value_);
            Py_XDECREF(traceback_);
        }
    }
    const std::atomic<bool>* flag() const { return &stop_; }
    void poll() {
        py::gil_scoped_acquire gil;
        if (!type_ && PyErr_CheckSignals() != 0) {
            PyErr_Fetch(&type_, &value_, &traceback_);
            stop_ = true;
        }
    }
    // With the GIL held: raises what the signal handler raised.
    void raiseIfSignalled() {
        if (!type_) return;
        PyErr_Restore(type_, value_, traceback_);
        type_ = value_ = traceback_ = nullptr;
        throw py::error_already_set();
    }

private:
    std::atomic<bool> stop_{false};
    PyObject *type_ = nullptr, *value_ = nullptr, *traceback_ = nullptr;
};

double positiveArgument(py::handle o, const std::string& name) {
    const double v = realArgument(o, name);
    if (!(v > 0) || !std::isfinite(v)) raise(gError, name + " must be a positive number.");
    return v;
}

bt::radio::RadioTuning tuningOf(py::handle frequency, py::handle gain, const std::string& antenna,
                                py::handle bandwidth) {
    bt::radio::RadioTuning t;
    t.frequency = positiveArgument(frequency, "frequency");
    if (!gain.is_none()) {
        t.gain = realArgument(gain, "gain");
        if (!std::isfinite(*t.gain)) raise(gError, "gain must be a finite number of dB.");
    }
    t.antenna = antenna;
    if (!bandwidth.is_none()) t.bandwidth = positiveArgument(bandwidth, "bandwidth");
    return t;
}

// The samples to play: the generator's own row when the array is an
// untouched view of it (no copy), anything else converted once.
std::shared_ptr<const bt::ComplexRow> waveformOf(const py::object& waveform) {
    if (py::isinstance<py::array>(waveform)) {
        const py::array w = waveform;
        const py::object base = w.attr("base");
        if (PyCapsule_IsValid(base.ptr(), kSignalCapsule)) {
            const auto* held = static_cast<const HeldSignal*>(PyCapsule_GetPointer(base.ptr(), kSignalCapsule));
            if (w.data() == held->waveform->data() && w.size() == py::ssize_t(held->waveform->size()))
                return {held->owner, held->waveform};
        }
    }
    const auto w = py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>::ensure(waveform);
    if (!w) raise(gError, "The waveform must be complex numbers.");
    if (w.ndim() > 2 || (w.ndim() == 2 && w.shape(0) != 1))
        raise(gError, "The waveform must be one row of samples (N or 1 x N).");
    return std::make_shared<bt::ComplexRow>(w.data(), w.data() + w.size());
}

// Samples captured at once at most: 800 MB as complex64.
constexpr double kMaxCaptureSamples = 100e6;
constexpr const char* kCaptureCapsule = "btgen.capture";

class PyRadio {
public:
    explicit PyRadio(const std::string& args) : args_(args) {
        bt::radio::RadioResult r;
        {
            py::gil_scoped_release released;
            r = radio_.open(args);
        }
        checkRadio(r);
    }
    std::string args() const { return args_; }
    std::string description() const { return radio_.description(); }
    std::vector<std::string> antennas(const std::string& direction) const {
        return radio_.antennas(directionOf(direction));
    }
    std::vector<std::string> gainElements(const std::string& direction) const {
        return radio_.gainElements(directionOf(direction));
    }
    std::vector<double> sampleRates(const std::string& direction) const {
        return radio_.sampleRates(directionOf(direction));
    }

    py::dict play(const py::object& waveform, py::handle rate, py::handle frequency, py::handle gain,
                  const std::string& antenna, py::handle bandwidth, py::handle loOffset, py::handle repeat) {
        bt::radio::PlayRequest request;
        request.waveformRate = positiveArgument(rate, "rate");
        request.tuning = tuningOf(frequency, gain, antenna, bandwidth);
        request.loOffset = realArgument(loOffset, "lo_offset");
        if (repeat.is_none())
            request.repeat = 0;
        else
            request.repeat = sampleArgument(repeat, "repeat");
        if (!repeat.is_none() && request.repeat == 0) raise(gError, "repeat takes 1 or more (None: until Ctrl-C).");
        const auto samples = waveformOf(waveform);
        SignalWatch watch;
        request.stop = watch.flag();
        request.progress = [&](double, std::uint64_t) { watch.poll(); };
        bt::radio::PlayReport r;
        {
            py::gil_scoped_release released;
            r = bt::radio::play(radio_, *samples, request);
        }
        watch.raiseIfSignalled();
        checkRadio(r.result);
        py::dict out;
        out["device_rate"] = r.plan.deviceRate;
        out["lo_offset"] = r.plan.loOffset;
        out["samples_written"] = r.samplesWritten;
        out["repetitions"] = r.repetitions;
        out["underflows"] = r.underflows;
        return out;
    }

    py::dict capture(py::handle seconds, py::handle rate, py::handle frequency, py::handle gain,
                     const std::string& antenna, py::handle bandwidth) {
        bt::radio::CaptureRequest request;
        request.seconds = positiveArgument(seconds, "seconds");
        request.rate = positiveArgument(rate, "rate");
        request.tuning = tuningOf(frequency, gain, antenna, bandwidth);
        if (request.seconds * request.rate > kMaxCaptureSamples)
            raise(gError, "A capture holds at most " + std::to_string(static_cast<long long>(kMaxCaptureSamples)) +
                              " samples; capture a shorter time.");
        auto held = std::make_unique<std::vector<std::complex<float>>>();
        SignalWatch watch;
        request.stop = watch.flag();
        request.progress = [&](std::uint64_t, std::uint64_t) { watch.poll(); };
        bt::radio::CaptureReport r;
        {
            py::gil_scoped_release released;
            auto& buffer = *held;
            r = bt::radio::capture(
                radio_, request,
                [&](const std::complex<float>* s, std::size_t n) {
                    buffer.insert(buffer.end(), s, s + n);
                    return true;
                },
                [&](double used) {
                    // A little more for the device's last block.
                    buffer.reserve(static_cast<std::size_t>(std::ceil(request.seconds * used)) + 65536);
                });
        }
        watch.raiseIfSignalled();
        checkRadio(r.result);
        py::dict out;
        out["rate"] = r.rate;
        out["overflows"] = r.overflows;
        out["gaps"] = r.gaps;
        const auto n = static_cast<py::ssize_t>(held->size());
        std::complex<float>* data = held->data();
        const py::capsule base(held.release(), kCaptureCapsule, [](PyObject* c) {
            delete static_cast<std::vector<std::complex<float>>*>(PyCapsule_GetPointer(c, kCaptureCapsule));
        });
        out["samples"] = py::array(py::dtype::of<std::complex<float>>(), {n}, {py::ssize_t{sizeof(std::complex<float>)}},
                                   data, base);
        return out;
    }

    void close() {
        py::gil_scoped_release released;
        radio_.close();
    }

private:
    static bt::radio::Direction directionOf(const std::string& d) {
        if (d == "tx") return bt::radio::Direction::Tx;
        if (d == "rx") return bt::radio::Direction::Rx;
        raise(gError, "The direction is \"tx\" or \"rx\", not \"" + d + "\".");
    }
    std::string args_;
    bt::radio::Radio radio_;
};

py::list listRadios(const std::string& args) {
    std::vector<bt::radio::DeviceInfo> devices;
    bt::radio::RadioResult r;
    {
        py::gil_scoped_release released;
        r = bt::radio::listDevices(args, devices);
    }
    checkRadio(r);
    py::list out;
    for (const auto& d : devices) {
        py::dict e;
        e["args"] = text(d.args);
        e["label"] = text(d.label);
        out.append(e);
    }
    return out;
}

PyObject* newException(py::module_& m, const char* name, py::handle bases, const char* doc) {
    const std::string qualified = std::string("btgen.") + name;
    PyObject* e = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases.ptr(), nullptr);
    if (!e) throw py::error_already_set();
    m.attr(name) = py::reinterpret_borrow<py::object>(e);
    return e;
}

}  // namespace

PYBIND11_MODULE(btgen, m) {
    m.doc() = "Bluetooth basic-rate test signals: settings, generation, SigMF recordings, instrument download";

    gError = newException(m, "Error", PyExc_Exception, "A failure the btgen command line would report.");
    gSettingsError = newException(m, "SettingsError", py::make_tuple(py::handle(gError), py::handle(PyExc_ValueError)),
                                  "Settings that do not hold: an unknown field, a value no editor keeps.");
    gSettingsRefused = newException(m, "SettingsRefused", gError,
                                    "An edit refused because the waveform would not fit into the instrument.");
    gInstrumentError = newException(m, "InstrumentError", gError,
                                    "The instrument answered with a failing status (attributes status and response).");
    gRadioError = newException(m, "RadioError", gError,
                               "A software-defined radio failed or was not found (attribute status).");

    m.def("default_settings", [] { return dictOf(defaults().parameters); }, "The default settings record as a dict.");
    m.def("default_sig_gen", [](py::dict settings) { return dictOf(sigGenOf(py::none(), settingsOf(settings, {}))); },
          py::arg("settings"), "The instrument settings for the settings (sample rate, carrier, ...).");
    m.def(
        "edit",
        [](py::dict settings, py::kwargs fields) {
            std::string platform = "c", bbg = "002";
            py::object userFile = py::none();
            for (const char* option : {"platform", "bbg", "user_file"})
                if (fields.contains(option)) {
                    const py::object v = fields.attr("pop")(option);
                    if (std::string(option) == "user_file") userFile = v;
                    else (std::string(option) == "platform" ? platform : bbg) = py::str(v);
                }
            return edit(settings, fields, platform, bbg, userFile);
        },
        py::arg("settings"),
        "edit(settings, FIELD=VALUE, ...) -> (settings, shown, notes): the edits applied in order through the "
        "settings editor, as typed into the fields' controls (impairments__FIELD for impairments.FIELD). shown "
        "maps each touched field to the text its control shows. Raises SettingsRefused when the waveform would "
        "not fit. Also takes platform=, bbg= and user_file= (for payloadType=8).");
    m.def("generate", &generate, py::arg("settings"), py::arg("user_file") = py::none(), py::arg("platform") = "c",
          py::arg("bbg") = "002",
          "(waveform, markers): complex128 1 x N and uint8 2 x N, read-only views of the generated signal "
          "(no copy).");
    m.def("bits", &bits, py::arg("settings"), py::arg("platform") = "c", py::arg("bbg") = "002",
          "The air bits, one uint8 array per packet (the stream in stream mode).");
    m.def(
        "size", [](py::dict settings) { return bt::Bt_SizeEst(settingsOf(settings, {})); }, py::arg("settings"),
        "Samples the waveform of the settings will have.");
    m.def("load_settings", &loadSettings, py::arg("path"), py::arg("platform") = "c", py::arg("bbg") = "002",
          "(settings, sig_gen) of a settings file, screened as File Open screens it.");
    m.def("save_settings", &saveSettings, py::arg("path"), py::arg("settings"), py::arg("sig_gen") = py::none(),
          py::arg("compressed") = true, py::arg("platform") = "c", py::arg("bbg") = "002",
          "Saves a settings file, replacing it atomically.");
    m.def("dirty_tx", &dirtyTx, py::arg("settings"), py::arg("sets") = py::none(), py::arg("packet") = py::none(),
          py::arg("platform") = "c", py::arg("bbg") = "002",
          "The dirty-transmitter segments: {set: (waveform, markers)} for the selected sets (all ten by default).");
    m.def("write_sigmf", &writeSigmf, py::arg("path"), py::arg("settings"), py::arg("sig_gen") = py::none(),
          py::arg("datatype") = "cf32_le", py::arg("platform") = "c", py::arg("bbg") = "002",
          "Generates the settings' signal into the SigMF recording PATH; returns the files written.");
    m.def("measure", &measure, py::arg("waveform"), py::arg("rate"),
          "Receives the waveform (sample rate in Hz) and measures it: the report btgen measure --json gives.");

    m.def("read_recording", &readRecording, py::arg("path"), py::arg("format") = py::none(),
          py::arg("rate") = py::none(), py::arg("verify") = true, py::arg("offset") = py::int_(0), py::arg("count") = py::none(),
          py::arg("mat_limit") = py::none(),
          "Reads a recording as btgen measure does: a MAT-file (`waveform`, the selected rows of "
          "`dtWaveform`, or the window's `samples`/`wave` I and Q columns), a SigMF recording (.sigmf-meta, .sigmf-data; cf32_le, ci16_le) or raw samples "
          "(format \"raw\", \"cf32\" or \"ci16\"; by default from the name, else raw). Returns a dict: "
          "waveform (complex128, one row per waveform row; 16-bit samples scaled to full scale 1), markers "
          "(uint8, two rows per waveform row, or None), labels (the rows), rate (Hz: the given one, else the "
          "file's, else None) and rate_source, frequency (carrier, Hz, or None), kind, and for SigMF metadata "
          "and annotations. offset and count read samples offset .. offset + count - 1 of every row; without "
          "count at most 100,000,000 samples are read (all rows together), beyond that it raises. verify=False "
          "skips checking a SigMF dataset against its metadata's SHA-512. mat_limit: the most bytes a MAT-file's "
          "data may unpack to (default a quarter of the memory); a larger file raises as too large to read.");

    py::class_<Instrument>(m, "Instrument", "A LAN instrument at \"host[:port]\"; every call is complete in itself.")
        .def(py::init<const std::string&>(), py::arg("address"))
        .def_property_readonly("address", &Instrument::address)
        .def("idn", &Instrument::idn)
        .def("send", &Instrument::send, py::arg("text"))
        .def("query", &Instrument::query, py::arg("text"))
        .def("download", &Instrument::download, py::arg("waveform"), py::arg("markers"), py::arg("title") = "BT",
             "Stores the waveform and markers under title; the generator's own arrays go without a copy.")
        .def("play", &Instrument::play, py::arg("settings"), py::arg("sig_gen") = py::none(),
             py::arg("platform") = "c", "Sends the instrument settings and plays the waveform named by their Title.");

    m.def("list_radios", &listRadios, py::arg("args") = "",
          "The software-defined radios SoapySDR finds for the device arguments (all for \"\"): a list of dicts "
          "with args and label.");
    py::class_<PyRadio>(m, "Radio",
                        "A software-defined radio through SoapySDR, opened by its device arguments "
                        "(\"driver=hackrf\", \"driver=uhd,serial=...\"). Failures raise RadioError with the "
                        "back end's description; Ctrl-C stops a stream and raises KeyboardInterrupt.")
        .def(py::init<const std::string&>(), py::arg("args"))
        .def_property_readonly("args", &PyRadio::args)
        .def_property_readonly("description", &PyRadio::description)
        .def("antennas", &PyRadio::antennas, py::arg("direction") = "tx")
        .def("gain_elements", &PyRadio::gainElements, py::arg("direction") = "tx")
        .def("sample_rates", &PyRadio::sampleRates, py::arg("direction") = "tx")
        .def("play", &PyRadio::play, py::arg("waveform"), py::arg("rate"), py::arg("frequency"),
             py::arg("gain") = py::none(), py::arg("antenna") = "", py::arg("bandwidth") = py::none(),
             py::arg("lo_offset") = 0.0, py::arg("repeat") = 1,
             "Plays the waveform (complex, N or 1 x N, at rate Hz) on the carrier frequency, repeat times without "
             "a gap (None: until Ctrl-C), resampled to the nearest rate the radio offers. lo_offset tunes the "
             "radio that far beside the carrier and moves the waveform back digitally. Returns a dict: "
             "device_rate, lo_offset (as used), samples_written, repetitions, underflows.")
        .def("capture", &PyRadio::capture, py::arg("seconds"), py::arg("rate"), py::arg("frequency"),
             py::arg("gain") = py::none(), py::arg("antenna") = "", py::arg("bandwidth") = py::none(),
             "Receives seconds of signal at the nearest rate to rate the radio offers. Returns a dict: samples "
             "(complex64, full scale 1), rate (as used), overflows and gaps (the sample index after each loss).")
        .def("close", &PyRadio::close);
}
