"""btgen.Radio against the loopback radio (a SoapySDR module built with the
tests): a waveform played into it is captured back as numpy samples and
every packet decodes, with the loopback's frequency offset measured."""
import os
import _thread
import random
import threading

import numpy as np
import pytest

import btgen

LOOPBACK_DIR = os.environ.get("BTGEN_LOOPBACK_DIR", "")
pytestmark = pytest.mark.skipif(not LOOPBACK_DIR, reason="the loopback radio is not built")


@pytest.fixture
def air(tmp_path, monkeypatch):
    # Only the test's own module folder, read when SoapySDR first looks.
    monkeypatch.setenv("SOAPY_SDR_PLUGIN_PATH", LOOPBACK_DIR)
    seed = random.randrange(1 << 31)
    print("noise seed", seed)
    return f"driver=btloop,loop={tmp_path / 'air.cf32'},seed={seed}", seed


def prbs9_hex(count):
    """x^9 + x^5 + 1 from all ones, least significant bit first."""
    reg, out = 0x1FF, []
    for _ in range(count):
        byte = 0
        for k in range(8):
            byte |= (reg & 1) << k
            reg = (reg >> 1) | (((reg ^ (reg >> 4)) & 1) << 8)
        out.append(f"{byte:02X}")
    return "".join(out)


def test_played_packets_come_back_as_samples_that_decode(air):
    args, seed = air
    offset = random.Random(seed).uniform(-30e3, 30e3)
    settings = btgen.default_settings()
    sig_gen = btgen.default_sig_gen(settings)
    waveform, _ = btgen.generate(settings)
    tx = btgen.Radio(args)
    assert "btloop" in tx.description
    # The loopback offers 8 MHz, not the waveform's 10: resampled.
    played = tx.play(waveform, sig_gen["SamplingRate"], 2430e6, gain=0, repeat=4)
    assert played["device_rate"] == 8e6
    assert played["repetitions"] == pytest.approx(4) and played["underflows"] == 0
    tx.close()

    rx = btgen.Radio(args + f",offset={offset},noise=-35,gain=-6")
    got = rx.capture(0.0055, 4e6, 2430e6)
    samples = got["samples"]
    assert samples.dtype == np.complex64 and got["rate"] == 4e6 and got["overflows"] == 0
    assert len(samples) >= 0.0055 * 4e6
    assert np.max(np.abs(samples)) <= 1

    packets = btgen.measure(samples, got["rate"])["recordings"][0]["packets"]
    assert len(packets) == 4, packets
    for p in packets:
        assert p["ok"] and p["payload"] == prbs9_hex(27)
        assert abs(p["measurements"]["carrier_offset"] - offset) < 3e3, f"seed {seed}"


def test_streaming_leaves_python_running(air):
    args, _ = air
    btgen.Radio(args).play(np.full(20000, 0.5 + 0j), 4e6, 2402e6)
    ticks = 0
    done = threading.Event()

    def count():
        nonlocal ticks
        while not done.is_set():
            ticks += 1

    t = threading.Thread(target=count)
    t.start()
    try:
        got = btgen.Radio(args + ",realtime=1,cyclic=1").capture(0.2, 4e6, 2402e6)
    finally:
        done.set()
        t.join()
    assert len(got["samples"]) >= 0.2 * 4e6
    assert ticks > 1000  # the counting thread ran while the capture streamed


def test_ctrl_c_stops_a_loop_and_the_radio_plays_again(air):
    args, _ = air
    r = btgen.Radio(args + ",realtime=1")
    burst = np.full(8000, 0.5 + 0j)
    timer = threading.Timer(0.4, _thread.interrupt_main)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        r.play(burst, 4e6, 2402e6, repeat=None)
    timer.join()
    # The stream was stopped, not abandoned: the same radio streams again.
    assert r.play(burst, 4e6, 2402e6, repeat=3)["repetitions"] == pytest.approx(3)


def test_failures_are_exceptions_with_the_back_ends_words(air):
    args, _ = air
    assert any("btloop" in d["args"] for d in btgen.list_radios())
    with pytest.raises(btgen.RadioError) as e:
        btgen.Radio("driver=nosuchradio")
    assert "nosuchradio" in str(e.value) and e.value.status == 2
    r = btgen.Radio(args)
    with pytest.raises(btgen.RadioError, match="LO offset"):
        r.play(np.ones(1000, complex), 4e6, 2402e6, lo_offset=5e6)
    with pytest.raises(btgen.RadioError, match="empty"):
        r.play(np.zeros(0, complex), 4e6, 2402e6)
    with pytest.raises(btgen.Error, match="repeat"):
        r.play(np.ones(1000, complex), 4e6, 2402e6, repeat=0)
    with pytest.raises(btgen.Error, match="frequency"):
        r.capture(0.1, 4e6, -1)
    with pytest.raises(btgen.Error, match="at most"):
        r.capture(1e6, 4e6, 2402e6)
