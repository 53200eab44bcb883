#!/usr/bin/env python3
"""Analyses every recording in a folder on a Dask cluster and writes one CSV row per file.

    examples/analyse_folder.py recordings/ summary.csv
    examples/analyse_folder.py recordings/ summary.csv --trigger 950:1050 --scheduler tcp://host:8786

Without --scheduler a local cluster of two worker processes runs the batch. Files that fail
get a row with their error; the exit status is 1 when any did.
"""

import argparse
import csv
import sys
from pathlib import Path

import aurelix.batch

SOUND_SUFFIXES = {".wav", ".flac", ".ogg", ".aiff", ".aif", ".au"}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder", type=Path)
    parser.add_argument("csv", type=Path)
    parser.add_argument("--samples", type=int, default=1024)
    parser.add_argument("--analysis", default="fft")
    parser.add_argument("--threshold", type=float, default=5)
    parser.add_argument("--trigger", action="append", default=[], metavar="F1:F2[:THRESHOLD]")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    arguments = parser.parse_args()

    paths = sorted(str(path) for path in arguments.folder.iterdir()
                   if path.suffix.lower() in SOUND_SUFFIXES)
    if not paths:
        parser.error(f"no recordings in {arguments.folder}")
    options = dict(samples=arguments.samples, analysis=arguments.analysis,
                   threshold=arguments.threshold, triggers=arguments.trigger)
    if arguments.scheduler:
        from dask.distributed import Client

        with Client(arguments.scheduler) as client:
            summaries = aurelix.batch.analyze_files(paths, client=client, **options)
    else:
        summaries = aurelix.batch.analyze_files(paths, **options)

    rows = [summary.as_row() for summary in summaries]
    with arguments.csv.open("w", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=list(rows[0]))
        writer.writeheader()
        writer.writerows(rows)
    failed = [summary for summary in summaries if summary.error]
    for summary in failed:
        print(f"{summary.path}: {summary.error}", file=sys.stderr)
    print(f"{len(rows) - len(failed)} of {len(rows)} files analysed; summary in {arguments.csv}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
