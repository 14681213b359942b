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
from pathlib import Path

from fresh_process_sides import peers_directory, print_compared_row

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
    parser.add_argument("--repeat", type=int, default=1, help="turns of fresh processes per side")
    arguments = parser.parse_args()
    peer = peers_directory() / "pysat_by_hand.py"
    for row in arguments.rows:
        form, form_arguments, goal = ROWS[row]
        print_compared_row(row, PACKAGE, peer, form, form_arguments, arguments.repeat, goal)

if __name__ == "__main__":
    main()
