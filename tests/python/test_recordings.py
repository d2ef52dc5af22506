"""Recordings read back with btgen.read_recording: what the command line
wrote (SigMF as cf32_le and ci16_le, MAT-files, the dirty-transmitter
matrix) against what btgen.generate and btgen.dirty_tx return."""
import os
import subprocess

import numpy as np
import pytest

import btgen

BTGEN = os.environ.get("BTGEN_EXE", "btgen")


def run_btgen(*args):
    r = subprocess.run([BTGEN, *args], capture_output=True, text=True, check=False)
    assert r.returncode == 0, r.stderr
    return r


def shared_views(rec):
    for a in (rec["waveform"], rec["markers"]):
        assert not a.flags["OWNDATA"] and type(a.base).__name__ == "PyCapsule"
    assert rec["markers"].base is rec["waveform"].base


@pytest.mark.parametrize("datatype", ["cf32_le", "ci16_le"])
def test_sigmf_recording_reads_back_as_generated(tmp_path, datatype):
    edits = {"packetType": 11, "impairments.FreqOffsetActive": 1, "impairments.FreqOffset": 40}
    settings = btgen.default_settings()
    for field, value in edits.items():
        settings, _, _ = btgen.edit(settings, **{field.replace(".", "__"): value})
    waveform, markers = btgen.generate(settings)
    run_btgen("generate", "--format", "sigmf", "--sigmf-type", datatype, "-o", str(tmp_path / "rec"),
              *[a for f, v in edits.items() for a in ("--set", f"{f}={v}")])

    rec = btgen.read_recording(str(tmp_path / "rec.sigmf-meta"))
    assert rec["kind"] == f"SigMF ({datatype})"
    assert rec["waveform"].shape == waveform.shape and rec["waveform"].dtype == np.complex128
    if datatype == "cf32_le":
        assert np.array_equal(rec["waveform"], waveform.astype(np.complex64))
    else:
        # The instrument's scaling: largest component 32766, read back with
        # full scale 32767 as 1; within half a step of the rounding.
        gain = 32766 / max(np.abs(waveform.real).max(), np.abs(waveform.imag).max())
        assert np.abs(rec["waveform"] * 32767 - waveform * gain).max() <= 0.5 * np.sqrt(2) + 1e-9
    assert np.array_equal(rec["markers"], markers)
    shared_views(rec)
    assert rec["rate"] == 10e6 and rec["rate_source"] == "core:sample_rate"
    assert rec["frequency"] == btgen.default_sig_gen(settings)["Frequency"]
    assert rec["metadata"]["global"]["core:datatype"] == datatype
    assert [a["core:label"] for a in rec["annotations"]] == ["DH3"]
    assert rec["annotations"] == rec["metadata"]["annotations"]

    # The dataset's name and the base name are the same recording; a rate
    # given overrides the file's.
    for name in ("rec.sigmf-data", "rec"):
        again = btgen.read_recording(str(tmp_path / name), rate=4e6)
        assert np.array_equal(again["waveform"], rec["waveform"]) and again["rate"] == 4e6

    # The receiver measures the read recording as it was set.
    report = btgen.measure(rec["waveform"][0], rec["rate"])
    packets = report["recordings"][0]["packets"]
    assert len(packets) == 1 and packets[0]["ok"] and packets[0]["type_name"] == "DH3"
    assert report["summary"]["carrier_offset"] == pytest.approx(40e3, abs=2e3)


def test_mat_file_reads_back_bit_for_bit(tmp_path):
    settings, _, _ = btgen.edit(btgen.default_settings(), OverSampling=4, impairments__AWGNactive=1,
                                impairments__AWGNratio=20)
    waveform, markers = btgen.generate(settings)
    run_btgen("generate", "-o", str(tmp_path / "w.mat"), "--set", "OverSampling=4",
              "--set", "impairments.AWGNactive=1", "--set", "impairments.AWGNratio=20")
    rec = btgen.read_recording(str(tmp_path / "w.mat"))
    assert rec["kind"] == "MAT-file" and rec["labels"] == ["waveform"]
    assert np.array_equal(rec["waveform"], waveform)
    assert np.array_equal(rec["markers"], markers)
    shared_views(rec)
    assert rec["rate"] == 4e6 and rec["rate_source"] == "symbol clock marker"
    assert rec["frequency"] is None and rec["metadata"] is None and rec["annotations"] is None


def test_dirty_tx_matrix_rows(tmp_path):
    settings = btgen.default_settings()
    segments = btgen.dirty_tx(settings, sets=[3, 7], packet="DH1")
    run_btgen("dirty-tx", "--calculate", "--sets", "3,7", "--packet", "DH1", "-o", str(tmp_path / "dt.mat"))
    rec = btgen.read_recording(str(tmp_path / "dt.mat"))
    assert rec["labels"] == ["dtWaveform row 3", "dtWaveform row 7"]
    n = segments[3][0].shape[1]
    assert rec["waveform"].shape == (2, n) and rec["markers"].shape == (4, n)
    for k, s in enumerate((3, 7)):
        waveform, markers = segments[s]
        assert np.array_equal(rec["waveform"][k], waveform[0])
        assert np.array_equal(rec["markers"][2 * k:2 * k + 2], markers)
    assert rec["rate"] == 10e6 and rec["rate_source"] == "SamplingRate in the file"


def test_unreadable_recordings_raise_the_command_lines_texts(tmp_path):
    with pytest.raises(btgen.Error, match="cannot be opened"):
        btgen.read_recording(str(tmp_path / "missing.mat"))
    (tmp_path / "bad.sigmf-meta").write_text("{ not json")
    with pytest.raises(btgen.Error, match="is not valid JSON"):
        btgen.read_recording(str(tmp_path / "bad.sigmf-meta"))
    (tmp_path / "odd.sigmf-meta").write_text('{"global": {"core:datatype": "ri8"}}')
    with pytest.raises(btgen.Error, match="cf32_le and ci16_le are read"):
        btgen.read_recording(str(tmp_path / "odd.sigmf-meta"))
    (tmp_path / "text.mat").write_text("not a MAT-file")
    with pytest.raises(btgen.Error):
        btgen.read_recording(str(tmp_path / "text.mat"))
    with pytest.raises(btgen.Error, match="raw, cf32 or ci16"):
        btgen.read_recording(str(tmp_path / "text.mat"), format="wav")

    # Raw little-endian samples with no rate in them.
    (tmp_path / "cap.bin").write_bytes(np.array([1, -1, 0.5, 0], dtype=np.float32).tobytes())
    rec = btgen.read_recording(str(tmp_path / "cap.bin"), format="cf32")
    assert np.array_equal(rec["waveform"], [[1 - 1j, 0.5]]) and rec["rate"] is None and rec["markers"] is None
