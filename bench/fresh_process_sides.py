"""Runs one side of a bench in a fresh process and reads back what it measured.

A side is a function of this repository's bench scripts or of the shared peer
forms (`pysat_by_hand.py`); the process imports only that side's module, does
its imports before the clock starts, and reports the main thread's processor
time (time.thread_time: NumPy's idle threads do not count), the result the
side returns and the process's peak resident memory.
"""

import json
import os
import resource
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def peers_directory() -> Path:
    """The shared peer forms: $VX_BENCH_PEERS, else the nearest shared/peers above the repository."""
    given = os.environ.get("VX_BENCH_PEERS")
    if given:
        return Path(given)
    for folder in ROOT.parents:
        if (folder / "shared" / "peers" / "pysat_by_hand.py").exists():
            return folder / "shared" / "peers"
    raise SystemExit("the peer forms (pysat_by_hand.py) were not found; set VX_BENCH_PEERS")


def run_side(module_path: Path, function: str, arguments: list) -> dict:
    """Runs module_path's function(*arguments) in a fresh process: {"result", "seconds", "peak_mib"}.
    The shared instance generators (instances.py) are importable on both sides."""
    environment = {**os.environ, "PYTHONPATH": os.pathsep.join(
        [str(ROOT / "src"), str(module_path.parent), str(peers_directory()), os.environ.get("PYTHONPATH", "")])}
    command = [sys.executable, __file__, str(module_path), function, json.dumps(arguments)]
    output = subprocess.run(command, env=environment, check=True, capture_output=True, text=True).stdout
    return json.loads(output.splitlines()[-1])


def print_compared_row(label: str, package: Path, peer: Path, form: str, arguments: list, repeat: int,
                       goal: object) -> None:
    """Runs the package's side and the peer's side of one row in turns and
    prints the fastest of each with their ratio, and the median of the turns'
    own ratios: steadier than the fastest of each side where the machine's
    speed drifts, as taking turns slows both sides alike."""
    runs = [(run_side(package, form, arguments), run_side(peer, form, arguments)) for _ in range(repeat)]
    ours = min((side for side, _ in runs), key=lambda side: side["seconds"])
    theirs = min((side for _, side in runs), key=lambda side: side["seconds"])
    turn_ratio = statistics.median(mine["seconds"] / peers["seconds"] for mine, peers in runs)
    print(f"{label:>10}: package {ours['seconds']:7.3f} s {ours['peak_mib']:7.1f} MiB "
          f"({ours['result']:>10,} clauses)   python-sat by hand {theirs['seconds']:7.3f} s "
          f"{theirs['peak_mib']:7.1f} MiB ({theirs['result']:>10,} clauses)   "
          f"ratio {ours['seconds'] / theirs['seconds']:6.2f}, median of the turns {turn_ratio:6.2f} (goal {goal})",
          flush=True)


def _measure(module_path: str, function: str, arguments: str) -> None:
    sys.path.insert(0, str(Path(module_path).parent))
    module = __import__(Path(module_path).stem)
    side = getattr(module, function)
    start = time.thread_time()
    result = side(*json.loads(arguments))
    seconds = time.thread_time() - start
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024  # KiB to MiB
    print(json.dumps({"result": result, "seconds": seconds, "peak_mib": peak}))


if __name__ == "__main__":
    _measure(*sys.argv[1:4])
