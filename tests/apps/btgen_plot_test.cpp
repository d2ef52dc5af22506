// btgen plot: images without a display, from generated settings, from our
// MAT-files and from SigMF recordings. The drawing program exists only in
// builds with the windows; elsewhere the command says so.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>

#include "lib/matfile.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using testsupport::appPath;
using testsupport::runProcess;

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / "btgen_plot_test";
    fs::create_directories(dir);
    return dir / name;
}

std::string head(const fs::path& p, std::size_t n) {
    std::ifstream in(p, std::ios::binary);
    std::string s(n, '\0');
    in.read(s.data(), static_cast<std::streamsize>(n));
    return s;
}

bool haveDrawing() { return fs::exists(appPath("btgen-plot-gui")); }

TEST(BtgenPlot, EveryKindFromTheSettings) {
    if (!haveDrawing()) {
        const auto r = runProcess({appPath("btgen"), "plot", "ccdf", "-o", scratch("x.png").string()});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("btgen-plot-gui"), std::string::npos);
        GTEST_SKIP() << "built without the windows";
    }
    for (const std::string kind :
         {"ccdf", "spectrum", "waterfall", "iq", "iq-overlay", "eye", "scatter", "freq-eye", "freq"}) {
        const fs::path out = scratch(kind + ".png");
        fs::remove(out);
        const auto r = runProcess({appPath("btgen"), "plot", kind, "--set", "packetType=4", "-o", out.string(),
                                   "--width", "400", "--height", "300"});
        EXPECT_EQ(r.status, 0) << kind << ": " << r.err;
        EXPECT_EQ(head(out, 4), "\x89PNG") << kind;
    }
    const fs::path svg = scratch("eye.svg"), pdf = scratch("scatter.pdf");
    EXPECT_EQ(runProcess({appPath("btgen"), "plot", "eye", "--symbols", "3", "--delay", "0.5", "-o", svg.string()}).status, 0);
    EXPECT_NE(head(svg, 200).find("<svg"), std::string::npos);
    EXPECT_EQ(runProcess({appPath("btgen"), "plot", "scatter", "--trace", "0", "-o", pdf.string()}).status, 0);
    EXPECT_EQ(runProcess({appPath("btgen"), "plot", "iq", "--markers", "-o", scratch("m.png").string()}).status, 0);
    EXPECT_EQ(head(pdf, 4), "%PDF");
    // Wrong settings and names are refused with the reason.
    auto r = runProcess({appPath("btgen"), "plot", "ccdf", "--set", "OverSampling=abc", "-o", scratch("y.png").string()});
    EXPECT_EQ(r.status, 2);
    r = runProcess({appPath("btgen"), "plot", "ccdf", "-o", scratch("y.bmp").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(".png, .svg or .pdf"), std::string::npos);
    EXPECT_EQ(runProcess({appPath("btgen"), "plot", "ccdf", "--rate", "nan", "-o", scratch("y.png").string()}).status, 2);
    // The dialog clamps a symbol delay; the command line refuses it.
    for (const std::string delay : {"1.5", "-0.1", "nan"}) {
        const fs::path out = scratch("d.png");
        fs::remove(out);
        r = runProcess({appPath("btgen"), "plot", "eye", "--delay", delay, "-o", out.string()});
        EXPECT_EQ(r.status, 2) << delay;
        EXPECT_NE(r.err.find("--delay"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("0 to 1"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(out)) << delay;
    }
    // A folder that does not exist: the name is right, the write fails.
    r = runProcess({appPath("btgen"), "plot", "ccdf", "-o", scratch("gone/y.png").string()});
    EXPECT_EQ(r.status, 5) << r.err;
}

TEST(BtgenPlot, RecordingsFromFiles) {
    if (!haveDrawing()) GTEST_SKIP() << "built without the windows";
    // A SigMF recording of a tone, complex float.
    const fs::path meta = scratch("tone.sigmf-meta");
    std::ofstream(meta) << R"({"global": {"core:datatype": "cf32_le", "core:sample_rate": 1000000}, "captures": []})";
    {
        std::ofstream d(scratch("tone.sigmf-data"), std::ios::binary);
        for (int k = 0; k < 5000; ++k) {
            const std::complex<float> z = std::polar(1.0f, 0.3f * static_cast<float>(k));
            d.write(reinterpret_cast<const char*>(&z), sizeof z);
        }
    }
    const fs::path out = scratch("tone.png");
    auto r = runProcess({appPath("btgen"), "plot", "spectrum", "--input", meta.string(), "-o", out.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(head(out, 4), "\x89PNG");
    // A waveform saved in the frame's Special Save layout.
    const fs::path mat = scratch("wave.mat");
    std::vector<double> cols(2000);
    for (std::size_t k = 0; k < 1000; ++k) {
        cols[k] = std::cos(0.1 * double(k));
        cols[1000 + k] = std::sin(0.1 * double(k));
    }
    bt::writeMatFile(mat, {{"wave", bt::MatValue::realMatrix(1000, 2, cols)}, {"sampleRate", bt::MatValue::scalar(2e6)}});
    r = runProcess({appPath("btgen"), "plot", "iq-overlay", "--input", mat.string(), "-o", scratch("wave.svg").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    // Its eye takes two samples a symbol from the file's rate; a rate that
    // is no whole number of samples a symbol is refused, whatever the
    // settings' oversampling.
    r = runProcess({appPath("btgen"), "plot", "eye", "--input", mat.string(), "-o", scratch("wave-eye.png").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    r = runProcess({appPath("btgen"), "plot", "scatter", "--input", mat.string(), "--rate", "2.5e6", "-o",
                    scratch("wave-scatter.png").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("whole number of samples per symbol"), std::string::npos) << r.err;
    r = runProcess({appPath("btgen"), "plot", "ccdf", "--input", scratch("missing.mat").string(), "-o", out.string()});
    EXPECT_EQ(r.status, 2);
}

TEST(BtgenPlot, RecordingsTheGenerateCommandWrote) {
    if (!haveDrawing()) GTEST_SKIP() << "built without the windows";
    for (const std::string type : {"cf32_le", "ci16_le"}) {
        const fs::path name = scratch("dh1-" + type);
        auto r = runProcess({appPath("btgen"), "generate", "--format", "sigmf", "--sigmf-type", type, "-o", name.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        fs::path meta = name;
        meta += ".sigmf-meta";
        const fs::path out = scratch("dh1-" + type + ".png");
        r = runProcess({appPath("btgen"), "plot", "eye", "--input", meta.string(), "-o", out.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(head(out, 4), "\x89PNG");
    }
}

// Damaged recordings: one sample that is not a number, infinite, or whose
// power overflows, and rates no plot can lay out. Each is refused (exit 2)
// with the reason, never a crash.
TEST(BtgenPlot, DamagedRecordingsAreRefused) {
    if (!haveDrawing()) GTEST_SKIP() << "built without the windows";
    const double bad[] = {std::nan(""), INFINITY, -1e154, 1e300};
    int k = 0;
    for (const double v : bad) {
        const fs::path mat = scratch("bad" + std::to_string(k++) + ".mat");
        std::vector<double> cols(2000, 0.5);
        cols[700] = v;
        bt::writeMatFile(mat, {{"wave", bt::MatValue::realMatrix(1000, 2, cols)}, {"sampleRate", bt::MatValue::scalar(2e6)}});
        for (const std::string kind : {"ccdf", "eye", "spectrum", "scatter"}) {
            const auto r = runProcess({appPath("btgen"), "plot", kind, "--input", mat.string(), "-o", scratch("bad.png").string()});
            EXPECT_EQ(r.status, 2) << kind << " " << v << ": " << r.err;
            EXPECT_NE(r.err.find("holds 1 of 1000 samples"), std::string::npos) << r.err;
        }
    }
    // Rates from the file: the smallest double and 1e30 (and --rate beyond
    // the same limits).
    for (const std::string rate : {"5e-324", "1e30", "0.5"}) {
        const fs::path meta = scratch("rate.sigmf-meta");
        std::ofstream(meta) << R"({"global": {"core:datatype": "cf32_le", "core:sample_rate": )" + rate +
                                   R"(}, "captures": []})";
        {
            std::ofstream d(scratch("rate.sigmf-data"), std::ios::binary);
            for (int j = 0; j < 3000; ++j) {
                const std::complex<float> z = std::polar(1.0f, 0.3f * static_cast<float>(j));
                d.write(reinterpret_cast<const char*>(&z), sizeof z);
            }
        }
        for (const std::string kind : {"waterfall", "scatter", "eye", "spectrum", "iq"}) {
            const auto r = runProcess({appPath("btgen"), "plot", kind, "--input", meta.string(), "-o", scratch("rate.png").string()});
            EXPECT_EQ(r.status, 2) << kind << " at " << rate << ": " << r.err;
            EXPECT_NE(r.err.find("outside 1 Hz to 1e12 Hz"), std::string::npos) << r.err;
        }
        // A rate given on the command line stands for the file's.
        const auto r = runProcess({appPath("btgen"), "plot", "waterfall", "--input", meta.string(), "--rate", "2e6", "-o",
                                   scratch("rate.png").string()});
        EXPECT_EQ(r.status, 0) << r.err;
    }
    EXPECT_EQ(runProcess({appPath("btgen"), "plot", "scatter", "--rate", "1e30", "-o", scratch("y.png").string()}).status, 2);
}

}  // namespace
