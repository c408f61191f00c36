#!/usr/bin/env python3
"""The wall time of long runs of larnix.exe against the pauses it must make: RUNS runs of TAPS
taps, each watched by keyview.exe through the end-to-end checks' own reader, start-up included.
The gaps themselves are the end-to-end checks' to hold and report.

usage: pacing.py LARNIX_EXE KEYVIEW_EXE [RUNS [TAPS]]
"""
import os
import statistics
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "end_to_end"))
import launch  # noqa: E402

PAUSE_MS = 8


def main():
    if not 3 <= len(sys.argv) <= 5:
        sys.exit(__doc__.strip().splitlines()[-1])
    larnix, keyview = map(os.path.abspath, sys.argv[1:3])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    taps = int(sys.argv[4]) if len(sys.argv) > 4 else 200
    print("pacing under %s, %d runs of %d x tap:41, as keyview.exe's hook sees them" % (
        launch.PLATFORM, runs, taps))
    walls = []
    for _ in range(runs):
        [record] = launch.watch(keyview, larnix, ["tap:41"] * taps,
                                cwd=os.path.dirname(larnix))
        seen = launch.keys(record)
        if record["status"] != 0 or seen != launch.reported_keys([(False, 0x41), (True, 0x41)]
                                                                 * taps):
            sys.exit("pacing.py: the hook saw %d events, status %d, not %d taps: %s" % (
                len(seen), record["status"], taps, launch.cut(str(record), 200)))
        walls.append(record["wall_ms"])
    median = statistics.median(walls)
    print("    wall time of larnix.exe, process start to exit: median %.0f ms (%.0f to %.0f)"
          " = %.3f x %d x %d ms" % (median, min(walls), max(walls), median / (taps * PAUSE_MS),
                                    taps, PAUSE_MS))
    return 0


if __name__ == "__main__":
    sys.exit(main())
