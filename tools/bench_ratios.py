#!/usr/bin/env python3
"""Prints the ratios of the core's benchmarks to their references.

Reads Google Benchmark JSON files and pairs every benchmark of the core with
its reference by name (BM_FoldCase_Bmp with BM_Towlower_Bmp, ...). A ratio
below 1 means the core is faster.
"""
import json
import sys

# (core name part, reference name part)
PAIRS = [
    ("CompareFolded", "CompareTowlower"),
    ("FoldCase", "Towlower"),
    ("TextFormat", "Swprintf"),
    ("StringMap", "StdMap"),
    ("Utf8ToWide", "Mbstowcs"),
]


def main(paths):
    times = {}
    for path in paths:
        with open(path) as f:
            for b in json.load(f)["benchmarks"]:
                if b.get("run_type", "iteration") == "iteration":
                    times[b["name"]] = b["cpu_time"]
    print(f"{'core benchmark':44} {'reference':40} {'ratio':>7}")
    for name, cpu in times.items():
        for ours, theirs in PAIRS:
            if ours in name:
                reference = name.replace(ours, theirs)
                if reference in times and times[reference] > 0:
                    print(f"{name:44} {reference:40} {cpu / times[reference]:7.2f}")
                break


if __name__ == "__main__":
    main(sys.argv[1:])
