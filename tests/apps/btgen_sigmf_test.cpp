// btgen's SigMF recordings read by independent readers: every metadata file
// validated against the SigMF schema (python3-jsonschema), the dataset read
// with numpy and compared with the MAT output read by scipy, the checksum
// recomputed with hashlib.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/files.h"
#include "support/process.h"

namespace {

using bttest::ScratchDir;

using testsupport::btgen;

// The schema lives beside the repository.
std::filesystem::path schemaFile() { return std::filesystem::path(BTGEN_SIGMF_DIR) / "sigmf-schema.json"; }

// Validates every metadata file given after the schema; prints "ok" or the
// first error, or "skip: ..." without jsonschema.
constexpr const char* kValidate = R"(
import sys, json
try:
    import jsonschema
except ImportError:
    print('skip: no python3-jsonschema'); sys.exit(0)
schema = json.load(open(sys.argv[1]))
validator = jsonschema.Draft202012Validator(schema)
for name in sys.argv[2:]:
    errors = sorted(validator.iter_errors(json.load(open(name))), key=str)
    if errors:
        print(name, errors[0].message); sys.exit(1)
print('ok')
)";

void expectValid(const std::vector<std::string>& metaFiles) {
    std::vector<std::string> args = {schemaFile().string()};
    args.insert(args.end(), metaFiles.begin(), metaFiles.end());
    const auto r = bttest::runPython(kValidate, args);
    if (r.output.starts_with("skip")) GTEST_SKIP() << r.output;
    EXPECT_EQ(r.output, "ok\n");
}

class BtgenSigmf : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(schemaFile()))
            GTEST_SKIP() << "the SigMF schema is not at " << schemaFile().string();
        if (!bttest::scipyPython()) GTEST_SKIP() << "no python3 with scipy";
    }
    ScratchDir dir;
};

// A multi-packet sequence as MAT-file and as both SigMF sample types: the
// datasets hold the MAT samples (as 32-bit floats, and with the
// instrument's 16-bit scaling), the marker file the MAT markers, the
// checksum matches, and there is one annotation per packet.
TEST_F(BtgenSigmf, DatasetsHoldTheMatSamples) {
    const std::vector<std::string> settings = {"--set", "multiPacket=1", "--set", "OverSampling=4", "--set",
                                               "impairments.AWGNactive=1", "--set", "impairments.AWGNratio=20"};
    const auto run = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {"generate"};
        args.insert(args.end(), settings.begin(), settings.end());
        args.insert(args.end(), extra.begin(), extra.end());
        const auto r = btgen(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    };
    run({"-o", (dir / "w.mat").string()});
    const std::string out = run({"--format", "sigmf", "-o", (dir / "f").string()});
    EXPECT_NE(out.find("wrote " + (dir / "f.sigmf-meta").string()), std::string::npos) << out;
    EXPECT_NE(out.find("packets: 20\n"), std::string::npos) << out;
    run({"--sigmf-type", "ci16_le", "-o", (dir / "i.sigmf-meta").string()});
    expectValid({(dir / "f.sigmf-meta").string(), (dir / "i.sigmf-meta").string()});

    const auto py = bttest::runPython(R"(
import sys, json, hashlib, numpy as np, scipy.io
d = sys.argv[1]
m = scipy.io.loadmat(d + '/w.mat')
w, k = m['waveform'][0], m['markers']
for name, dtype in (('f', '<c8'), ('i', '<i2')):
    meta = json.load(open(d + '/' + name + '.sigmf-meta'))
    g = meta['global']
    assert g['core:datatype'] == {'f': 'cf32_le', 'i': 'ci16_le'}[name], g['core:datatype']
    assert g['core:sample_rate'] == 4e6 and meta['captures'][0]['core:frequency'] == 2402e6
    raw = open(d + '/' + name + '.sigmf-data', 'rb').read()
    assert hashlib.sha512(raw).hexdigest() == g['core:sha512']
    x = np.frombuffer(raw, dtype=dtype)
    if name == 'f':
        assert len(x) == len(w) and (x == w.astype(np.complex64)).all()
    else:
        peak = max(np.abs(w.real).max(), np.abs(w.imag).max())
        x = x.reshape(-1, 2)
        assert len(x) == len(w)
        assert (x[:, 0] == np.round(w.real * 32766 / peak)).all() and (x[:, 1] == np.round(w.imag * 32766 / peak)).all()
    marks = np.fromfile(d + '/' + g['btgen:markers']['file'], dtype=np.uint8)
    assert (marks & 1 == k[0]).all() and (marks >> 1 == k[1]).all()
    a = meta['annotations']
    assert len(a) == 20 and [p['btgen:packet']['SEQN'] for p in a] == [1, 0] * 10
    assert all(p['core:sample_start'] + p['core:sample_count'] <= len(w) for p in a)
    assert g['btgen:settings']['fileParameters']['multiPacket'] == 1
print('ok')
)",
                                      {dir.path().string()});
    EXPECT_EQ(py.output, "ok\n");
}

// The dirty-transmitter sequence as one recording per selected set.
TEST_F(BtgenSigmf, DirtyTransmitterSetsAreRecordings) {
    const auto r = btgen({"dirty-tx", "--calculate", "--sets", "3,7", "--format", "sigmf", "--sigmf-type", "ci16_le",
                          "-o", (dir / "dt").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string set3 = (dir / "dt-set3.sigmf-meta").string();
    const std::string set7 = (dir / "dt-set7.sigmf-meta").string();
    EXPECT_NE(r.out.find("wrote " + set7), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "dt-set1.sigmf-meta"));
    expectValid({set3, set7});
    const auto py = bttest::runPython(R"(
import sys, json
for name, offset in ((sys.argv[1], -2e3), (sys.argv[2], -42e3)):
    meta = json.load(open(name))
    a = meta['annotations']
    assert len(a) == 2 and a[0]['core:label'] == 'DH1', a
    assert a[0]['btgen:packet']['impairments']['freq_offset_hz'] == offset
    assert a[0]['core:freq_lower_edge'] == 2402e6 + offset - 0.5e6
    assert meta['global']['core:description'].startswith('Dirty transmitter test set')
print('ok')
)",
                                      {set3, set7});
    EXPECT_EQ(py.output, "ok\n");
}

}  // namespace
