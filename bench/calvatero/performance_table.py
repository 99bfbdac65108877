#!/usr/bin/env python3
"""Turns bench_fourier's JSON output (with repetitions) into the Markdown table of
docs/PERFORMANCE.md: median ns per transform, 5 N log2 N / time, and the goal checks.

    bench_fourier --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_out=fourier.json --benchmark_out_format=json
    performance_table.py fourier.json
"""
import json
import math
import sys

# Small lengths of other forms held to a third of KissFFT's time.
SMALL_COMPOSITES = (44, 48, 80, 144)


def form(n):
    p = 1
    while p < n:
        p *= 2
    if n == p:
        return "2^k"
    for base, num, den in ((3, 4, 3), (5, 8, 5), (7, 8, 7), (9, 16, 9)):
        if num * n == den * p:
            return f"{base}·2^k"
    return "chirp-z"


def main(path):
    runs = json.load(open(path))["benchmarks"]
    median = {}
    for run in runs:
        if run.get("aggregate_name") != "median":
            continue
        name, n = run["run_name"].split("/")[:2]
        median[(name, int(n))] = run["ns_per_transform"]

    def per_nlogn(name, n):
        return median[(name, n)] / (n * math.log2(n))

    lengths = sorted({n for (name, n) in median if name == "calvatero"},
                     key=lambda n: (form(n) != "2^k", form(n), n))
    print("| N | form | ns/transform | 5N·log2N/time (MFLOPS) | four-float ns | FFTW ns | ×FFTW "
          "| FFTW no-SIMD ns | KissFFT ns | ×KissFFT | per N·log2N vs P | goal |")
    print("|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    missed = []
    for n in lengths:
        ours = median[("calvatero", n)]
        fftw = median[("fftw_measure", n)]
        kiss = median[("kissfft", n)]
        nosimd = median[("fftw_no_simd", n)]
        p = 1 << (n - 1).bit_length()
        vs_p = per_nlogn("calvatero", n) / per_nlogn("calvatero", p) if ("calvatero", p) in median else float("nan")
        goal = ""
        f = form(n)
        if f == "2^k" and 64 <= n <= 2048:
            goal = "met" if ours <= 1.5 * fftw else "MISSED (>1.5×FFTW)"
        elif f == "2^k" and 4096 <= n <= 65536:
            goal = "met" if ours <= 2 * fftw else "MISSED (>2×FFTW)"
        elif n in SMALL_COMPOSITES:
            goal = "met" if ours <= kiss / 3 else "MISSED (> KissFFT/3)"
        elif f != "2^k" and n >= 256:
            ok_kiss = ours <= kiss / 3
            ok_p = math.isnan(vs_p) or vs_p <= 10  # P not in the run: not checked
            goal = "met" if ok_kiss and ok_p else "MISSED (" + ", ".join(
                x for x, bad in (("> KissFFT/3", not ok_kiss), ("> 10× P", not ok_p)) if bad) + ")"
        if goal.startswith("MISSED"):
            missed.append(n)
        mflops = 5 * n * math.log2(n) / ours * 1e3
        four = f"{median[('split_four', n)]:.0f}" if ("split_four", n) in median else ""
        print(f"| {n} | {f} | {ours:.0f} | {mflops:.0f} | {four} | {fftw:.0f} | {ours / fftw:.2f} "
              f"| {nosimd:.0f} | {kiss:.0f} | {ours / kiss:.2f} | {vs_p:.2f} | {goal} |")
    print()
    print("| class | points | ns per forward + inverse |")
    print("|---|---:|---:|")
    for name in ("RealOdd4", "RealOdd8", "RealOdd32", "FourierTransformRealOdd"):
        for (run_name, n), ns in median.items():
            if run_name == name:
                print(f"| {name} | {n} | {2 * ns:.1f} |")
    for n in (64, 128):
        if ("calvatero_unordered", n) in median:
            print(f"| complex, ordered 0 | {n} | {2 * median[('calvatero_unordered', n)]:.1f} |")
    print()
    print("Missed:", ", ".join(map(str, missed)) if missed else "none")


if __name__ == "__main__":
    main(sys.argv[1])
