#!/usr/bin/env python3
"""The benchmark's summary lines for one workload, from hyperfine's JSON
export, one line per command: the median and the best wall-clock time, the
mean CPU time (user + system), each also as a ratio to cat's, and the peak
RSS.

  report.py WORKLOAD OUTPUT_BYTES JSON NAME=PEAK_KIB...
  report.py --header
"""

import json
import sys

COLUMNS = "%-11s %8s  %-10s %9s %7s %9s %7s %9s %7s %10s"


def main():
    if sys.argv[1] == "--header":
        print(COLUMNS % ("workload", "output", "command", "median", "vs cat", "best", "vs cat",
                         "CPU", "vs cat", "peak RSS"))
        return
    workload, output, export = sys.argv[1:4]
    peaks = dict(pair.split("=") for pair in sys.argv[4:])
    with open(export) as results:
        runs = json.load(results)["results"]
    medians = {result["command"]: result["median"] for result in runs}
    # The fastest run: on a shared machine, the one least disturbed.
    best = {result["command"]: result["min"] for result in runs}
    # The mean user and system time: steadier than the wall clock on a busy
    # machine, where a run may wait for the processor or the disk.
    cpu = {result["command"]: result["user"] + result["system"] for result in runs}
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
