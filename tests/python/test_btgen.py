"""The Python module against the command line, numpy, scipy and the
instrument simulator: the same samples as btgen's MAT-file, arrays that
share the generator's memory, settings screened and refused with the
command line's texts."""
import json
import os
import subprocess

import numpy as np
import pytest

import btgen

BTGEN = os.environ.get("BTGEN_EXE", "btgen")
IXO_SIM = os.environ.get("IXO_SIM_EXE", "ixo-sim")
SIGMF_DIR = os.environ.get("BTGEN_SIGMF_DIR", "")


def run_btgen(*args):
    return subprocess.run([BTGEN, *args], capture_output=True, text=True, check=False)


@pytest.fixture
def settings():
    return btgen.default_settings()


def test_generation_equals_the_command_line_bit_for_bit(settings, tmp_path):
    scipy_io = pytest.importorskip("scipy.io")
    edits = {"packetType": 11, "multiPacket": 1, "OverSampling": 4, "dataWhiteningActive": 1,
             "impairments.AWGNactive": 1, "impairments.AWGNratio": 25}
    s = settings
    for field, value in edits.items():
        s, shown, _ = btgen.edit(s, **{field.replace(".", "__"): value})
        assert field in shown
    waveform, markers = btgen.generate(s)

    out = tmp_path / "w.mat"
    r = run_btgen("generate", "-o", str(out), *[a for f, v in edits.items() for a in ("--set", f"{f}={v}")])
    assert r.returncode == 0, r.stderr
    mat = scipy_io.loadmat(out)
    assert waveform.shape == mat["waveform"].shape and waveform.dtype == np.complex128
    assert markers.shape == mat["markers"].shape and markers.dtype == np.uint8
    assert np.array_equal(waveform, mat["waveform"])
    assert np.array_equal(markers, mat["markers"])
    assert btgen.size(s) == waveform.shape[1]


def test_arrays_are_views_of_the_generated_signal(settings):
    waveform, markers = btgen.generate(settings)
    for a in (waveform, markers):
        assert not a.flags["OWNDATA"]
        assert type(a.base).__name__ == "PyCapsule"
        assert not a.flags["WRITEABLE"]
    assert markers.base is waveform.base
    # The rows stay valid while any array holds them.
    row2 = markers[1]
    del waveform, markers
    assert row2.sum() > 0 and set(np.unique(row2)) <= {0, 1}
    with pytest.raises(ValueError):
        row2[0] = 1


def test_an_impaired_waveform_measures_as_set(settings):
    s, _, _ = btgen.edit(settings, impairments__FreqOffsetActive=1, impairments__FreqOffset=60,
                         impairments__ModIndexActive=1, impairments__ModIndex=0.3)
    waveform, markers = btgen.generate(s)
    plain, _ = btgen.generate(btgen.edit(s, impairments__FreqOffsetActive=0)[0])

    # Independently of any receiver: the mean instantaneous frequency over
    # the burst (where the symbol clock runs) moves by the offset.
    def mean_frequency(w):
        on = np.flatnonzero(markers[0])
        return np.angle(w[on[0] + 1:on[-1]] * np.conj(w[on[0]:on[-1] - 1])).mean() * 10e6 / (2 * np.pi)

    assert mean_frequency(waveform[0]) - mean_frequency(plain[0]) == pytest.approx(60e3, abs=100)
    report = btgen.measure(waveform, 10e6)
    packets = report["recordings"][0]["packets"]
    assert len(packets) == 1 and packets[0]["ok"] and packets[0]["type_name"] == "DH1"
    assert report["summary"]["carrier_offset"] == pytest.approx(60e3, abs=2e3)
    assert report["summary"]["modulation_index"] == pytest.approx(0.3, abs=0.005)


def test_esco_dv_and_fhs_packets(settings):
    # linkType 3 is eSCO; EV5 13, EV4 12, DV 8 on SCO, FHS 2 on any link.
    for link, code, name in ((3, 13, "EV5"), (3, 12, "EV4"), (1, 8, "DV"), (2, 2, "FHS")):
        edited, shown, _ = btgen.edit(settings, linkType=link, packetType=code, dataWhiteningActive=1)
        assert shown["packetType"].endswith(name)
        waveform, _ = btgen.generate(edited)
        packets = btgen.measure(waveform, 10e6)["recordings"][0]["packets"]
        assert [(p["ok"], p["type_name"]) for p in packets] == [(True, name)]


