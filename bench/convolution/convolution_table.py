#!/usr/bin/env python3
"""Turns bench_convolution's JSON output into the Markdown tables of docs/PERFORMANCE.md.

    bench_convolution --benchmark_out=conv.json --benchmark_out_format=json
    convolution_table.py conv.json [conv2.json ...]

With several runs, each call-time row comes whole from the run whose phase peak ÷ phase mean is
the median for that impulse; the other tables come from the first run.
"""
import json
import sys

KINDS = {"0": "ours", "1": "zita", "2": "os"}


def median_run(runs):
    ranked = sorted(runs, key=lambda r: r["phase_peak_ns"] / r["phase_mean_ns"])
    return ranked[(len(ranked) - 1) // 2]


def main(paths):
    conv, call_runs = {}, {}
    for i, path in enumerate(paths):
        for run in json.load(open(path))["benchmarks"]:
            parts = run["run_name"].split("/")
            if parts[0] == "Convolution" and i == 0:
                n, kind, call = int(parts[1]), KINDS[parts[2]], int(parts[3])
                conv[(n, kind, call)] = run
            elif parts[0] == "CallTime":
                call_runs.setdefault(int(parts[1]), []).append(run)
    calls = [(n, median_run(runs)) for n, runs in sorted(call_runs.items())]
    lengths = sorted({n for (n, _, _) in conv})

    print("CPU ns per channel-sample (process: all threads / audio thread):\n")
    print("| impulse | ours 1 | ours 32 | ours 64 | zita q64 | zita q256 | overlap-save 8192 | "
          "ours 64 ÷ zita q64 | goal |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    for n in lengths:
        def cell(kind, call):
            r = conv.get((n, kind, call))
            if r is None:
                return "–"
            if kind == "ours":
                return f"{r['proc_ns']:.1f}"
            return f"{r['proc_ns']:.1f} / {r['thread_ns']:.1f}"
        ours = conv[(n, "ours", 64)]["proc_ns"]
        zita = conv[(n, "zita", 64)]["proc_ns"]
        print(f"| {n} | {cell('ours', 1)} | {cell('ours', 32)} | {cell('ours', 64)} | "
              f"{cell('zita', 64)} | {cell('zita', 256)} | {cell('os', 8192)} | "
              f"{ours / zita:.2f} | {'met' if ours <= zita else 'missed'} |")

    print("\nInit time (ms) and heap held (MiB):\n")
    print("| impulse | ours init | ours heap | zita q64 init | zita q64 heap | "
          "overlap-save init | overlap-save heap |")
    print("|---:|---:|---:|---:|---:|---:|---:|")
    for n in lengths:
        o, z, s = conv[(n, "ours", 64)], conv[(n, "zita", 64)], conv[(n, "os", 8192)]
        print(f"| {n} | {o['init_ms']:.2f} | {o['heap_MiB']:.2f} | {z['init_ms']:.2f} | "
              f"{z['heap_MiB']:.2f} | {s['init_ms']:.2f} | {s['heap_MiB']:.2f} |")

    print("\nOne 32-frame call of the long engine, wall time after a warm-up of two cycles "
          "of the longest partition, over 256 periods of its 128-call schedule:\n")
    print("| impulse | warm-up frames | mean ns | median ns | 99th percentile ns | "
          "99.9th percentile ns | maximum ns | p99.9 ÷ mean | phase medians: mean ns | peak ns "
          "| peak ÷ their mean | goal |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    for n, r in calls:
        raw = r["p999_ns"] / r["mean_ns"]
        peak = r["phase_peak_ns"] / r["phase_mean_ns"]
        print(f"| {n} | {r['warmup_frames']:.0f} | {r['mean_ns']:.0f} | {r['p50_ns']:.0f} | "
              f"{r['p99_ns']:.0f} | {r['p999_ns']:.0f} | {r['max_ns']:.0f} | {raw:.2f} | "
              f"{r['phase_mean_ns']:.0f} | {r['phase_peak_ns']:.0f} | {peak:.2f} | "
              f"{'met' if peak <= 3 else 'missed'} |")

if __name__ == "__main__":
    main(sys.argv[1:])
