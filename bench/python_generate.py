"""btgen.generate of the largest waveform (DH1 packets of "Continuous PN15"
at 20 samples per symbol, 30.35 M samples), to set beside the in-process
C++ figure of generate_bench's BM_MultiPacketDH1Pn15/2:

    PYTHONPATH=build/python python3 bench/python_generate.py
    build/bench/generate_bench --benchmark_filter='BM_MultiPacketDH1Pn15/2'

Prints the best of five wall-clock times and the process's peak resident
memory against the size of the result."""
import resource
import time

import btgen

settings, _, _ = btgen.edit(btgen.default_settings(), multiPacket=1, payloadType=10, OverSampling=20)
times = []
for _ in range(5):
    start = time.perf_counter()
    waveform, markers = btgen.generate(settings)
    times.append(time.perf_counter() - start)
    result = waveform.nbytes + markers.nbytes
    del waveform, markers
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
print(f"samples: {btgen.size(settings):.0f}")
print(f"btgen.generate: best {min(times) * 1e3:.0f} ms, median {sorted(times)[2] * 1e3:.0f} ms")
print(f"peak RSS {peak / 1e6:.0f} MB for a {result / 1e6:.0f} MB result ({peak / result:.2f} x)")
