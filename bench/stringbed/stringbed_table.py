#!/usr/bin/env python3
"""Turns bench_stringbed's JSON output into the Markdown table of docs/PERFORMANCE.md.

    bench_stringbed --benchmark_out=stringbed.json --benchmark_out_format=json
    stringbed_table.py stringbed.json
"""
import json
import sys

ROWS = [
    ("Symp/0", "sympathetic, no key held", "44.1 kHz"),
    ("Symp/10", "sympathetic, 10 keys held", "44.1 kHz"),
    ("Symp/71", "sympathetic, all 71 keys held", "44.1 kHz"),
    ("Twang/71", "142 stk::Twang strings per channel", "44.1 kHz"),
    ("Sustain/44100", "sustain, 10 s impulse, pedal down", "44.1 kHz (convolution at 44.1)"),
    ("Sustain/96000", "sustain, 10 s impulse, pedal down", "96 kHz (convolution at 48)"),
    ("Sustain/192000", "sustain, 10 s impulse, pedal down", "192 kHz (convolution at 48)"),
    ("Zita/44100", "zita-convolver q256, 10 s impulse", "44.1 kHz"),
    ("Zita/48000", "zita-convolver q256, 10 s impulse", "48 kHz"),
]


def main(path):
    runs = {r["run_name"].split("/iterations")[0]: r for r in json.load(open(path))["benchmarks"]}
    print("| case | engine rate | CPU ns per channel-sample |")
    print("|---|---|---:|")
    for key, case, rate in ROWS:
        if key in runs:
            print(f"| {case} | {rate} | {runs[key]['ns']:.1f} |")


if __name__ == "__main__":
    main(sys.argv[1])
