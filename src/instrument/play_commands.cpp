#include "instrument/play_commands.h"

#include "lib/errors.h"
#include "lib/numtext.h"

namespace bt {

namespace {

const char* reconFilterText(double choice) {
    if (choice == 1) return "250.0khz";
    if (choice == 2) return "2.5Mhz";
    if (choice == 3) return "8Mhz";
    if (choice == 4) return "through";
    throw Error("ReconFilter " + formatNumber(choice) + " is not one of the choices 1 to 4");
}

const char* bbFilterText(double choice) {
    if (choice == 1) return "2.1MHz";
    if (choice == 2) return "40MHz";
    if (choice == 3) return "Through";
    throw Error("BBfilter " + formatNumber(choice) + " is not one of the choices 1 to 3");
}

const char* alcText(double alc) {
    if (alc == 0) return "off";
    if (alc == 1) return "on";
    throw Error("ALC " + formatNumber(alc) + " is neither 0 nor 1");
}

const char* blankText(double rfBlanking) { return rfBlanking == 1 ? "on" : "off"; }
const char* polarityText(double polarity) { return polarity == 0 ? "Pos" : "Neg"; }
const char* refText(double source) { return source == 0 ? "int" : "ext"; }

// Carrier frequency, power and sample clock; `lead` is the blank the
// single-waveform lists put before every command.
void addCarrier(std::vector<std::string>& c, const std::string& lead, const SigGenSettings& s) {
    c.push_back(lead + ":source:freq:fix " + formatNumber(s.Frequency) + "Hz");
    c.push_back(lead + ":source:power:level:immediate:amplitude " + formatNumber(s.Amplitude) + "dbm");
    c.push_back(lead + ":source:rad:arb:clock:srate " + formatNumber(s.SamplingRate) + "Hz");
}

// The IXO-C baseband filter, runtime scaling and modulator attenuation.
void addBaseband(std::vector<std::string>& c, const std::string& lead, const SigGenSettings& s) {
    c.push_back(lead + ":source:dm:bbfilter " + bbFilterText(s.BBfilter));
    c.push_back(lead + ":source:rad:ARB:rscaling " + formatNumber(s.Scaling));
    c.push_back(":source:DM:IQAT:AUTO off");
    c.push_back(":source:DM:IQAT " + formatNumber(s.ModAtten));
}

// RF blanking, marker polarity and sample-clock reference.
void addMarkers(std::vector<std::string>& c, const std::string& lead, const SigGenSettings& s) {
    c.push_back(lead + ":source:rad:arb:marker:rfblank " + blankText(s.RFblanking));
    c.push_back(lead + ":source:rad:arb:marker:polarity " + polarityText(s.MarkerPolarity));
    c.push_back(lead + ":source:rad:arb:clock:ref " + refText(s.ArbRefSource));
}

}  // namespace

std::vector<std::string> playCommands(const std::string& FileName, const SigGenSettings& s, char model) {
    std::vector<std::string> c;
    c.push_back(" :source:rad:arb:state off");
    c.push_back(" :source:rad:arb:wav \"arbi:" + FileName + "\" ");
    addCarrier(c, " ", s);
    if (model == 'b') {
        c.push_back(std::string(" :source:rad:arb:rfilter ") + reconFilterText(s.ReconFilter));
    } else {
        addBaseband(c, " ", s);
        c.push_back(std::string(" :pow:alc:state ") + alcText(s.ALC));
    }
    addMarkers(c, " ", s);
    c.push_back(" :source:rad:arb:state on");
    c.push_back(" :output:state on");
    if (model != 'b') c.push_back(" :OUTPUT:MOD ON");
    return c;
}

std::string sequenceDefinition(const std::vector<SequenceElement>& elements, const std::string& sequenceFile,
                               char model) {
    const std::string memory = model == 'b' ? "ARBI:" : "WFM1:";
    std::string command = ":source:rad:arb:seq \"SEQ:" + sequenceFile + "\"";
    for (const SequenceElement& e : elements)
        command += ",\"" + memory + e.waveformName + "\"," + std::to_string(e.repetitions) + "," +
                   std::to_string(e.marker1) + "," + std::to_string(e.marker2);
    return command;
}

std::vector<std::string> sequencePlayCommands(const std::string& sequenceFile, const SigGenSettings& s, char model) {
    std::vector<std::string> c;
    c.push_back(":source:rad:arb:state off");
    c.push_back(":source:rad:arb:wav \"SEQ:" + sequenceFile + "\"");
    addCarrier(c, "", s);
    c.push_back(std::string(":pow:alc:state ") + alcText(s.ALC));
    addMarkers(c, "", s);
    if (model == 'b') c.push_back(std::string(":source:rad:arb:rfilter ") + reconFilterText(s.ReconFilter));
    if (model == 'c') addBaseband(c, "", s);
    c.push_back(":source:rad:arb:state on");
    c.push_back(":output:mod on");
    c.push_back(":output:state on");
    return c;
}

}  // namespace bt
