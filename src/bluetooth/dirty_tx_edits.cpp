#include "bluetooth/dirty_tx_edits.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "bluetooth/dirty_tx_frames.h"
#include "bluetooth/packet_types.h"
#include "lib/errors.h"
#include "lib/numtext.h"

namespace bt {

namespace {
double clampTo(double x, double lo, double hi) { return std::max(std::min(x, hi), lo); }

void forAllSets(DirtyTxState& s, double Impairments::*field, double value) {
    for (Impairments& i : s.dtImpairmentsCurrent) i.*field = value;
}
}  // namespace

double dtSlotSyncDelayLimit(double packetType) {
    const int slots = dtPacketSlots(packetType);
    const double k = slots == 5 ? 15 : slots == 3 ? 9 : 3;
    return k * 625 - 120 - 1;
}

std::vector<DtPacketType> dtPacketTypes(char platform) {
    std::vector<DtPacketType> types;
    for (double code : {4.0, 11.0, 15.0, 16.0, 17.0, 18.0, 19.0, 20.0, 21.0})
        if (platform != 'b' || dtPacketSlots(code) != 5)
            types.push_back({code, std::string(bt_PacketTypeInfo(kLinkAcl, code)->name)});
    return types;
}

double dtPacketTypeOf(std::string_view text, char platform) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto number = parseNumber(text);
    const auto named = [&](const DtPacketType& t) { return upper == t.name || number == t.code; };
    std::string names;
    for (const DtPacketType& t : dtPacketTypes(platform)) {
        if (named(t)) return t.code;
        names += (names.empty() ? "" : ", ") + t.name + " (" + formatNumber(t.code) + ")";
    }
    const std::string given = "\"" + std::string(text) + "\"";
    for (const DtPacketType& t : dtPacketTypes('c'))
        if (named(t))
            throw Error(given + " takes five slots, which the IXO-B's dirty-transmitter sequence does not offer: " +
                        names + ".");
    // A packet of another link, or another ACL packet, by its name.
    for (double link : {kLinkAcl, kLinkEsco, kLinkSco})
        for (int c = -1; c < 32; ++c) {
            const PacketTypeInfo* t = bt_PacketTypeInfo(link, c);
            if (!t || upper != t->name) continue;
            if (link != kLinkAcl)
                throw Error(given + " is a packet of the " + std::string(linkTypeName(link)) +
                            " link; the dirty-transmitter sequence sends ACL packets: " + names + ".");
            throw Error(given + " is not a packet the dirty-transmitter sequence sends: " + names + ".");
        }
    throw Error(given + " is none of the dirty-transmitter packet types: " + names + ".");
}

void dtSelectPacketType(DirtyTxState& s, double packetType) {
    s.dtCalcNeeded = 1;
    const DtDriftDefaults d = dtDriftDefaults(packetType);
    s.dtParameters.packetType = packetType;
    s.dtParameters.patternLength = d.patternLength;
    s.dtParameters.patternReps = d.patternLength / 511;
    forAllSets(s, &Impairments::FreqDriftRate, d.FreqDriftRate);
    forAllSets(s, &Impairments::FreqDriftDeviation, d.FreqDriftDeviation);
    const double limit = dtSlotSyncDelayLimit(packetType);
    s.dtQ7395.SlotSyncDelay = clampTo(s.dtQ7395.SlotSyncDelay, -limit, limit);
}

void dtSetExternalTrigger(DirtyTxState& s, bool on) {
    s.dtCalcNeeded = 1;
    if (on == (s.dtQ7395.enable != 0)) return;
    s.dtQ7395.enable = on ? 1 : 0;
    if (on) {
        s.dtOmitPollLastState = s.dtOmitPollPeriods;
        s.dtOmitPollPeriods = 0;
    } else {
        s.dtOmitPollPeriods = s.dtOmitPollLastState;
    }
}

void dtSetOmitPoll(DirtyTxState& s, bool on) {
    s.dtCalcNeeded = 1;
    s.dtOmitPollPeriods = on ? 1 : 0;
    if (s.dtParameters.marker1Timing < 0) s.dtParameters.marker1Timing = 0;
}

void dtSetSlotSyncDelay(DirtyTxState& s, double us) {
    s.dtCalcNeeded = 1;
    const double limit = dtSlotSyncDelayLimit(s.dtParameters.packetType);
    s.dtQ7395.SlotSyncDelay = clampTo(us, -limit, limit);
}

void dtSetTestSelect(DirtyTxState& s, std::size_t set, bool on) {
    s.dtTestSelect.at(set) = on ? 1 : 0;
    if (on) s.dtCalcNeeded = 1;
}

bool dtPerSetField(std::string_view field) {
    return field == "FreqOffset" || field == "ModIndex" || field == "SymbolTimingError";
}

double dtEditImpairment(DirtyTxState& s, std::size_t set, std::string_view field, double value) {
    Impairments& i = s.dtImpairmentsCurrent.at(set);
    double stored = 0;
    if (field == "FreqOffset") {
        stored = i.FreqOffset = clampTo(roundHalfAway(value), -150, 150);
    } else if (field == "ModIndex") {
        stored = i.ModIndex = clampTo(roundHalfAway(value * 1000) / 1000, 0.2, 0.4);
    } else if (field == "SymbolTimingError") {
        stored = i.SymbolTimingError = clampTo(roundHalfAway(value), -150, 150);
    } else if (field == "FreqDriftRate") {
        stored = value == 500 || value == 300 ? value : 1600;
        forAllSets(s, &Impairments::FreqDriftRate, stored);
    } else if (field == "FreqDriftDeviation") {
        stored = clampTo(roundHalfAway(value), -100, 100);
        forAllSets(s, &Impairments::FreqDriftDeviation, stored);
    } else if (field == "InitialDriftPhase") {
        stored = clampTo(roundHalfAway(value), -359, 359);
        forAllSets(s, &Impairments::InitialDriftPhase, stored);
    } else {
        throw Error("Unknown dirty-transmitter impairment \"" + std::string(field) +
                    "\" (FreqOffset, ModIndex, SymbolTimingError, FreqDriftRate, FreqDriftDeviation, "
                    "InitialDriftPhase)");
    }
    s.dtCalcNeeded = 1;
    return stored;
}

}  // namespace bt
