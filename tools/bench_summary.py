"""The end of a benchmark's rounds: the best and the median time of each contender, and the
ratio of the baseline's times to the subject's (above 1: the subject is faster).

bench_wintool.py imports print_summary; a shell benchmark runs this file on its "NAME SECONDS"
lines: python3 tools/bench_summary.py TIMES_FILE BASELINE SUBJECT."""
import statistics
import sys


def print_summary(times, baseline, subject):
    """times: {name: [seconds, ...]}, with the baseline's and the subject's among them."""
    for what, values in times.items():
        print("  %-4s best %.3f s, median %.3f s over %d runs" % (what, min(values), statistics.median(values), len(values)))
    best = min(times[baseline]) / min(times[subject])
    median = statistics.median(times[baseline]) / statistics.median(times[subject])
    print("  ratio %s/%s: best %.2f, median %.2f (above 1: %s is faster)" % (baseline, subject, best, median, subject))


def main():
    path, baseline, subject = sys.argv[1:4]
    times = {}
    for line in open(path):
        what, seconds = line.split()
        times.setdefault(what, []).append(float(seconds))
    print_summary(times, baseline, subject)


if __name__ == "__main__":
    main()
