"""Small constraints on the clause-assembly road against python-sat by hand.

Rows (package time / python-sat time, main-thread processor time, each side in
a fresh process that imports only its side, the same instance from the shared
generators):

  colouring 2,000 vertices, 10,000 edges, 5 colours: `Sum(x[v, c], c=...) == 1`
      over v, one `add_constraint(~x[a, c] | ~x[b, c], c=...)` per edge (goal <= 2.0)
  soft 10,000: one `add_soft_constraint(x[a], 1 + a % 9, True)` each, then
      `build_wcnf` (goal <= 5)
  queens 100 as examples/queens.py writes it, cold (goal <= 0.8)
  queens 1,000, with both sides' peak resident memory (goal <= 0.12)

The sides take turns R times; a row prints the fastest of each side, their
ratio, and the median of the turns' own ratios.

Run by hand: python bench/constraint_road.py [--repeat R] [--rows colouring soft queens100 queens1000]
The peer forms are found as bench/fresh_process_sides.py says (VX_BENCH_PEERS).
"""

import argparse
import statistics
from pathlib import Path

from fresh_process_sides import peers_directory, run_side

PACKAGE = Path(__file__).resolve().with_name("constraint_road_package.py")

ROWS = {
    "colouring": ("colouring", [2000, 10000, 5, 1], 2.0),
    "soft": ("soft", [10000], 5.0),
    "queens100": ("queens", [100], 0.8),
    "queens1000": ("queens", [1000], 0.12),
}


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", nargs="*", default=list(ROWS), choices=list(ROWS))
    parser.add_argument("--repeat", type=int, default=1, help="fresh processes per side; the fastest counts")
    arguments = parser.parse_args()
    peer = peers_directory() / "pysat_by_hand.py"
    for row in arguments.rows:
        form, form_arguments, goal = ROWS[row]
        # The sides take turns, so that a machine whose speed drifts slows both alike.
        runs = [(run_side(PACKAGE, form, form_arguments), run_side(peer, form, form_arguments))
                for _ in range(arguments.repeat)]
        package = min((side for side, _ in runs), key=lambda side: side["seconds"])
        by_hand = min((side for _, side in runs), key=lambda side: side["seconds"])
        ratio = package["seconds"] / by_hand["seconds"]
        # Each turn's own ratio, its median: steadier than the fastest of each side where the machine drifts.
        turn_ratio = statistics.median(ours["seconds"] / theirs["seconds"] for ours, theirs in runs)
        print(f"{row:>10}: package {package['seconds']:7.3f} s {package['peak_mib']:7.1f} MiB "
              f"({package['result']:>10,} clauses)   python-sat by hand {by_hand['seconds']:7.3f} s "
              f"{by_hand['peak_mib']:7.1f} MiB ({by_hand['result']:>10,} clauses)   "
              f"ratio {ratio:6.2f}, median of the turns {turn_ratio:6.2f} (goal {goal})", flush=True)


if __name__ == "__main__":
    main()
