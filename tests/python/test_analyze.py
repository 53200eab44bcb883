import json
import subprocess

import numpy as np
import pytest

import aurelix


def command_lines(command, *arguments):
    done = subprocess.run([command, *arguments], check=True, capture_output=True, text=True)
    return [json.loads(line) for line in done.stdout.splitlines()]


@pytest.mark.parametrize("channels, synth, options, flags, fired", [
    (1, ("synth", "1", "sine", "440", "vol", "0.3"),
     {"analysis": "peaks", "threshold": 2, "triggers": ["400:480", (1000.0, 1100.0, 1.5)],
      "spectrum": True},
     ["--analysis", "peaks", "--threshold", "2", "--trigger", "400:480",
      "--trigger", "1000.0:1100.0:1.5", "--spectrum"], [1]),
    (2, ("synth", "0.8", "sine", "2000", "sine", "3500"),
     {"samples": 1000, "analysis": "peaks", "spectrum": True},
     ["--samples", "1000", "--analysis", "peaks", "--spectrum"], []),
])
def test_analyze_gives_the_numbers_of_the_command(command, make_sound, channels, synth, options,
                                                  flags, fired):
    path = make_sound(f"{channels}-{'-'.join(synth)}.wav", *synth, channels=channels)
    lines = command_lines(command, "analyze", path, "--json", *flags)
    result = aurelix.analyze(path, **options)

    blocks = [line for line in lines if line["type"] == "block"]
    assert len(blocks) == len(result.block) > 0
    assert result.triggers_fired() == fired
    assert result.max_amplitude.shape == result.max_frequency.shape == (len(blocks), 2)
    for row, line in enumerate(blocks):
        assert result.block[row] == line["block"] and result.buffer[row] == line["buffer"]
        assert result.dt[row] == line["dt"] and result.missed[row] == line["missed"]
        assert result.max_amplitude[row].tolist() == line["max_amplitude"]
        assert result.max_frequency[row].tolist() == line["max_frequency"]
        for key in ("peaks", "peaks_right"):
            if key in line:
                assert getattr(result, key)[row].tolist() == line[key]
        for key in ("spectrum", "spectrum_right"):
            if key in line:
                assert np.array_equal(getattr(result, key)[row], np.float32(line[key]))
    # Device handles differ from process to process by design.
    events = [(line["name"], {k: v for k, v in line.items()
                              if k not in ("type", "name", "DeviceHandle")})
              for line in lines if line["type"] == "event"]
    assert [(name, {k: np.asarray(v).tolist() for k, v in arguments.items()
                    if k != "DeviceHandle"})
            for _, name, arguments in result.events] == events
    summary = next(line for line in lines if line["type"] == "summary")
    assert (result.blocks, result.analysed, result.total_missed, result.partial_samples) == (
        summary["blocks"], summary["analysed"], summary["missed"], summary["partial_samples"])
    assert result.seconds == summary["seconds"]


def test_bad_files_options_and_handlers_fail_clearly(tmp_path, make_sound):
    corrupt = tmp_path / "corrupt.wav"
    corrupt.write_bytes(b"RIFF\x10\x00\x00\x00WAVEfmt garbage")
    with pytest.raises(FileNotFoundError):
        aurelix.analyze(tmp_path / "missing.wav")
    with pytest.raises(aurelix.AnalysisError, match="corrupt.wav"):
        aurelix.analyze(corrupt)
    path = make_sound("ok.wav", "synth", "0.5", "sine", "500")
    with pytest.raises(ValueError):
        aurelix.analyze(path, analysis="loudest")
    with pytest.raises(ValueError):
        aurelix.analyze(path, triggers=[(1, 2, 3, 4)])

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
