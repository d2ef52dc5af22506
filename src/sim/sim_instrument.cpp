#include "sim/sim_instrument.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <numbers>

#include "instrument/block_format.h"
#include "sim/sim_scpi.h"
#include "lib/numtext.h"

namespace bt::sim {

namespace {

enum class Kind { Bool, Number, Enum, Token, Quoted };

// Every setting the instrument stores and answers by its query form.
struct SettingSpec {
    const char* pattern;
    Kind kind;
    const char* initial;
    UnitKind unit = UnitKind::None;
    double lo = -1e300;
    double hi = 1e300;
    std::vector<const char*> choices = {};
    char only = 0;  // a model letter when only that generation knows it
};

const std::vector<SettingSpec>& settingSpecs() {
    static const std::vector<SettingSpec> specs = {
        {"[:SOURce]:RADio:ARB[:STATe]", Kind::Bool, "0"},
        {"[:SOURce]:RADio:ARB:WAVeform", Kind::Quoted, "\"\""},
        {"[:SOURce]:FREQuency[:FIXed]", Kind::Number, "1000000000", UnitKind::Frequency, 100e3, 6e9},
        {"[:SOURce]:POWer[:LEVel][:IMMediate][:AMPLitude]", Kind::Number, "-136", UnitKind::Power, -136, 20},
        {"[:SOURce]:RADio:ARB:CLOCk:SRATe", Kind::Number, "10000000", UnitKind::Frequency, 1, 100e6},
        {"[:SOURce]:RADio:ARB:RFILter", Kind::Enum, "THROUGH", UnitKind::None, 0, 0,
         {"250.0KHZ", "2.5MHZ", "8MHZ", "THROUGH"}, 'b'},
        {"[:SOURce]:DM:BBFilter", Kind::Enum, "THROUGH", UnitKind::None, 0, 0, {"2.1MHZ", "40MHZ", "THROUGH"}, 'c'},
        {"[:SOURce]:RADio:ARB:RSCaling", Kind::Number, "70", UnitKind::None, 1, 100, {}, 'c'},
        {"[:SOURce]:DM:IQATten:AUTO", Kind::Bool, "1", UnitKind::None, 0, 0, {}, 'c'},
        {"[:SOURce]:DM:IQATten", Kind::Number, "2", UnitKind::None, 0, 40, {}, 'c'},
        {"[:SOURce]:POWer:ALC[:STATe]", Kind::Bool, "1"},
        {"[:SOURce]:RADio:ARB:MARKer:RFBLank", Kind::Bool, "0"},
        {"[:SOURce]:RADio:ARB:MARKer:POLarity", Kind::Enum, "POS", UnitKind::None, 0, 0, {"POS", "NEG"}},
        {"[:SOURce]:RADio:ARB:CLOCk:REFerence", Kind::Enum, "INT", UnitKind::None, 0, 0, {"INT", "EXT"}},
        {":OUTPut[:STATe]", Kind::Bool, "0"},
        {":OUTPut:MODulation[:STATe]", Kind::Bool, "1"},
        {"[:SOURce]:RADio:ARB:RETRigger", Kind::Enum, "ON", UnitKind::None, 0, 0, {"ON", "OFF", "IMMEDIATE"}},
        {"[:SOURce]:RADio:ARB:TRIGger:TYPE", Kind::Enum, "CONT", UnitKind::None, 0, 0, {"CONT", "SING", "GATE"}},
        {"[:SOURce]:RADio:ARB:TRIGger[:SOURce]", Kind::Enum, "KEY", UnitKind::None, 0, 0, {"KEY", "BUS", "EXT"}},
        {"[:SOURce]:RADio:ARB:TRIGger[:SOURce]:EXTernal[:SOURce]", Kind::Enum, "EPT1", UnitKind::None, 0, 0,
         {"EPT1", "EPT2"}, 'c'},
        {"[:SOURce]:RADio:ARB:TRIGger[:SOURce]:EXTernal:DELay", Kind::Number, "0", UnitKind::Time, 0, 40},
        {"[:SOURce]:RADio:ARB:TRIGger[:SOURce]:EXTernal:DELay:STATe", Kind::Bool, "0"},
        {"[:SENSe]:BERT[:STATe]", Kind::Bool, "0"},
        {"[:SENSe]:BERT:TRIGger:COUNt", Kind::Number, "1", UnitKind::None, 1, 1e6},
        {"[:SENSe]:BERT:TRIGger[:SOURce]", Kind::Enum, "IMM", UnitKind::None, 0, 0, {"IMM", "BUS", "KEY", "EXT"}},
        {"[:SENSe]:BERT:RSYNc[:STATe]", Kind::Bool, "1"},
        {"[:SENSe]:BERT:PRBS:MDRate", Kind::Token, "BPS_2M"},
        {"[:SENSe]:BERT:TRIGger:BDELay:STATe", Kind::Bool, "0"},
        {"[:SENSe]:BERT:TBITs", Kind::Number, "1000", UnitKind::None, 100, 4294967295.0},
        {"[:SENSe]:BERT:PRBS:FUNCtion:SPIGnore[:STATe]", Kind::Bool, "0"},
        {"[:SENSe]:BERT:PRBS:FUNCtion:SPIGnore:DATA", Kind::Enum, "ALL_0", UnitKind::None, 0, 0, {"ALL_0", "ALL_1"}},
        {"[:SENSe]:BERT:PRBS[:TYPE]", Kind::Enum, "PN9", UnitKind::None, 0, 0, {"PN9", "PN15"}},
        {":INPut:BERT:CGATe[:STATe]", Kind::Bool, "0"},
        {":INPut:BERT:CGATe:POLarity", Kind::Enum, "POS", UnitKind::None, 0, 0, {"POS", "NEG"}},
        {":INPut:BERT:CLOCk:POLarity", Kind::Enum, "POS", UnitKind::None, 0, 0, {"POS", "NEG"}},
        {":INPut:BERT:DATA:POLarity", Kind::Enum, "POS", UnitKind::None, 0, 0, {"POS", "NEG"}},
        {":INPut:BERT:IMPedance", Kind::Enum, "TTL", UnitKind::None, 0, 0, {"OHM_75", "TTL"}},
    };
    return specs;
}

const std::vector<HeaderPattern>& settingPatterns() {
    static const std::vector<HeaderPattern> patterns = [] {
        std::vector<HeaderPattern> p;
        for (const auto& s : settingSpecs()) p.emplace_back(s.pattern);
        return p;
    }();
    return patterns;
}

const char* const kArbState = "[:SOURce]:RADio:ARB[:STATe]";
const char* const kWaveform = "[:SOURce]:RADio:ARB:WAVeform";
const char* const kSampleRate = "[:SOURce]:RADio:ARB:CLOCk:SRATe";
const char* const kBertState = "[:SENSe]:BERT[:STATe]";
const char* const kBertTrigger = "[:SENSe]:BERT:TRIGger[:SOURce]";

// The stored-waveform key of "ARBI:name" / "WFM1:name" (or a bare name when
// `bareAllowed`); nothing for another memory.
std::optional<std::string> waveformKey(const std::string& path, bool bareAllowed) {
    const std::string u = upper(path);
    if (u.rfind("ARBI:", 0) == 0 || u.rfind("WFM1:", 0) == 0) return u.substr(5);
    if (bareAllowed && u.find(':') == std::string::npos) return u;
    return std::nullopt;
}

// Twelve significant digits, as the instrument answers ("0.001167", not the
// nearest double's seventeen).
std::string replyNumber(double v) {
    std::array<char, 64> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::general, 12);
    return formatNumber(*parseNumber(std::string_view(buf.data(), static_cast<std::size_t>(res.ptr - buf.data()))));
}

std::optional<long> parseInteger(const std::string& p) {
    const auto v = parseNumber(p);
    if (!v || *v != std::floor(*v) || std::fabs(*v) > 2e9) return std::nullopt;
    return static_cast<long>(*v);
}

}  // namespace

