"""The README's Python section as a user follows it: its indented block runs
as it stands in a fresh folder, against the simulator, whose port is the
only change."""
import os
import pathlib
import re
import subprocess
import sys

BTGEN = os.environ.get("BTGEN_EXE", "btgen")
IXO_SIM = os.environ.get("IXO_SIM_EXE", "ixo-sim")
README = pathlib.Path(__file__).resolve().parents[2] / "README.md"


def section_blocks(title):
    """The indented blocks of a README section, each as its lines."""
    blocks, block, inside = [], [], False
    for line in README.read_text(encoding="utf-8").splitlines():
        if line.startswith("## "):
            inside = line == title
        if not inside:
            continue
        if line.startswith("    ") or (block and not line.strip()):
            block.append(line[4:])
        elif block:
            blocks.append(block)
            block = []
    if block:
        blocks.append(block)
    return ["\n".join(b).strip("\n") + "\n" for b in blocks]


def test_the_python_section_runs_as_it_stands(tmp_path):
    blocks = section_blocks("## Using Python")
    # The radio block needs a radio on the machine; every other block runs.
    runnable = [b for b in blocks if "btgen.Radio(" not in b]
    assert len(runnable) == 1 and "btgen.Instrument(" in runnable[0]
    sim = subprocess.Popen([IXO_SIM, "--port", "0"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        port = sim.stdout.readline().strip()
        script = runnable[0].replace("5025", port)
        r = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, capture_output=True, text=True,
                           check=False, timeout=120)
        held = subprocess.run([BTGEN, "status", "--tcpip", f"127.0.0.1:{port}"], capture_output=True, text=True,
                              check=False, timeout=60)
    finally:
        sim.terminate()
        sim.wait(timeout=10)
    assert r.returncode == 0, r.stderr
    # What it prints: the projected length, the carrier offset it set
    # (50 kHz), ..., the identification; then the instrument plays "BT".
    lines = r.stdout.splitlines()
    assert re.fullmatch(r"[0-9]+ Samples", lines[0]), lines[0]
    assert abs(float(lines[1]) - 50e3) < 5e3, lines[1]
    assert len(lines[-1].split(",")) == 4, lines[-1]
    assert held.returncode == 0 and '"arbi:BT"' in held.stdout and "player: on" in held.stdout, held.stdout
    assert (tmp_path / "dh3.sigmf-meta").exists() and (tmp_path / "dh3.bt").exists()
