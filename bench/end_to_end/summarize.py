#!/usr/bin/env python3
"""Prints the medians of a velmar_bench JSON file and the ratios the targets are set on.

Usage: summarize.py bench.json   (run velmar_bench with --benchmark_repetitions=N)
"""
import json
import sys


COUNTERS = ("cpu_us", "allocs")


def medians(path):
    """Median wall time in microseconds per benchmark, and the median of each per-page counter
    (process CPU time, allocations) where the benchmark reports it."""
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    out = {}
    counters = {}
    for run in runs:
        if run.get("run_type") == "aggregate" and run.get("aggregate_name") != "median":
            continue
        name = run["run_name"]
        # With repetitions the median row wins; without, the single run stands.
        if run.get("run_type") == "aggregate" or name not in out:
            scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[run["time_unit"]]
            out[name] = run["real_time"] * scale
            counters[name] = {c: run[c] for c in COUNTERS if c in run}
    return out, counters


def main():
    m, counters = medians(sys.argv[1])
    for name, micros in m.items():
        extra = counters.get(name, {})
        figures = ""
        if "cpu_us" in extra:
            figures += f"   cpu {extra['cpu_us']:9.1f} us"
        if "allocs" in extra:
            figures += f"   allocs {extra['allocs']:8.0f}"
        print(f"{name:45s} {micros:12.1f} us{figures}")
    print()

    def ratio(label, a, b, target, at_least):
        if a not in m or b not in m:
            return
        r = m[a] / m[b]
        if target is None:
            print(f"{label:55s} {r:6.2f}")
            return
        met = r >= target if at_least else r <= target
        sign = ">=" if at_least else "<="
        print(f"{label:55s} {r:6.2f}  (target {sign} {target}: {'met' if met else 'NOT met'})")

    for tls in ("0", "1"):
        proto = "HTTPS" if tls == "1" else "HTTP"
        facade = f"BM_FacadeGamePage/tls:{tls}/real_time"
        ratio(f"{proto}: hand-written / facade", f"BM_HandWrittenGamePage/tls:{tls}/real_time",
              facade, 3.0, True)
        ratio(f"{proto}: facade / floor", facade, f"BM_CurlFloorGamePage/tls:{tls}/real_time",
              1.3, False)
    # Process CPU time per page (every thread, the in-process sandbox's too).
    cpu = {name: c["cpu_us"] for name, c in counters.items() if "cpu_us" in c}
    for tls in ("0", "1"):
        proto = "HTTPS" if tls == "1" else "HTTP"
        a = f"BM_FacadeGamePage/tls:{tls}/real_time"
        b = f"BM_CurlFloorGamePage/tls:{tls}/real_time"
        if a in cpu and b in cpu and cpu[b] > 0:
            r = cpu[a] / cpu[b]
            print(f"{proto + ': facade / floor, CPU per page':55s} {r:6.2f}  "
                  f"(target <= 1.5: {'met' if r <= 1.5 else 'NOT met'})")
    ratio("64 launches: one after another / at once", "BM_LaunchBatchSequential/manual_time",
          "BM_LaunchBatchConcurrent/manual_time", 4.0, True)
    ratio("decode: nlohmann by hand / SDK", "BM_NlohmannParseAndMapByHand",
          "BM_SdkDecodeGamePage", None, True)
    ratio("decode: SDK / bare simdjson parse", "BM_SdkDecodeGamePage", "BM_BareSimdjsonParse",
          None, False)


if __name__ == "__main__":
    main()