struct Instrument::Impl {
    Instrument& in;
    std::vector<Block>& blocks;
    std::size_t nextBlock = 0;
    std::vector<Reply>& replies;

    void error(int code, const std::string& message) { in.pushLocked(code, message); }

    void reply(std::string text) { replies.push_back({std::move(text), false}); }

    void run(const CommandUnit& u) {
        const std::string h = upper(u.header);
        if (!h.empty() && h.front() == '*') return common(h, u);
        static const HeaderPattern memData(":MEMory:DATA");
        static const HeaderPattern memCatalog(":MEMory:CATalog[:ALL]");
        static const HeaderPattern sequence("[:SOURce]:RADio:ARB:SEQuence");
        static const HeaderPattern rotate("[:SOURce]:RADio:ARB:MARKer:ROTate");
        static const HeaderPattern sysErr(":SYSTem:ERRor[:NEXT]");
        static const HeaderPattern sysLocal(":SYSTem:LOCal");
        static const HeaderPattern operCond(":STATus:OPERation:CONDition");
        static const HeaderPattern questCond(":STATus:QUEStionable:BERT:CONDition");
        static const HeaderPattern data("[:SENSe]:DATA");

        if (sysLocal.matches(u.header) && !u.query) {
            in.remote_ = false;
            return;
        }
        // Reading the error queue leaves the front panel as it is.
        if (sysErr.matches(u.header) && u.query) return nextError();
        in.remote_ = true;
        if (memData.matches(u.header)) return u.query ? readBlock(u) : storeBlock(u);
        if (memCatalog.matches(u.header) && u.query) return catalog();
        if (sequence.matches(u.header) && !u.query) return defineSequence(u);
        if (rotate.matches(u.header) && !u.query) return rotateMarkers(u);
        if (operCond.matches(u.header) && u.query)
            return reply(std::chrono::steady_clock::now() < in.measuringUntil_ ? "16" : "0");
        if (questCond.matches(u.header) && u.query) return reply(bertInputValid() && in.ber_ ? "0" : "7");
        if (data.matches(u.header) && u.query) return bertData(u);

        const auto& patterns = settingPatterns();
        for (std::size_t k = 0; k < patterns.size(); ++k) {
            const SettingSpec& entry = settingSpecs()[k];
            if (!patterns[k].matches(u.header) || (entry.only && entry.only != in.options_.model)) continue;
            return u.query ? querySetting(entry, u) : changeSetting(entry, u);
        }
        error(-113, "Undefined header");
    }

