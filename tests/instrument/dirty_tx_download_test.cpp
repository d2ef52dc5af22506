// The dirty-transmitter download against the simulated instrument: what is
// sent, in which order, and what the instrument holds afterwards.
#include "bluetooth/dirty_tx_download.h"

#include <gtest/gtest.h>

#include "bluetooth/dirty_tx_edits.h"
#include "sim_fixture.h"
#include "support/dt_fake_packet.h"

namespace bt {
namespace {

DirtyTxState defaultState(double packetType) {
    Parameters p;
    DirtyTxState s = initialDtState(p);
    dtSelectPacketType(s, packetType);
    return s;
}

std::vector<std::string> segmentCommands(int n, std::size_t samples) {
    const std::string name = "Bluetooth_DT" + std::to_string(n);
    const std::string iq = std::to_string(4 * samples);
    const std::string mk = std::to_string(samples);
    return {":SOUR:RAD:ARB:STATe?",
            ":SOUR:RAD:ARB:STATe OFF",
            ":MEM:DATA \"WFM1:" + name + "\",#" + std::to_string(iq.size()) + iq + "<" + iq + " bytes>",
            ":MEM:DATA \"MKR1:" + name + "\",#" + std::to_string(mk.size()) + mk + "<" + mk + " bytes>",
            "",
            ":OUTPUT:MOD ON",
            "*OPC?"};
}

// Sequence elements compared by the definition line they make.
std::string line(const std::vector<SequenceElement>& e) { return sequenceDefinition(e, "s", 'c'); }

void append(std::vector<std::string>& to, const std::vector<std::string>& from) {
    to.insert(to.end(), from.begin(), from.end());
}

class DirtyTxDownload : public test::SimInstrumentTest {
protected:
    DtDownloadOutcome run(DirtyTxState& s, char platform = 'c', const DtProgress& progress = {}) {
        return dtDownload(s, config, SigGenSettings{}, platform, bttest::fakeGenerator(calls), progress);
    }
    std::shared_ptr<std::vector<GenerationSettings>> calls = std::make_shared<std::vector<GenerationSettings>>();
};

TEST_F(DirtyTxDownload, TenDh5SetsFollowTheCommandLists) {
    DirtyTxState s = defaultState(15);
    const DtDownloadOutcome out = run(s);
    ASSERT_EQ(out.result.status, 0) << out.result.response;
    EXPECT_TRUE(out.calculated);
    EXPECT_EQ(calls->size(), 20u);

    std::vector<SequenceElement> elements;
    std::vector<std::string> expected;
    for (int n = 1; n <= 10; ++n) {
        append(expected, segmentCommands(n, 125000));
        elements.push_back({"Bluetooth_DT" + std::to_string(n), 2, 1, 1});
    }
    append(expected, {":SOUR:RAD:ARB:STATe?", ":SOUR:RAD:ARB:STATe OFF",
                      sequenceDefinition(elements, "Bluetooth_DT", 'c'), "SYST:LOC", "*OPC?"});
    append(expected, {":SOUR:RAD:ARB:TRIG:TYPE CONT", "*OPC?", ":SOUR:RAD:ARB:TRIG:SOUR:EXT:DEL:STAT OFF", "*OPC?"});
    SigGenSettings combined;
    combined.Title = "Bluetooth_DT";
    combined.RFblanking = 1;
    combined.Amplitude = -14;
    combined.SamplingRate = 10e6;
    append(expected, sequencePlayCommands("Bluetooth_DT", combined, 'c'));
    append(expected, {"SYST:LOC", "*OPC?", "SYST:LOC"});
    EXPECT_EQ(commands(), expected);

    // What the instrument holds and plays.
    const auto sequence = instrument().sequence("Bluetooth_DT");
    ASSERT_TRUE(sequence);
    ASSERT_EQ(sequence->size(), 10u);
    for (int n = 1; n <= 10; ++n) {
        const sim::SequenceEntry& e = (*sequence)[static_cast<std::size_t>(n - 1)];
        EXPECT_EQ(e.segment, "BLUETOOTH_DT" + std::to_string(n));
        EXPECT_EQ(e.repetitions, 2);
        EXPECT_EQ(instrument().waveform("Bluetooth_DT" + std::to_string(n))->samples(), 125000u);
    }
    EXPECT_EQ(line(out.sequence), line(elements));
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:WAV"), "\"SEQ:Bluetooth_DT\"");
    EXPECT_EQ(instrument().setting(":OUTP"), "1");
    EXPECT_FALSE(instrument().remote());

