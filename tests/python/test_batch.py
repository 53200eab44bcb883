import pytest

import aurelix.batch

pytestmark = pytest.mark.batch


def test_a_two_worker_batch_matches_a_plain_loop(tmp_path, make_sound):
    good = [make_sound(f"tone{i}.wav", "synth", "0.6", "sine", str(300 + 250 * i), "vol", "0.4")
            for i in range(8)]
    loud = make_sound("loud.wav", "synth", "0.3", "sine", "700", "vol", "0.99")
    corrupt = tmp_path / "corrupt.wav"
    corrupt.write_bytes(b"RIFF\x10\x00\x00\x00WAVEnot sound")
    missing = str(tmp_path / "missing.wav")

    def refuse_loud_blocks(block):  # nested, so that it travels to the workers by value
        if max(block["max_amplitude"]) > 30000:
            raise OverflowError("too loud to trust")

    options = dict(triggers=[(650, 800)], on_block=refuse_loud_blocks)
    summaries = aurelix.batch.analyze_files(good + [loud, str(corrupt), missing], **options)

    assert [summary.path for summary in summaries] == good + [loud, str(corrupt), missing]
    assert [summary.as_row() for summary in summaries[:8]] == [
        aurelix.batch.summarise_file(path, **options).as_row() for path in good]
    assert (summaries[2].triggers_fired, summaries[7].triggers_fired) == ([1], [])  # 800, 2050 Hz
    assert summaries[8].error == "OverflowError: too loud to trust"
    assert summaries[9].error.startswith("AnalysisError: ") and "corrupt.wav" in summaries[9].error
    assert summaries[10].error.startswith("FileNotFoundError: ")