    void common(const std::string& h, const CommandUnit& u) {
        if (h == "*CLS" && !u.query) return in.errors_.clear();
        in.remote_ = true;
        if (h == "*IDN" && u.query) return reply(in.identification());
        if (h == "*OPC" && u.query) return reply("1");
        if (h == "*OPC" || h == "*WAI") return;
        if (h == "*RST" && !u.query) return in.resetSettings();
        if (h == "*TRG" && !u.query) return trigger();
        error(-113, "Undefined header");
    }

    void nextError() {
        if (in.errors_.empty()) return reply("+0,\"No error\"");
        auto [code, message] = in.errors_.front();
        in.errors_.pop_front();
        reply(std::to_string(code) + ",\"" + message + "\"");
    }

    void querySetting(const SettingSpec& entry, const CommandUnit& u) {
        if (!u.params.empty()) return error(-108, "Parameter not allowed");
        reply(in.settings_[entry.pattern]);
    }

    void changeSetting(const SettingSpec& entry, const CommandUnit& u) {
        if (u.params.empty()) return error(-109, "Missing parameter");
        if (u.params.size() > 1) return error(-108, "Parameter not allowed");
        const std::string& p = u.params[0];
        std::string value;
        switch (entry.kind) {
            case Kind::Bool: {
                const std::string v = upper(p);
                const auto n = parseNumber(p);
                if (v == "ON" || (n && *n != 0)) value = "1";
                else if (v == "OFF" || (n && *n == 0)) value = "0";
                else return error(-224, "Illegal parameter value");
                break;
            }
            case Kind::Number: {
                const auto v = parseQuantity(p, entry.unit);
                if (!v) {
                    const bool numeric = !p.empty() && (std::isdigit(static_cast<unsigned char>(p[0])) ||
                                                        p[0] == '-' || p[0] == '+' || p[0] == '.');
                    return numeric ? error(-131, "Invalid suffix") : error(-104, "Data type error");
                }
                if (*v < entry.lo || *v > entry.hi) return error(-222, "Data out of range");
                value = replyNumber(*v);
                break;
            }
            case Kind::Enum: {
                const std::string v = upper(p);
                const auto it = std::find_if(entry.choices.begin(), entry.choices.end(),
                                             [&](const char* c) { return v == c; });
                if (it == entry.choices.end()) return error(-224, "Illegal parameter value");
                value = *it;
                break;
            }
            case Kind::Token:
                value = upper(p);
                break;
            case Kind::Quoted:
                if (!unquote(p)) return error(-151, "Invalid string data");
                value = p;
                break;
        }
        const std::string pattern = entry.pattern;
        if (pattern == kWaveform && !selectionExists(*unquote(p)))
            return error(-256, "File name not found;" + *unquote(p));
        if (pattern == kArbState && value == "1" && !selectionExists(*unquote(in.settings_[kWaveform])))
            return error(-221, "Settings conflict;no waveform selected");
        if (pattern == kSampleRate && in.options_.model == 'b' && std::stod(value) > 40e6)
            return error(-222, "Data out of range");
        in.settings_[pattern] = value;
    }