    // Nothing changed since: the stored segments go again, uncalculated.
    instrument().clearTranscript();
    calls->clear();
    ASSERT_EQ(run(s).result.status, 0);
    EXPECT_TRUE(calls->empty());
}

// A fault while set 4 goes down: the loop stops there, and no sequence,
// trigger or playback follows.
struct Fault {
    const char* name;
    bool memory;  // the instrument runs out of memory; else the link drops
};
class DirtyTxFault : public DirtyTxDownload, public ::testing::WithParamInterface<Fault> {};

TEST_P(DirtyTxFault, StopsAtSetFour) {
    DirtyTxState s = defaultState(15);
    ASSERT_TRUE(dtCalculate(s, bttest::fakeGenerator()));
    if (GetParam().memory) {
        sim::ServerOptions o;
        o.instrument.memorySamples = 3 * 125000 + 1000;
        server->stop();
        startSim(o);
    }
    const DtDownloadOutcome out = run(s, 'c', [&](const DtProgressEvent& e) {
        // Only set 4's transfer carries enough bytes to be dropped.
        if (!GetParam().memory && e.set == 4) {
            sim::Faults f;
            if (!e.finished) f.closeAfter = 10000;
            server->setFaults(f);
        }
        return true;
    });
    EXPECT_NE(out.result.status, 0);
    EXPECT_GE(out.ioErrors, 1);
    EXPECT_NE(out.result.response.find(GetParam().memory ? "Out of memory" : "closed"), std::string::npos)
        << out.result.response;
    EXPECT_TRUE(out.sequence.empty());

    const auto sent = commands();
    std::vector<std::string> expected;
    for (int n = 1; n <= 3; ++n) append(expected, segmentCommands(n, 125000));
    ASSERT_GE(sent.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(expected.size())),
              expected);
    for (std::size_t k = expected.size(); k < sent.size(); ++k) {
        EXPECT_EQ(sent[k].find("Bluetooth_DT5"), std::string::npos) << sent[k];
        EXPECT_EQ(sent[k].find(":seq"), std::string::npos) << sent[k];
        EXPECT_EQ(sent[k].find("TRIG"), std::string::npos) << sent[k];
        EXPECT_EQ(sent[k].find(":source:"), std::string::npos) << sent[k];
    }
    EXPECT_FALSE(instrument().sequence("Bluetooth_DT"));
    EXPECT_TRUE(instrument().waveform("Bluetooth_DT3"));
    EXPECT_FALSE(instrument().waveform("Bluetooth_DT4"));
    EXPECT_FALSE(instrument().waveform("Bluetooth_DT5"));
}

INSTANTIATE_TEST_SUITE_P(DirtyTx, DirtyTxFault, ::testing::Values(Fault{"OutOfMemory", true}, Fault{"LinkDropped", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DirtyTxDownload, ExternalTriggerWithItsDelay) {
    DirtyTxState s = defaultState(4);
    dtSetExternalTrigger(s, true);
    s.dtTestSelect = {0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    const DtDownloadOutcome out = run(s);
    ASSERT_EQ(out.result.status, 0) << out.result.response;
    const std::vector<SequenceElement> one = {{"Bluetooth_DT3", 4, 1, 1}};
    EXPECT_EQ(line(out.sequence), line(one));
    EXPECT_EQ(instrument().waveform("Bluetooth_DT3")->samples(), 50000u);

    // 1.5 frames of 1250 us, -703 us slot sync, 2 us ramp, 2 us settling.
    const std::vector<std::string> trigger = {
        ":SOUR:RAD:ARB:RETRigger ON",        "*OPC?", ":SOUR:RAD:ARB:TRIG:SOUR:EXT EPT1",        "*OPC?",
        ":SOUR:RAD:ARB:TRIG:SOUR EXT",       "*OPC?", ":SOUR:RAD:ARB:TRIG:SOUR:EXT:DEL 1168 us", "*OPC?",
        ":SOUR:RAD:ARB:TRIG:SOUR:EXT:DEL:STAT ON", "*OPC?", ":SOUR:RAD:ARB:TRIG:TYPE SING",      "*OPC?"};
    const auto sent = commands();
    const auto at = std::find(sent.begin(), sent.end(), trigger.front());
    ASSERT_NE(at, sent.end());
    EXPECT_EQ(std::vector<std::string>(at, at + static_cast<std::ptrdiff_t>(trigger.size())), trigger);
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:TRIG:SOUR:EXT:DEL"), "0.001168");
}

TEST_F(DirtyTxDownload, RfOnlyNothingSelectedAndCancel) {
    DirtyTxState s = defaultState(4);
    ASSERT_TRUE(dtCalculate(s, bttest::fakeGenerator()));
    s.dtSigGenSettings.Frequency = 2480e6;
    s.dtSigGenSettings.Amplitude = -20.5;
    s.dtCalcNeeded = 2;
    DtDownloadOutcome out = run(s);
    ASSERT_EQ(out.result.status, 0) << out.result.response;
    EXPECT_TRUE(out.rfOnly);
    EXPECT_EQ(s.dtCalcNeeded, 0);
    const std::vector<std::string> rf = {":source:freq:fix 2480000000Hz", "*OPC?",
                                         ":source:power:level:immediate:amplitude -20.5dbm", "*OPC?", "SYST:LOC"};
    EXPECT_EQ(commands(), rf);

    instrument().clearTranscript();
    s.dtTestSelect.fill(0);
    s.dtCalcNeeded = 1;
    out = run(s);
    EXPECT_EQ(out.result.status, 0);
    EXPECT_TRUE(commands().empty());
    EXPECT_TRUE(calls->empty());

    // Cancelled between sets: what went down stays, nothing else follows.
    s.dtTestSelect.fill(1);
    out = run(s, 'c', [](const DtProgressEvent& e) { return !(e.stage == DtStage::Downloading && e.set == 2); });
    EXPECT_TRUE(out.cancelled);
    EXPECT_NE(out.result.status, 0);
    EXPECT_TRUE(instrument().waveform("Bluetooth_DT1"));
    EXPECT_FALSE(instrument().waveform("Bluetooth_DT2"));
    EXPECT_FALSE(instrument().sequence("Bluetooth_DT"));
}

TEST_F(DirtyTxDownload, ARadioConnectionIsRefusedBeforeAnythingIsCalculatedOrSent) {
    DirtyTxState s = defaultState(4);
    s.dtCalcNeeded = 2;
    config.type = "SDR";
    const DtDownloadOutcome out = dtDownload(s, config, SigGenSettings{}, 'c', bttest::fakeGenerator(calls), {});
    EXPECT_NE(out.result.status, 0);
    EXPECT_NE(out.result.response.find("dirty-transmitter"), std::string::npos) << out.result.response;
    EXPECT_EQ(s.dtCalcNeeded, 2);
    EXPECT_TRUE(calls->empty());
    EXPECT_TRUE(commands().empty());
}

}  // namespace
}  // namespace bt
