"""The module under hostile input and concurrent use: nesting that would
exhaust the stack, values no control takes, error texts that are not UTF-8,
and generations from several threads at once."""
import os
import random
import threading

import numpy as np
import pytest

import btgen


def test_concurrent_generations_keep_their_own_noise():
    seed0 = random.randrange(1, 60000)
    print("first seed", seed0)
    runs = []
    for k in range(8):
        s = btgen.default_settings()
        s, _, _ = btgen.edit(s, packetType=11, multiPacket=1, impairments__AWGNactive=1,
                             impairments__AWGNratio=15, impairments__AWGNseed=seed0 + k)
        runs.append(s)
    alone = [btgen.generate(s)[0].copy() for s in runs]
    for _ in range(2):
        together = [None] * len(runs)

        def work(k):
            together[k] = btgen.generate(runs[k])[0]

        threads = [threading.Thread(target=work, args=(k,)) for k in range(len(runs))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for k in range(len(runs)):
            assert np.array_equal(together[k], alone[k]), f"thread {k}, first seed {seed0}"


def nested_list(depth):
    inner = []
    outer = inner
    for _ in range(depth):
        inner.append([])
        inner = inner[0]
    return outer


def test_self_referential_and_deep_settings_are_refused():
    loop = []
    loop.append(loop)
    for bad in (loop, nested_list(100000)):
        s = btgen.default_settings()
        s["impairments"] = {"AWGNseed": bad}
        calls = [lambda: btgen.edit(s, packetType=4), lambda: btgen.generate(s), lambda: btgen.bits(s),
                 lambda: btgen.size(s), lambda: btgen.default_sig_gen(s), lambda: btgen.dirty_tx(s, sets=[1])]
        for call in calls:
            with pytest.raises(btgen.SettingsError, match="nested"):
                call()
        with pytest.raises(btgen.SettingsError, match="nested"):
            btgen.save_settings("/nonexistent/x.mat", btgen.default_settings(), sig_gen={"Title": bad})


def test_deeply_nested_metadata_is_refused(tmp_path):
    meta = tmp_path / "deep.sigmf-meta"
    np.zeros(100, np.complex64).tofile(tmp_path / "deep.sigmf-data")
    for depth in (30000, 5_000_000):
        meta.write_text('{"global": {"core:datatype": "cf32_le", "core:sample_rate": 2000000, "x": '
                        + "[" * depth + "]" * depth + '}, "captures": [], "annotations": []}')
        with pytest.raises(btgen.Error, match="nested more than 200 levels"):
            btgen.read_recording(str(meta))


def test_values_no_control_takes_raise_settings_errors():
    s = btgen.default_settings()
    for value in (None, [1], b"12", 1 + 2j, 10 ** 400, float("nan"), float("inf")):
        for field in ("BDaddr", "AMaddr", "packetType", "impairments__AWGNratio"):
            with pytest.raises(btgen.SettingsError):
                btgen.edit(s, **{field: value})
    # An integer too large for any field inside the dict itself.
    s["packetType"] = 10 ** 400
    with pytest.raises(btgen.SettingsError, match="too large"):
        btgen.generate(s)


def test_error_text_that_is_not_utf8_arrives(tmp_path):
    name = os.fsencode(str(tmp_path)) + b"/missing-\xff\xfe.sigmf-meta"
    with pytest.raises(btgen.Error) as e:
        btgen.read_recording(name)
    assert "missing-" in str(e.value)


def test_recordings_read_a_stretch_at_a_time(tmp_path):
    s = btgen.default_settings()
    s, _, _ = btgen.edit(s, packetType=11)
    meta = btgen.write_sigmf(str(tmp_path / "rec"), s)[0]
    whole = btgen.read_recording(meta)
    n = whole["waveform"].shape[1]
    part = btgen.read_recording(meta, offset=1000, count=500)
    assert np.array_equal(part["waveform"], whole["waveform"][:, 1000:1500])
    assert np.array_equal(part["markers"], whole["markers"][:, 1000:1500])
    tail = btgen.read_recording(meta, offset=n - 10, count=100)
    assert tail["waveform"].shape == (1, 10)
    with pytest.raises(btgen.Error, match="beyond"):
        btgen.read_recording(meta, offset=n + 1, count=1)
    # A capture larger than one read (sparse: nothing is written) is read
    # a stretch at a time.
    big = tmp_path / "big.ci16"
    with open(big, "wb") as f:
        f.truncate(4 * 100_000_001)
    with pytest.raises(btgen.Error, match="offset= and count="):
        btgen.read_recording(str(big), format="ci16")
    stretch = btgen.read_recording(str(big), format="ci16", offset=99_000_000, count=1000)
    assert stretch["waveform"].shape == (1, 1000) and not stretch["waveform"].any()
    # Arguments no reader takes are said in the module's words.
    for bad in (dict(count=-1), dict(offset=-1), dict(count=10 ** 30), dict(count=1.5), dict(offset="x"),
                dict(count=True), dict(rate="x"), dict(rate=1j), dict(mat_limit=b"1"), dict(mat_limit=float("nan"))):
        with pytest.raises(btgen.Error, match="offset|count|rate|mat_limit|sample rate"):
            btgen.read_recording(meta, **bad)
    assert btgen.read_recording(meta, offset=np.int64(5), count=np.uint32(3))["waveform"].shape == (1, 3)


def test_a_dataset_of_another_recording_is_refused(tmp_path):
    s = btgen.default_settings()
    a = btgen.write_sigmf(str(tmp_path / "a"), s)
    s, _, _ = btgen.edit(s, impairments__AWGNactive=1)
    b = btgen.write_sigmf(str(tmp_path / "b"), s)
    os.replace(b[1], a[1])
    with pytest.raises(btgen.Error, match="do not belong together"):
        btgen.read_recording(a[0])
    assert btgen.read_recording(a[0], verify=False)["waveform"].shape[1] > 0


# Reads under an address-space limit a little above what the interpreter
# holds already (set in a child, after the imports): a stretch of a 10 GiB
# capture, and a compressed MAT-file whose data unpack to 480 MB, are read
# or refused within the room left, never ending the process.
LIMITED = r"""
import resource, struct, sys, zlib
import numpy as np
import btgen

def status_kb(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])

raw, mat = sys.argv[1], sys.argv[2]
n = 60_000_000
name = b"waveform"
body = (struct.pack("<II", 6, 8) + struct.pack("<II", 6, 0) + struct.pack("<II", 5, 8) + struct.pack("<ii", 1, n)
        + struct.pack("<II", 1, len(name)) + name + struct.pack("<II", 9, 8 * n))
c = zlib.compressobj(1)
parts = [c.compress(struct.pack("<II", 14, len(body) + 8 * n) + body)]
zeros = bytes(1 << 24)
left = 8 * n
while left:
    k = min(left, len(zeros))
    parts.append(c.compress(zeros[:k]))
    left -= k
parts.append(c.flush())
data = b"".join(parts)
del parts, zeros
head = b"MATLAB 5.0 MAT-file".ljust(116, b" ") + bytes(8) + struct.pack("<H", 0x0100) + b"IM"
with open(mat, "wb") as f:
    f.write(head + struct.pack("<II", 15, len(data)) + data)
del data

room = 640 << 20
limit = status_kb("VmSize") * 1024 + room
resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
try:
    btgen.read_recording(raw, format="raw")
    print("whole read")
except btgen.Error as e:
    print("whole refused" if "offset= and count=" in str(e) else "whole: " + str(e))
part = btgen.read_recording(raw, format="raw", offset=2_000_000_000, count=4_000_000)
print("stretch", part["waveform"].shape, part["markers"].shape, int(part["markers"][0].sum()),
      int(part["markers"][1].sum()))
del part
try:
    btgen.read_recording(mat, rate=2e6)
    print("mat read")
except btgen.Error as e:
    print("mat refused" if "too large to read" in str(e) else "mat: " + str(e))
# Allowed more than the room holds: a memory error, never a crash.
try:
    btgen.read_recording(mat, rate=2e6, mat_limit=4e9)
    print("mat read with the limit raised")
except (btgen.Error, MemoryError) as e:
    print("mat failed:", type(e).__name__)
print("done")
"""


def test_reads_stay_within_a_memory_limit(tmp_path):
    import subprocess
    import sys
    raw = tmp_path / "big.raw"
    samples = (10 << 30) // 4
    with open(raw, "wb") as f:
        f.truncate(4 * samples)
    # A sparse marker file of one byte a sample, with both rows set just
    # inside the stretch read.
    with open(str(raw) + ".markers", "wb") as f:
        f.truncate(samples)
        f.seek(2_000_000_000 + 10)
        f.write(bytes([3, 1, 2]))
    env = dict(os.environ, OPENBLAS_NUM_THREADS="1", OMP_NUM_THREADS="1")
    r = subprocess.run([sys.executable, "-c", LIMITED, str(raw), str(tmp_path / "bomb.mat")],
                       capture_output=True, text=True, env=env, timeout=240)
    assert r.returncode == 0, r.stdout + r.stderr
    lines = r.stdout.splitlines()
    assert lines == ["whole refused", "stretch (1, 4000000) (2, 4000000) 2 2", "mat refused",
                     "mat failed: " + lines[3].split(": ")[-1], "done"], r.stdout + r.stderr
    assert lines[3] in ("mat failed: MemoryError", "mat failed: Error"), r.stdout
