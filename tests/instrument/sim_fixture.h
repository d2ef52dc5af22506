#pragma once
// A simulated instrument on a free loopback port for the duration of a test.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "bluetooth/settings.h"
#include "bluetooth/generate.h"
#include "bluetooth/shift_registers.h"
#include "instrument/download.h"
#include "instrument/hw_wrappers.h"
#include "sim/sim_server.h"

namespace bt::test {

class SimInstrumentTest : public ::testing::Test {
protected:
    void startSim(sim::ServerOptions options = {}) {
        server = std::make_unique<sim::Server>(options);
        std::string error;
        port = server->start(0, error);
        ASSERT_NE(port, 0) << error;
        config.type = "TCPIP";
        config.TCPIP.address = "127.0.0.1:" + std::to_string(port);
        HwSetTimeout(config, 2000);
    }
    void SetUp() override { startSim(); }
    void TearDown() override {
        if (server) server->stop();
    }

    sim::Instrument& instrument() { return server->instrument(); }

    // A continuous PN9 stream with its clock marker, downloaded as "BT" and
    // playing: what the BERT and the delay calibration measure.
    GeneratedSignal playPn9Stream(std::size_t oversampling = 10, int periods = 4) {
        GenerateInputs in;
        in.generationMode = 2;
        in.data = PNgenerator(9, 511.0 * periods);
        in.oversamplingRate = double(oversampling);
        GeneratedSignal s = Bt_GENERATE(in);
        EXPECT_EQ(IXODownLoadWrap(s.waveform, s.markers, "BT", config).status, 0);
        EXPECT_EQ(IXOPlay_c("BT", SigGenSettings{}, config).status, 0);
        return s;
    }

    // The commands received, without the I/O layer's own housekeeping
    // (clearing and reading the error queue around every command).
    std::vector<std::string> commands() {
        std::vector<std::string> out;
        for (const std::string& line : instrument().transcript())
            if (line != "*CLS" && line != "SYST:ERR?") out.push_back(line);
        return out;
    }

    std::unique_ptr<sim::Server> server;
    std::uint16_t port = 0;
    Configuration config;
};

// Milliseconds taken by `f`.
template <class F>
long long elapsedMs(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace bt::test