    bool selectionExists(const std::string& path) const {
        const std::string u = upper(path);
        if (u.rfind("SEQ:", 0) == 0) return in.sequences_.count(u.substr(4)) != 0;
        const auto key = waveformKey(path, false);
        return key && in.memory_.count(*key) != 0;
    }

    // The waveform the player has selected, if it is a stored waveform.
    const StoredWaveform* selectedWaveform() const {
        const auto path = unquote(in.settings_.at(kWaveform));
        const auto key = path ? waveformKey(*path, false) : std::nullopt;
        if (!key) return nullptr;
        const auto it = in.memory_.find(*key);
        return it == in.memory_.end() ? nullptr : &it->second;
    }

    Block* takeBlock(const std::string& p) {
        if (p != "\x01" || nextBlock >= blocks.size()) return nullptr;
        return &blocks[nextBlock++];
    }

    void storeBlock(const CommandUnit& u) {
        if (u.params.size() != 2) return error(u.params.size() < 2 ? -109 : -108, "Parameter error");
        const auto path = unquote(u.params[0]);
        Block* block = takeBlock(u.params[1]);
        if (!path) return error(-151, "Invalid string data");
        if (!block) return error(-104, "Data type error;block expected");
        const std::string up = upper(*path);
        if (up.rfind("MKR1:", 0) == 0) {
            const auto it = in.memory_.find(up.substr(5));
            if (it == in.memory_.end()) return error(-256, "File name not found;" + *path);
            if (block->size() != it->second.samples()) return error(-161, "Invalid block data;marker length");
            it->second.markers = std::move(*block);
            return;
        }
        const auto key = waveformKey(*path, false);
        if (!key || key->empty()) return error(-256, "File name not found;" + *path);
        if (block->empty() || block->size() % 4 != 0) return error(-161, "Invalid block data;I/Q length");
        const auto existing = in.memory_.find(*key);
        if (existing != in.memory_.end() && in.settings_[kArbState] == "1" && selectedWaveform() == &existing->second)
            return error(-221, "Settings conflict;waveform in use");
        std::uint64_t used = 0;
        for (const auto& [k, w] : in.memory_)
            if (k != *key) used += w.samples();
        if (used + block->size() / 4 > in.memoryCapacity()) return error(-225, "Out of memory");
        StoredWaveform& w = in.memory_[*key];
        if (w.name.empty()) w.name = path->substr(5);
        w.iq = std::move(*block);
        w.markers.assign(w.iq.size() / 4, 0);
    }

    void readBlock(const CommandUnit& u) {
        if (u.params.size() != 1 || !unquote(u.params[0])) return error(-109, "Missing parameter");
        const std::string path = *unquote(u.params[0]);
        const std::string up = upper(path);
        const bool markers = up.rfind("MKR1:", 0) == 0;
        const auto key = markers ? std::optional<std::string>(up.substr(5)) : waveformKey(path, false);
        const auto it = key ? in.memory_.find(*key) : in.memory_.end();
        if (it == in.memory_.end()) return error(-256, "File name not found;" + path);
        const Block& b = markers ? it->second.markers : it->second.iq;
        Reply r{*blockHeader(b.size()), true};
        r.bytes.append(b.begin(), b.end());
        replies.push_back(std::move(r));
    }

    void catalog() {
        std::uint64_t used = 0;
        std::string entries;
        for (const auto& [k, w] : in.memory_) {
            used += w.samples();
            entries += ",\"" + w.name + ",WFM1," + std::to_string(w.iq.size()) + "\"";
        }
        reply(std::to_string(4 * used) + "," + std::to_string(4 * (in.memoryCapacity() - used)) + entries);
    }

