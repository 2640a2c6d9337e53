#!/usr/bin/env python3
"""Prints the performance table from the JSON files of the benchmark programs.

Every figure is the median of the repetitions with their min-max; ratios set
the host against the baseline measured in the same run, since absolute times
on a shared machine say little.

Usage: report.py <benchmark JSON file>...
Exit status 1 when a row misses its goal or has no measurement.
"""

import json
import statistics
import sys
from dataclasses import dataclass
from typing import Callable, Dict, List, Optional

TIME_SCALE = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}  # to milliseconds


@dataclass
class Measure:
    benchmark: str
    field: str  # "time" (ms), or a counter such as "bytes_per_second"
    unit: str

    def values(self, runs: Dict[str, List[dict]]) -> List[float]:
        result = []
        for run in runs.get(self.benchmark, []):
            if self.field == "time":
                result.append(run["real_time"] * TIME_SCALE[run["time_unit"]])
            elif self.field in run:
                result.append(float(run[self.field]))
        return result


@dataclass
class Row:
    what: str
    host: Measure
    goal_text: str
    meets: Callable[[float], bool]
    # With a baseline the goal applies to host / baseline: for times how many
    # times slower, for rates the fraction of the machine's speed.
    baseline: Optional[Measure] = None
    informative: bool = False


ROWS = [
    Row("Reading a 32 MiB frame: reading part vs. cat through a pipe",
        Measure("BM_FrameRead_Host", "bytes_per_second", "MB/s"), ">= 0.25",
        lambda r: r >= 0.25, Measure("BM_FrameRead_PipeCat", "bytes_per_second", "MB/s")),
    Row("  JSON decode of the same frame (separate)",
        Measure("BM_FrameDecode_Json", "time", "ms"), "reported", lambda v: True, informative=True),
    Row("  whole way, first byte to object on the reader thread",
        Measure("BM_FrameToObject_Host", "time", "ms"), "reported", lambda v: True, informative=True),
    Row("Round trip \"GetVersion\", 1000 calls: p50",
        Measure("BM_RoundTrip_GetVersion", "p50_ms", "ms"), "< 0.5 ms", lambda v: v < 0.5),
    Row("Round trip \"GetVersion\", 1000 calls: p99",
        Measure("BM_RoundTrip_GetVersion", "p99_ms", "ms"), "< 2 ms", lambda v: v < 2.0),
    Row("  same frames echoed by cat (one hop, no threads): p99",
        Measure("BM_RoundTrip_PipeEcho", "p99_ms", "ms"), "reported", lambda v: True,
        informative=True),
    Row("Start-up to \"CreateInstance\" answered vs. bare QApplication up",
        Measure("BM_Startup_Host", "time", "ms"), "<= 1.5x", lambda r: r <= 1.5,
        Measure("BM_Startup_BareApplication", "time", "ms")),
    Row("Page display 600 dpi A4 PNG vs. decoding the PNG",
        Measure("BM_PageDisplay_Host", "time", "ms"), "<= 1.5x", lambda r: r <= 1.5,
        Measure("BM_PageDisplay_PngDecode", "time", "ms")),
    Row("Deep zoom 6400 %: memory over the 100 % view",
        Measure("BM_DeepZoom_ScrollCutOut", "extra_MiB", "MiB"), "< 64 MiB", lambda v: v < 64),
    Row("Deep zoom 6400 %: one scroll cut-out",
        Measure("BM_DeepZoom_ScrollCutOut", "time", "ms"), "< 8 ms", lambda v: v < 8),
    Row("Signing: sign-init answer to \"NeedSignFinishEvent\" vs. C_Sign + RSA verify",
        Measure("BM_Signing_Host", "time", "ms"), "<= 1.5x", lambda r: r <= 1.5,
        Measure("BM_Signing_RawToken", "time", "ms")),
    Row("  same vs. raw token run: load, C_Initialize, C_Login, C_Sign, verify, C_Finalize",
        Measure("BM_Signing_Host", "time", "ms"), "reported", lambda r: True,
        Measure("BM_Signing_RawTokenRun", "time", "ms"), informative=True),
    Row("  answer handed over to the PIN dialog on screen (part of the host figure)",
        Measure("BM_Signing_Host", "before_pin_ms", "ms"), "reported", lambda v: True,
        informative=True),
    Row("Signing on a smart card (pcscd, OpenSC, emulated card) vs. raw card run",
        Measure("BM_Signing_CardHost", "time", "ms"), "<= 1.5x", lambda r: r <= 1.5,
        Measure("BM_Signing_CardRawRun", "time", "ms")),
    Row("Answer verification, answers/s vs. bare CMS_verify",
        Measure("BM_AnswerVerification_Host", "items_per_second", "1/s"), ">= 0.8x",
        lambda r: r >= 0.8, Measure("BM_AnswerVerification_BareCms", "items_per_second", "1/s")),
    Row("Package verification 200 MiB vs. sha256sum",
        Measure("BM_PackageVerification_Host", "bytes_per_second", "MB/s"), ">= 0.8x",
        lambda r: r >= 0.8, Measure("BM_PackageVerification_Sha256sum", "bytes_per_second", "MB/s")),
]


def load(paths: List[str]) -> Dict[str, List[dict]]:
    runs: Dict[str, List[dict]] = {}
    for path in paths:
        with open(path, encoding="utf-8") as file:
            document = json.load(file)
        for run in document.get("benchmarks", []):
            if run.get("run_type") != "iteration" or run.get("error_occurred"):
                continue
            name = run["run_name"].split("/")[0]
            runs.setdefault(name, []).append(run)
    return runs


def shown(value: float, unit: str) -> float:
    return value / 1e6 if unit == "MB/s" else value


def number(value: float) -> str:
    if abs(value) >= 100:
        return "{:.0f}".format(value)
    return "{:.3g}".format(value)


def summary(values: List[float], unit: str) -> str:
    scaled = [shown(v, unit) for v in values]
    return "{} {} ({}–{}, n={})".format(number(statistics.median(scaled)), unit,
                                        number(min(scaled)), number(max(scaled)), len(scaled))


def main(paths: List[str]) -> int:
    runs = load(paths)
    header = ("What", "Host: median (min–max)", "Baseline: median (min–max)", "Ratio",
              "Goal", "Met")
    lines = [header, tuple("---" for _ in header)]
    all_met = True
    for row in ROWS:
        host = row.host.values(runs)
        base = row.baseline.values(runs) if row.baseline else []
        if not host or (row.baseline and not base):
            lines.append((row.what, "not measured", "", "", row.goal_text, "no"))
            all_met = False
            continue
        value = statistics.median(host)
        ratio_text = ""
        if row.baseline:
            value = value / statistics.median(base)
            ratio_text = "{:.2f}".format(value)
        met = row.meets(value)
        all_met &= met
        lines.append((row.what, summary(host, row.host.unit),
                      summary(base, row.baseline.unit) if row.baseline else "",
                      ratio_text, row.goal_text,
                      "" if row.informative else ("yes" if met else "NO")))
    for line in lines:
        print("| " + " | ".join(line) + " |")
    return 0 if all_met else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