def test_iq_impairments_and_edr_power_seen_in_the_samples(settings):
    # A DH5 at full power, with and without the I/Q front end's faults, read
    # with numpy alone: the gain imbalance in the ratio of the I and Q
    # powers, the carrier leakage as the shift of the mean, at 45 degrees.
    base, _, _ = btgen.edit(settings, packetType="DH5")
    plain, _ = btgen.generate(base)
    full = np.abs(np.abs(plain[0]) - 1) < 1e-9  # between the ramps

    def iq_ratio_db(w):
        return 10 * np.log10(np.mean(w[full].real ** 2) / np.mean(w[full].imag ** 2))

    s, shown, notes = btgen.edit(base, impairments__GainImbalanceActive=1, impairments__GainImbalance=1.237)
    assert shown["impairments.GainImbalance"] == "1.24" and not notes  # two decimals, as the window keeps it
    imbalanced, _ = btgen.generate(s)
    # 20 log10(gI / gQ) dB is the ratio of the powers in dB.
    assert iq_ratio_db(imbalanced[0]) - iq_ratio_db(plain[0]) == pytest.approx(1.24, abs=1e-3)

    s, _, _ = btgen.edit(base, impairments__CarrierLeakageActive=1, impairments__CarrierLeakage=-26.5)
    leaky, _ = btgen.generate(s)
    dc = np.mean(leaky[0][full] - plain[0][full])
    assert 20 * np.log10(abs(dc)) == pytest.approx(-26.5, abs=0.01)
    assert np.degrees(np.angle(dc)) == pytest.approx(45, abs=0.1)
    s, _, notes = btgen.edit(base, impairments__CarrierLeakageActive=1, impairments__CarrierLeakage=-5)
    assert s["impairments"]["CarrierLeakage"] == -10  # clamped to the range

    # The EDR section's power against the GFSK part's: a 3-DH5 at -3 dB,
    # the access code and header (constant envelope) against the middle of
    # the DPSK payload. A basic-rate packet takes no relative power.
    s, _, notes = btgen.edit(settings, linkType="ACL", packetType="3-DH5", edrRelativePower=-3)
    assert not notes and s["edrRelativePower"] == -3
    w = btgen.generate(s)[0][0]
    per_us = int(s["OverSampling"])
    on = np.flatnonzero(np.abs(w) > 0.999)
    gfsk = w[on[0] + 5 * per_us:on[0] + 115 * per_us]
    dpsk = w[on[0] + 160 * per_us:np.flatnonzero(np.abs(w) > 0.01)[-1] - 40 * per_us]
    assert np.allclose(np.abs(gfsk), 1)
    assert 10 * np.log10(np.mean(np.abs(dpsk) ** 2)) == pytest.approx(-3, abs=0.1)
    _, _, notes = btgen.edit(settings, edrRelativePower=-3)
    assert notes == ["edrRelativePower ignored: only EDR packets have a DPSK section"]


def test_malformed_settings_raise_with_the_command_lines_texts(settings, tmp_path):
    with pytest.raises(btgen.SettingsError, match="There is no settings field nope"):
        btgen.generate({**settings, "nope": 1})
    with pytest.raises(btgen.SettingsError, match="OverSampling must be a number"):
        btgen.generate({**settings, "OverSampling": "ten"})
    with pytest.raises(btgen.SettingsError, match="OverSampling is 3.5"):
        btgen.generate({**settings, "OverSampling": 3.5})
    with pytest.raises(ValueError):  # a SettingsError is a ValueError too
        btgen.size({**settings, "linkType": 7})
    with pytest.raises(btgen.SettingsError, match='Value "x" of OverSampling is not a number'):
        btgen.edit(settings, OverSampling="x")

    args = ["--platform", "b", "--set", "multiPacket=1", "--set", "payloadType=10"]
    cli = run_btgen("generate", "-o", str(tmp_path / "x.raw"), *args)
    assert cli.returncode == 2
    with pytest.raises(btgen.SettingsRefused) as refused:
        btgen.edit(settings, multiPacket=1, payloadType=10, platform="b")
    assert str(refused.value) in cli.stderr
    assert isinstance(refused.value, btgen.Error)

    missing = str(tmp_path / "none.bin")
    with pytest.raises(btgen.Error) as e:
        btgen.generate(settings, user_file=missing)
    assert str(e.value) in run_btgen("generate", "--user-file", missing, "-o", str(tmp_path / "y")).stderr


