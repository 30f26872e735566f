#!/usr/bin/env python3
"""The benchmark's summary lines for one workload, from hyperfine's JSON
exports (one per round, comma-separated), one line per command: the median
and the best wall-clock time, the mean CPU time (user + system), each also as
a ratio to cat's, and the peak RSS.

  report.py WORKLOAD OUTPUT_BYTES JSON[,JSON...] NAME=PEAK_KIB...
  report.py --header
"""

import json
import statistics
import sys

COLUMNS = "%-11s %8s  %-10s %9s %7s %9s %7s %9s %7s %10s"


def main():
    if sys.argv[1] == "--header":
        print(COLUMNS % ("workload", "output", "command", "median", "vs cat", "best", "vs cat",
                         "CPU", "vs cat", "peak RSS"))
        return
    workload, output, exports = sys.argv[1:4]
    peaks = dict(pair.split("=") for pair in sys.argv[4:])
    times = {}
    cpu_sums = {}
    for export in exports.split(","):
        with open(export) as results:
            for result in json.load(results)["results"]:
                name = result["command"]
                times.setdefault(name, []).extend(result["times"])
                # hyperfine gives the mean CPU time of the round's runs.
                cpu_sums[name] = cpu_sums.get(name, 0.0) + (
                    result["user"] + result["system"]) * len(result["times"])
    medians = {name: statistics.median(runs) for name, runs in times.items()}
    # The fastest run: on a shared machine, the one least disturbed.
    best = {name: min(runs) for name, runs in times.items()}
    # The mean user and system time: steadier than the wall clock on a busy
    # machine, where a run may wait for the processor or the disk.
    cpu = {name: cpu_sums[name] / len(runs) for name, runs in times.items()}
    size = "%d MB" % (int(output) // 1000000)
    for name, median in medians.items():
        peak = "%.1f MiB" % (int(peaks[name]) / 1024) if name in peaks else "-"
        print(COLUMNS % (workload, size, name, "%.3f s" % median,
                         "%.2f" % (median / medians["cat"]), "%.3f s" % best[name],
                         "%.2f" % (best[name] / best["cat"]), "%.3f s" % cpu[name],
                         "%.2f" % (cpu[name] / cpu["cat"]), peak))
        workload = size = ""


if __name__ == "__main__":
    main()