    void defineSequence(const CommandUnit& u) {
        if (u.params.empty()) return error(-109, "Missing parameter");
        const auto name = unquote(u.params[0]);
        if (!name || upper(*name).rfind("SEQ:", 0) != 0 || name->size() == 4)
            return error(-256, "File name not found;" + u.params[0]);
        if ((u.params.size() - 1) % 4 != 0) return error(-109, "Missing parameter");
        std::vector<SequenceEntry> entries;
        for (std::size_t k = 1; k < u.params.size(); k += 4) {
            const auto segment = unquote(u.params[k]);
            const auto key = segment ? waveformKey(*segment, false) : std::nullopt;
            if (!key || !in.memory_.count(*key)) return error(-256, "File name not found;" + u.params[k]);
            const auto reps = parseInteger(u.params[k + 1]);
            const auto m1 = parseInteger(u.params[k + 2]);
            const auto m2 = parseInteger(u.params[k + 3]);
            if (!reps || !m1 || !m2) return error(-104, "Data type error");
            if (*reps < 1 || *reps > 65535) return error(-222, "Data out of range");
            entries.push_back({*key, *reps, *m1, *m2});
        }
        in.sequences_[upper(name->substr(4))] = std::move(entries);
    }

    void rotateMarkers(const CommandUnit& u) {
        if (u.params.size() != 2) return error(-109, "Missing parameter");
        const auto path = unquote(u.params[0]);
        const auto key = path ? waveformKey(*path, true) : std::nullopt;
        const auto it = key ? in.memory_.find(*key) : in.memory_.end();
        if (it == in.memory_.end()) return error(-256, "File name not found;" + u.params[0]);
        const auto by = parseInteger(u.params[1]);
        if (!by) return error(-104, "Data type error");
        Block& m = it->second.markers;
        const auto n = static_cast<long>(m.size());
        const long shift = ((*by % n) + n) % n;
        std::rotate(m.begin(), m.begin() + (n - shift), m.end());  // later by `shift` samples
    }

    BertSetup bertSetup() const {
        const auto& st = in.settings_;
        BertSetup b;
        b.clockRising = st.at(":INPut:BERT:CLOCk:POLarity") == "POS";
        b.dataInverted = st.at(":INPut:BERT:DATA:POLarity") == "NEG";
        b.gate = st.at(":INPut:BERT:CGATe[:STATe]") == "1";
        b.gateHigh = st.at(":INPut:BERT:CGATe:POLarity") == "POS";
        b.prbsOrder = st.at("[:SENSe]:BERT:PRBS[:TYPE]") == "PN15" ? 15 : 9;
        b.totalBits = static_cast<std::uint64_t>(std::stod(st.at("[:SENSe]:BERT:TBITs")));
        if (st.at("[:SENSe]:BERT:PRBS:FUNCtion:SPIGnore[:STATe]") == "1")
            b.ignore = st.at("[:SENSe]:BERT:PRBS:FUNCtion:SPIGnore:DATA") == "ALL_1" ? 2 : 1;
        return b;
    }

    // Clock edges of the chosen polarity reach the BERT, through the gate
    // when it is on.
    bool bertInputValid() const {
        if (in.settings_.at(kBertState) != "1" || in.settings_.at(kArbState) != "1") return false;
        const StoredWaveform* w = selectedWaveform();
        if (!w || w->markers.empty()) return false;
        const BertSetup b = bertSetup();
        const auto& m = w->markers;
        for (std::size_t k = 0, n = m.size(); k < n; ++k) {
            const bool now = m[k] & 1, before = m[(k + n - 1) % n] & 1;
            if (now != before && now == b.clockRising && (!b.gate || bool(m[k] & 2) == b.gateHigh)) return true;
        }
        return false;
    }

    // A bus trigger starts one measurement of TBITs bits on the simulated
    // receiver's output; the instrument reports "measuring" for as long as
    // those bits take at 1 Mbit/s.
    void trigger() {
        if (in.settings_[kBertState] != "1" || in.settings_[kBertTrigger] != "BUS") return;
        in.ber_.reset();
        if (!bertInputValid()) return;
        const StoredWaveform& w = *selectedWaveform();
        const BertSetup setup = bertSetup();
        const BertResult r = measureBer(w.iq, w.markers, std::stod(in.settings_[kSampleRate]),
                                        in.options_.receiver, setup, in.triggers_++);
        if (!r.inputValid) return;
        in.ber_ = r.ber;
        const double seconds = std::min(10.0, double(setup.totalBits) / 1e6);
        in.measuringUntil_ = std::chrono::steady_clock::now() +
                             std::chrono::microseconds(static_cast<long long>(seconds * 1e6));
    }

