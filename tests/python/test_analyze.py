import json
import subprocess

import numpy as np
import pytest

import aurelix


def command_lines(command, *arguments):
    done = subprocess.run([command, *arguments], check=True, capture_output=True, text=True)
    return [json.loads(line) for line in done.stdout.splitlines()]


def test_analyze_gives_the_numbers_of_the_command(command, make_sound):
    path = make_sound("tones.wav", "synth", "0.8", "sine", "440", "sine", "3500", channels=2)
    lines = command_lines(command, "analyze", path, "--json", "--samples", "1000", "--analysis",
                          "peaks", "--threshold", "2", "--trigger", "400:480", "--trigger",
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
    # Device handles differ from process to process by design.
    events = [(line["name"], {k: v for k, v in line.items() if k not in ("name", "DeviceHandle")})
              for line, kind in zip(lines, kinds) if kind == "event"]
    assert [(name, {k: np.asarray(v).tolist() for k, v in arguments.items()
                    if k != "DeviceHandle"})
            for _, name, arguments in result.events] == events
    summary = lines[-1]
    assert (result.blocks, result.analysed, result.total_missed, result.partial_samples,
            result.seconds) == (summary["blocks"], summary["analysed"], summary["missed"],
                                summary["partial_samples"], summary["seconds"])


def test_bad_files_options_and_handlers_fail_clearly(tmp_path, make_sound):
    corrupt = tmp_path / "corrupt.wav"
    corrupt.write_bytes(b"RIFF\x10\x00\x00\x00WAVEfmt garbage")
    path = make_sound("ok.wav", "synth", "0.5", "sine", "500")
    for arguments, error, match in (
            (dict(path=tmp_path / "missing.wav"), FileNotFoundError, "missing.wav"),
            (dict(path=corrupt), aurelix.AnalysisError, "corrupt.wav"),
            (dict(path=path, analysis="loudest"), ValueError, "loudest"),
            (dict(path=path, triggers=[(1, 2, 3, 4)]), ValueError, "trigger")):
        with pytest.raises(error, match=match):
            aurelix.analyze(**arguments)

    seen = []

    def handler(block):
        seen.append(block["block"])
        raise ArithmeticError("handler gave up")

    with pytest.raises(ArithmeticError, match="handler gave up"):
        aurelix.analyze(path, on_block=handler)
    assert seen == [1]


def test_devices_are_those_of_the_command(command):
    for flags, output in (([], False), (["--output"], True)):
        listed = command_lines(command, "devices", "--json", *flags)
        assert [dict(line, type="device") for line in aurelix.devices(output)] == listed
