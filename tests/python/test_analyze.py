import json
import os
import subprocess
from pathlib import Path

import numpy as np
import pytest

import aurelix

COMMAND = os.environ.get("AURELIX_COMMAND",
                         str(Path(__file__).resolve().parents[2] / "build" / "cli" / "aurelix"))


def command_lines(*arguments):
    done = subprocess.run([COMMAND, *arguments], check=True, capture_output=True, text=True)
    return [json.loads(line) for line in done.stdout.splitlines()]


def test_analyze_gives_the_numbers_of_the_command(make_sound):
    path = make_sound("tones.wav", "synth", "0.8", "sine", "440", "sine", "3500", channels=2)
    lines = command_lines("analyze", path, "--json", "--samples", "1000", "--analysis", "peaks",
                          "--threshold", "2", "--trigger", "400:480", "--trigger",
                          "1000.0:1100.0:1.5", "--spectrum")
    result = aurelix.analyze(path, samples=1000, analysis="peaks", threshold=2,
                             triggers=["400:480", (1000.0, 1100.0, 1.5)], spectrum=True)

    kinds = [line.pop("type") for line in lines]
    blocks = [line for line, kind in zip(lines, kinds) if kind == "block"]
    assert len(blocks) == len(result.block) > 0 and result.triggers_fired() == [1]
    for row, line in enumerate(blocks):
        for key, value in line.items():
            column = np.asarray(getattr(result, key)[row])
            assert np.array_equal(column, np.asarray(value, column.dtype)), (row, key)
    assert [name for _, name, _ in result.events] == [
        line["name"] for line, kind in zip(lines, kinds) if kind == "event"]
    assert (result.blocks, result.analysed, result.total_missed, result.partial_samples,
            result.seconds) == tuple(lines[-1][key] for key in (
                "blocks", "analysed", "missed", "partial_samples", "seconds"))


def test_bad_files_options_and_handlers_fail_clearly(tmp_path, make_sound):
    corrupt = tmp_path / "corrupt.wav"
    corrupt.write_bytes(b"RIFF\x10\x00\x00\x00WAVEfmt garbage")
    path = make_sound("ok.wav", "synth", "0.5", "sine", "500")
    for arguments, error, match in (
            (dict(path=tmp_path / "missing.wav"), FileNotFoundError, "missing.wav"),
            (dict(path=corrupt), aurelix.AnalysisError, "corrupt.wav"),
            (dict(path=path, analysis="loudest"), ValueError, "loudest")):
        with pytest.raises(error, match=match):
            aurelix.analyze(**arguments)

    seen = []

    def handler(block):
        seen.append(block["block"])
        raise ArithmeticError("handler gave up")

    with pytest.raises(ArithmeticError, match="handler gave up"):
        aurelix.analyze(path, on_block=handler)
    assert seen == [1]


def test_output_devices_are_those_of_the_command():
    listed = command_lines("devices", "--json", "--output")
    assert [dict(line, type="device") for line in aurelix.devices(True)] == listed
