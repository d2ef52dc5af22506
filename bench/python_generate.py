"""btgen.generate of the largest waveform (DH1 packets of "Continuous PN15"
at 20 samples per symbol, 30.35 M samples), to set beside the in-process
C++ figure of generate_bench's BM_MultiPacketDH1Pn15/2:

    PYTHONPATH=build/python python3 bench/python_generate.py
    build/bench/generate_bench --benchmark_filter='BM_MultiPacketDH1Pn15/2/'

prints the best of five wall-clock times and the process's peak resident
memory against the size of the result.

    PYTHONPATH=build/python python3 bench/python_generate.py --pairs 7 [--bench build/bench/generate_bench]

runs the two side by side on a shared machine: pairs of one C++ and one
Python process (three generations each, in alternating order so that
neither always runs first; one warm-up pair not counted), and prints per pair and as medians the wall and
CPU time per generation (CPU of every thread of the process, the worker
threads included) and the load average."""
import argparse
import json
import os
import resource
import statistics
import subprocess
import sys
import time

SETTINGS = dict(multiPacket=1, payloadType=10, OverSampling=20)
RUNS = 3  # generations per process, as the C++ benchmark's Iterations(3)


def process_cpu():
    u = resource.getrusage(resource.RUSAGE_SELF)
    return u.ru_utime + u.ru_stime


def python_child():
    """One process: RUNS generations, timed as the C++ benchmark times its
    loop (the result freed inside the loop), as JSON."""
    import btgen

    settings, _, _ = btgen.edit(btgen.default_settings(), **SETTINGS)
    cpu, start = process_cpu(), time.perf_counter()
    for _ in range(RUNS):
        waveform, markers = btgen.generate(settings)
        del waveform, markers
    wall = (time.perf_counter() - start) / RUNS
    print(json.dumps({"wall_s": wall, "cpu_s": (process_cpu() - cpu) / RUNS}))


def cpp_child(bench):
    r = subprocess.run([bench, "--benchmark_filter=BM_MultiPacketDH1Pn15/2/", "--benchmark_format=json"],
                       capture_output=True, text=True, check=True)
    b = json.loads(r.stdout)["benchmarks"][0]
    assert b["iterations"] == RUNS and b["time_unit"] == "ms"
    return {"wall_s": b["real_time"] / 1e3, "cpu_s": b["process_cpu_s"]}


def pairs(count, bench):
    python = lambda: json.loads(subprocess.run([sys.executable, __file__, "--child"], capture_output=True,
                                               text=True, check=True).stdout)
    python(), cpp_child(bench)  # warm-up, not counted: caches, page tables, clock speed
    rows = []
    print("pair  order       C++ wall  cpu   Python wall  cpu    ratio  load")
    for k in range(count):
        first_cpp = k % 2 == 0
        if first_cpp:
            c, p = cpp_child(bench), python()
        else:
            p, c = python(), cpp_child(bench)
        load = os.getloadavg()[0]
        rows.append((c, p, load))
        print(f"{k + 1:4}  {'C++ first' if first_cpp else 'Py first ':9}  {c['wall_s'] * 1e3:6.0f} ms {c['cpu_s'] * 1e3:4.0f}"
              f"   {p['wall_s'] * 1e3:6.0f} ms {p['cpu_s'] * 1e3:4.0f}   {p['wall_s'] / c['wall_s']:5.3f}  {load:4.2f}",
              flush=True)
    ms = lambda f, xs: f(xs) * 1e3
    for name, pick in (("C++", lambda r: r[0]), ("Python", lambda r: r[1])):
        wall = [pick(r)["wall_s"] for r in rows]
        cpu = [pick(r)["cpu_s"] for r in rows]
        print(f"{name:6}: wall median {ms(statistics.median, wall):.0f} ms, best {ms(min, wall):.0f} ms; "
              f"CPU median {ms(statistics.median, cpu):.0f} ms, best {ms(min, cpu):.0f} ms")
    ratio = lambda key: statistics.median([p[key] / c[key] for c, p, _ in rows])
    print(f"Python / C++, median over the pairs: wall {ratio('wall_s'):.3f}, CPU {ratio('cpu_s'):.3f}; "
          f"load average {min(l for _, _, l in rows):.2f}-{max(l for _, _, l in rows):.2f}")

def best_of_five():
    import btgen

    settings, _, _ = btgen.edit(btgen.default_settings(), **SETTINGS)
    times = []
    for _ in range(5):
        start = time.perf_counter()
        waveform, markers = btgen.generate(settings)
        times.append(time.perf_counter() - start)
        result = waveform.nbytes + markers.nbytes
        del waveform, markers
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    # What a call adds to the C++ one: the settings dict converted and
    # screened (btgen.size does that and the size estimate only).
    start = time.perf_counter()
    for _ in range(100):
        btgen.size(settings)
    overhead = (time.perf_counter() - start) / 100
    print(f"samples: {btgen.size(settings):.0f}")
    print(f"btgen.generate: best {min(times) * 1e3:.0f} ms, median {sorted(times)[2] * 1e3:.0f} ms")
    print(f"peak RSS {peak / 1e6:.0f} MB for a {result / 1e6:.0f} MB result ({peak / result:.2f} x)")
    print(f"settings conversion and screening per call: {overhead * 1e3:.2f} ms")


if __name__ == "__main__":
    a = argparse.ArgumentParser()
    a.add_argument("--pairs", type=int, default=0)
    a.add_argument("--bench", default="build/bench/generate_bench")
    a.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    o = a.parse_args()
    if o.child:
        python_child()
    elif o.pairs:
        pairs(o.pairs, o.bench)
    else:
        best_of_five()
