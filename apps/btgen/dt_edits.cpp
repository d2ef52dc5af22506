#include "dt_edits.h"

#include <cctype>
#include <cmath>
#include <functional>
#include <ostream>

#include "bluetooth/dirty_tx_entries.h"
#include "commands.h"
#include "lib/errors.h"
#include "lib/numtext.h"

namespace btgen {

namespace {

double number(const std::string& field, const std::string& value) {
    const auto v = bt::parseNumber(value);
    if (!v || !std::isfinite(*v)) fail(kExitBadInput, "Value \"" + value + "\" of " + field + " is not a number.");
    return *v;
}

int item(const std::string& field, const std::string& value, int last) {
    const double v = number(field, value);
    if (v != std::floor(v) || v < 1 || v > last)
        fail(kExitBadInput, "Value \"" + value + "\" of " + field + " is not an item from 1 to " + std::to_string(last) + ".");
    return static_cast<int>(v);
}

bool flag(const std::string& field, const std::string& value) {
    const double v = number(field, value);
    if (v != 0 && v != 1) fail(kExitBadInput, "Value \"" + value + "\" of " + field + " must be 0 or 1.");
    return v == 1;
}

// What one dt.FIELD does: applies the value, or returns why the window
// would not let it be entered.
using DtEdit = std::function<std::string(bt::DirtyTxState&, const std::string& field, const std::string& value)>;

struct DtField {
    const char* name;
    const char* help;
    DtEdit apply;
};

const std::vector<DtField>& dtFields() {
    static const std::vector<DtField> fields = {
        {"packetType", "DH1, DH3, DH5, 2-DH1 ... 3-DH5 (or their codes 4, 11, 15, 16 ... 21)",
         [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             (void)f;  // checked before, with the platform's list
             bt::dtSelectPacketType(s, bt::dtPacketTypeOf(v, 'c'));
             return std::string();
         }},
        {"BDaddr", "hexadecimal", [](bt::DirtyTxState& s, const std::string&, const std::string& v) {
             bt::dtEnterMasterAddr(s, v);
             return std::string();
         }},
        {"AMaddr", "0-7", [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             number(f, v);
             bt::dtEnterAmAddr(s, v);
             return std::string();
         }},
        {"burstLength", "ramp, us", [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             number(f, v);
             bt::dtEnterPowerRamp(s, v);
             return std::string();
         }},
        {"burstSettle", "settling after the ramp, us", [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             // The window's field holds ramp plus settling.
             bt::dtEnterRampSettling(s, bt::formatNumber(s.dtParameters.burstLength + number(f, v)));
             return std::string();
         }},
        {"Amplitude", "dBm", [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             number(f, v);
             bt::dtEnterRfPower(s, v);
             return std::string();
         }},
        {"Frequency", "Hz", [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             bt::dtEnterRfFrequency(s, bt::formatNumber(number(f, v) / 1e6));
             return std::string();
         }},
        {"channel", "0-78", [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             number(f, v);
             bt::dtEnterChannel(s, v);
             return std::string();
         }},
        {"Title", "the waveform title's filter applies", [](bt::DirtyTxState& s, const std::string&, const std::string& v) {
             bt::dtEnterTitle(s, v);
             return std::string();
         }},
        {"omitPollPeriods", "0 or 1", [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             const bool on = flag(f, v);
             if (s.dtQ7395.enable == 1) return std::string("the omit-poll box is disabled in external trigger mode");
             bt::dtSetOmitPoll(s, on);
             return std::string();
         }},
        {"external", "0 or 1: frames on an external trigger",
         [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             bt::dtSetExternalTrigger(s, flag(f, v));
             return std::string();
         }},
        {"SlotSyncDelay", "us", [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             number(f, v);
             bt::dtEnterTriggerDelay(s, v);
             return std::string();
         }},
        {"marker1Type", "list item 1-4", [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             bt::dtSelectMarker1Type(s, item(f, v, 4));
             return std::string();
         }},
        {"marker1Timing", "us", [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             number(f, v);
             if (s.dtParameters.marker1Type != 2) return std::string("the timing belongs to marker 1 type 2 only");
             bt::dtEnterMarker1Timing(s, v);
             return std::string();
         }},
        {"marker2Type", "list item 1-4", [](bt::DirtyTxState& s, const std::string& f, const std::string& v) {
             bt::dtSelectMarker2Type(s, item(f, v, 4));
             return std::string();
         }},
    };
    return fields;
}

}  // namespace

void applyImpairmentEdit(bt::DirtyTxState& s, const std::string& edit, std::ostream& out) {
    const auto colon = edit.find(':');
    const auto eq = edit.find('=');
    if (colon == std::string::npos || eq == std::string::npos || eq < colon)
        fail(kExitBadInput, "--set-impairment takes N:FIELD=VALUE, not \"" + edit + "\"");
    const std::string which = edit.substr(0, colon);
    const std::string field = edit.substr(colon + 1, eq - colon - 1);
    const auto value = bt::parseNumber(edit.substr(eq + 1));
    if (!value) fail(kExitBadInput, "Value \"" + edit.substr(eq + 1) + "\" of " + field + " is not a number.");
    const auto number = bt::parseNumber(which);
    const bool all = which == "all";
    if (!all && (!number || *number != std::floor(*number) || *number < 1 || *number > 10))
        fail(kExitBadInput, "The test set of \"" + edit + "\" must be 1 to 10 or all");
    const std::size_t first = all ? 0 : static_cast<std::size_t>(*number) - 1;
    const std::size_t last = all || !bt::dtPerSetField(field) ? bt::kDtTestSets : first + 1;
    double stored = 0;
    for (std::size_t n = first; n < last; ++n) {
        try {
            stored = bt::dtEditImpairment(s, n, field, *value);
        } catch (const bt::Error& e) {
            fail(kExitBadInput, e.what());
        }
    }
    out << "set " << field << " of "
        << (last - first == bt::kDtTestSets ? std::string("all sets") : "set " + which) << " to "
        << bt::formatNumber(stored) << '\n';
}

void applyDtEdit(bt::DirtyTxState& s, const std::string& edit, std::ostream& out, bool keepGoing, char platform) {
    const auto eq = edit.find('=');
    if (eq == std::string::npos || eq <= 3) fail(kExitBadInput, "--set takes dt.FIELD=VALUE, not \"" + edit + "\"");
    const std::string name = edit.substr(3, eq - 3);
    const std::string value = edit.substr(eq + 1);
    for (const DtField& f : dtFields()) {
        if (name != f.name) continue;
        out << "set " << edit << '\n';
        std::string ignored;
        if (name == "packetType") {
            try {
                bt::dtPacketTypeOf(value, 'c');
            } catch (const bt::Error& e) {
                fail(kExitBadInput, "Value of dt.packetType: " + std::string(e.what()));
            }
            try {
                bt::dtPacketTypeOf(value, platform);
            } catch (const bt::Error& e) {  // the sequence's type, not in this instrument's list
                ignored = e.what();
            }
        }
        if (ignored.empty()) ignored = f.apply(s, "dt." + name, value);
        if (!ignored.empty()) {
            if (!keepGoing) fail(kExitBadInput, edit + " was ignored: " + ignored + " (--keep-going goes on without it)");
            out << "  ignored: " << ignored << '\n';
        }
        return;
    }
    fail(kExitBadInput, "Unknown dirty-transmitter field \"dt." + name + "\"; known: " + dtEditFieldsHelp());
}

std::string dtEditFieldsHelp() {
    std::string text;
    for (const DtField& f : dtFields()) text += (text.empty() ? "" : ", ") + std::string(f.name) + " (" + f.help + ")";
    return text;
}

}  // namespace btgen
