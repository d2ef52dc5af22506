#include "bluetooth/settings.h"

namespace bt {

AppInfo defaultAppInfo() {
    AppInfo a;
    a.Name = "BLUETOOTH";
    a.Platform = 'c';
    a.IsRelease = 1;
    a.Rev = "A.03.01.001";
    a.Date = "01-Aug-2002";
    a.Notes = "Release Notes:";
    a.NotesLine2 = "BLUETOOTH Signal Generation Applet for";
    a.NotesLine3 = "Veltor R7720K series RF Signal Generators.";
    a.NotesLine4 = "This applet supports a variety of BLUETOOTH";
    a.NotesLine5 = "signals, packets impairments.";
    a.ApplicationFunction = "bt_GUI";
    return a;
}

SigGenSettings defaultSigGenSettings(const GenerationSettings& p) {
    SigGenSettings s;
    s.SamplingRate = 1e6 * p.OverSampling;
    return s;
}

double patternPeriod(double payloadType, const Bits& dataSourceBitstream) {
    switch (static_cast<int>(payloadType == static_cast<int>(payloadType) ? payloadType : 0)) {
        case 1: return 1;
        case 2: return 1;
        case 3: return 2;
        case 4: return 2;
        case 5: return 511;
        case 6: return 32767;
        case 7: return 8;
        case 8: return static_cast<double>(dataSourceBitstream.size());
        default: return 1;
    }
}

double patternPeriod(const GenerationSettings& p) { return patternPeriod(p.payloadType, p.dataSourceBitstream); }

double effectiveModIndex(const GenerationSettings& p) {
    return p.impairments.ModIndexActive == 1 ? p.impairments.ModIndex : p.ModIndex;
}

double instrumentSampleRate(const GenerationSettings& p) {
    const double symbolRate = 1e6 + (p.impairments.SymbolTimingErrorActive == 1 ? p.impairments.SymbolTimingError : 0.0);
    return p.OverSampling * symbolRate;
}

}  // namespace bt