    void bertData(const CommandUnit& u) {
        if (u.params.size() != 1 || upper(u.params[0]) != "TBER") return error(-224, "Illegal parameter value");
        reply(in.ber_ ? formatNumber(*in.ber_) : "9.91e+37");
    }
};

Instrument::Instrument(InstrumentOptions options) : options_(std::move(options)) { resetSettings(); }

void Instrument::resetSettings() {
    for (const auto& s : settingSpecs()) settings_[s.pattern] = s.initial;
    ber_.reset();
}

std::uint64_t Instrument::memoryCapacity() const {
    if (options_.memorySamples) return options_.memorySamples;
    return options_.model == 'b' ? 1'000'000 : 32'000'000;
}

std::string Instrument::identification() const {
    if (!options_.idn.empty()) return options_.idn;
    return options_.model == 'b' ? "Veltor,R7720B,SIM0000001,B.03.85" : "Veltor,R7720C,SIM0000001,C.03.10";
}

void Instrument::pushLocked(int code, const std::string& message) {
    if (errors_.size() >= options_.errorQueueSize) {
        errors_.back() = {-350, "Queue overflow"};
        return;
    }
    errors_.emplace_back(code, message);
}

void Instrument::pushError(int code, const std::string& message) {
    std::lock_guard lock(mutex_);
    pushLocked(code, message);
}

std::vector<Reply> Instrument::execute(const std::string& line, std::vector<Block>& blocks, const std::string& raw) {
    std::vector<Reply> all;
    execute(line, blocks, raw, [&](Reply&& r) {
        all.push_back(std::move(r));
        return true;
    });
    return all;
}

void Instrument::execute(const std::string& line, std::vector<Block>& blocks, const std::string& raw,
                         const std::function<bool(Reply&&)>& sink) {
    std::unique_lock lock(mutex_);
    if (transcriptSink_) transcriptSink_(raw);
    transcript_.push_back(raw);
    transcriptSize_ += raw.size();
    while (!transcript_.empty() &&
           (transcript_.size() > options_.transcriptLines || transcriptSize_ > options_.transcriptBytes)) {
        transcriptSize_ -= transcript_.front().size();
        transcript_.pop_front();
    }
    std::vector<Reply> replies;
    Impl impl{*this, blocks, 0, replies};
    for (const CommandUnit& u : splitUnits(line)) {
        impl.run(u);
        if (replies.empty()) continue;
        // Each reply leaves before the next query runs, so a line of
        // thousands of queries never holds more than one; the instrument is
        // not locked while a slow client takes it.
        lock.unlock();
        bool more = true;
        for (Reply& r : replies) more = more && sink(std::move(r));
        replies.clear();
        if (!more) return;
        lock.lock();
    }
}

std::vector<std::string> Instrument::transcript() const {
    std::lock_guard lock(mutex_);
    return {transcript_.begin(), transcript_.end()};
}

void Instrument::clearTranscript() {
    std::lock_guard lock(mutex_);
    transcript_.clear();
    transcriptSize_ = 0;
}

void Instrument::setTranscriptSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(mutex_);
    transcriptSink_ = std::move(sink);
}

std::optional<StoredWaveform> Instrument::waveform(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto key = waveformKey(name, true);
    const auto it = key ? memory_.find(*key) : memory_.end();
    if (it == memory_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::vector<SequenceEntry>> Instrument::sequence(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto it = sequences_.find(upper(name));
    if (it == sequences_.end()) return std::nullopt;
    return it->second;
}

std::string Instrument::setting(const std::string& header) const {
    std::lock_guard lock(mutex_);
    const auto& patterns = settingPatterns();
    for (std::size_t k = 0; k < patterns.size(); ++k)
        if (patterns[k].matches(header)) return settings_.at(settingSpecs()[k].pattern);
    return {};
}

std::vector<std::pair<int, std::string>> Instrument::errorQueue() const {
    std::lock_guard lock(mutex_);
    return {errors_.begin(), errors_.end()};
}

bool Instrument::remote() const {
    std::lock_guard lock(mutex_);
    return remote_;
}

}  // namespace bt::sim