def test_list_fields_take_names_as_the_command_line_does(settings):
    named, _, _ = btgen.edit(settings, linkType="acl", packetType="dh5", multiPacket="Multi",
                             payloadType="pn9", impairments__FreqDriftType="SINUSOIDAL")
    coded, _, _ = btgen.edit(settings, linkType=2, packetType=15, multiPacket=1, payloadType=5,
                             impairments__FreqDriftType=2)
    assert named == coded
    assert btgen.edit(settings, generationMode="stream")[0]["generationMode"] == 2
    with pytest.raises(btgen.SettingsError) as e:
        btgen.edit(settings, packetType="DH7")
    cli = run_btgen("size", "--set", "packetType=DH7")
    assert cli.returncode == 2 and str(e.value) in cli.stderr
    assert "DH5 (15)" in str(e.value)


def test_settings_files_and_user_data(settings, tmp_path):
    s, _, _ = btgen.edit(settings, packetType=15, BDaddr=0x123456789ABC)
    path = str(tmp_path / "s.bt")
    btgen.save_settings(path, s)
    loaded, sig_gen = btgen.load_settings(path)
    assert loaded == s
    assert sig_gen["SamplingRate"] == 10e6
    with pytest.raises(btgen.Error):
        btgen.load_settings(str(tmp_path / "missing.bt"))

    data = bytes(range(40))
    (tmp_path / "u.bin").write_bytes(data)
    rows = btgen.bits(btgen.edit(settings, user_file=str(tmp_path / "u.bin"), payloadType=8)[0])
    assert len(rows) == 1 and rows[0].dtype == np.uint8
    waveform, _ = btgen.generate(settings, user_file=str(tmp_path / "u.bin"))
    assert waveform.shape[1] == 12500


def test_dirty_tx_sets(settings):
    segments = btgen.dirty_tx(settings, sets=[2, 9], packet="DH1")
    assert sorted(segments) == [2, 9]
    waveform, markers = segments[9]
    assert waveform.shape == (1, 25000) and markers.shape == (2, 25000)
    assert not waveform.flags["OWNDATA"] and markers.base is waveform.base
    assert np.abs(waveform).max() > 0


def test_sigmf_recording(settings, tmp_path):
    files = btgen.write_sigmf(str(tmp_path / "rec"), settings, datatype="ci16_le")
    assert files[0].endswith("rec.sigmf-meta")
    meta = json.load(open(files[0]))
    assert meta["global"]["core:datatype"] == "ci16_le"
    assert len(meta["annotations"]) == 1 and meta["annotations"][0]["core:label"] == "DH1"
    schema = os.path.join(SIGMF_DIR, "sigmf-schema.json")
    if not os.path.exists(schema):
        pytest.skip(f"the SigMF schema is not at {schema}")
    jsonschema = pytest.importorskip("jsonschema")
    jsonschema.Draft202012Validator(json.load(open(schema))).validate(meta)


@pytest.fixture
def simulator():
    sim = subprocess.Popen([IXO_SIM, "--port", "0"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        port = int(sim.stdout.readline())
        yield f"127.0.0.1:{port}"
    finally:
        sim.terminate()
        sim.wait(timeout=10)


def test_download_to_the_simulator(settings, simulator):
    instrument = btgen.Instrument(simulator)
    assert "IXO" in instrument.idn() or instrument.idn()
    s, _, _ = btgen.edit(settings, multiPacket=1)
    waveform, markers = btgen.generate(s)
    instrument.download(waveform, markers, "PYBT")
    catalog = instrument.query(":MEM:CAT?")
    assert "PYBT" in catalog
    # Arrays of the script's own are taken too.
    instrument.download(np.ones((1, 100), complex), np.zeros((2, 100), np.uint8), "ONES")
    assert "ONES" in instrument.query(":MEM:CAT?")
    sig_gen = btgen.default_sig_gen(s)
    sig_gen["Title"] = "PYBT"
    instrument.play(s, sig_gen)
    with pytest.raises(btgen.InstrumentError) as e:
        btgen.Instrument("127.0.0.1:1").idn()
    assert e.value.status != 0
