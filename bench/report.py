#!/usr/bin/env python3
"""One line of the benchmark's summary from hyperfine's JSON export:

  report.py WORKLOAD OUTPUT_BYTES JSON NAME=PEAK_KIB...
  report.py --header
"""

import json
import sys

COLUMNS = "%-11s %9s %9s %9s %7s %9s %7s %9s %9s %9s"


def main():
    if sys.argv[1] == "--header":
        print(COLUMNS % ("workload", "output", "cat", "tuflat", "ratio", "gcc -E", "ratio",
                         "RSS cat", "tuflat", "gcc -E"))
        return
    workload, output, export = sys.argv[1:4]
    peaks = dict(pair.split("=") for pair in sys.argv[4:])
    medians = {result["command"]: result["median"] for result in json.load(open(export))["results"]}

    def seconds(name):
        return "%.3f s" % medians[name] if name in medians else "-"

    def ratio(name):
        return "%.2f" % (medians[name] / medians["cat"]) if name in medians else "-"

    def peak(name):
        return "%.1f MiB" % (int(peaks[name]) / 1024) if name in peaks else "-"

    print(COLUMNS % (workload, "%d MB" % (int(output) // 1000000), seconds("cat"),
                     seconds("tuflat"), ratio("tuflat"), seconds("gcc"), ratio("gcc"),
                     peak("cat"), peak("tuflat"), peak("gcc")))


if __name__ == "__main__":
    main()
