import os
import signal
import threading
import time

import numpy as np
import pytest

import aurelix


def test_refusals_and_bad_arguments_are_raised_clearly():
    c = aurelix.Aurel(user_mode=True)
    for call, error, number in (
            (lambda: setattr(c, "SamplingTime", 1.0), aurelix.RuntimeError, 382),
            (lambda: c.AddTrigger(1, 950), aurelix.RuntimeError, 450),
            (lambda: setattr(c, "Sequence", object()), TypeError, None),
            (lambda: c.on("Completed", print), ValueError, None),
            (lambda: aurelix.set_test_signal("sine", frequency=-5), ValueError, None),
            (lambda: c.DoFFT([40000, 0]), ValueError, None)):
        with pytest.raises(error) as raised:
            call()
        assert getattr(raised.value, "number", None) == number
        assert number is None or raised.value.description and raised.value.source
    samples = np.round(1000 * np.sin(2 * np.pi * 8 * np.arange(256) / 256)).astype(np.int16)
    assert c.DoFFT(samples).argmax() == 8 and c.Samples == 256


def test_capture_on_the_simulated_sine_and_handlers_that_raise():
    aurelix.set_test_signal("sine", frequency=1000, amplitude=16384)
    sine = aurelix.Aurel()
    sine.Device = next(d["index"] for d in aurelix.devices() if "simulated" in d["name"])
    sine.LoopMethod = 1
    seen = []
    for name in ("WaveDeviceOpened", "Complete", "FrequencyTrigger", "WaveDeviceClosed"):
        sine.on(name, lambda name=name, **arguments: seen.append((name, arguments)))

    def refuse(**_):
        raise KeyError("from the handler")

    sine.on("ChangedSamples", refuse)
    with pytest.raises(KeyError, match="from the handler"):
        sine.Samples = 1000
    assert sine.Samples == 1024  # the write itself went through
    assert sine.AddTrigger(1, 950.0, 1050.0, 5.0) == 0
    sine.Analysis = 19  # with the reduced spectrum
    sine.Init()
    sine.Start()
    sine.run(0.5)
    fired = {index for name, arguments in seen if name == "FrequencyTrigger"
             for index in arguments["Triggers"][:arguments["n"]].tolist()}
    assert seen[0][0] == "WaveDeviceOpened" and fired == {1}
    tone_bin = round(1000 / (44100 / 1024))
    spectrum, wave, peaks = sine.Spectrum(1), sine.WaveData(1), sine.Peaks(1)
    assert spectrum.dtype == np.float32 and spectrum.argmax() == tone_bin
    assert wave.dtype == np.int16 and wave.shape == (1024,) and np.abs(wave).max() > 16000
    assert peaks.shape[1] == 2 and tone_bin in peaks[:, 0]  # rows (bin, magnitude)

    sine.on("Complete", refuse)
    started = time.monotonic()
    with pytest.raises(KeyError):
        sine.run(10)
    assert time.monotonic() - started < 10
    sine.off("Complete", refuse)
    sine.run(0.1)  # the control still runs
    assert sine.Reset() == 0 and seen[-1][0] == "WaveDeviceClosed"


def test_the_loop_lets_other_threads_run_but_not_use_a_control_and_ctrl_c_ends_it():
    c = aurelix.Aurel()
    ticks, refusals, stop = [], [], threading.Event()

    def tick():
        try:
            c.SPS
        except ValueError as refused:
            refusals.append(refused)
        while not stop.wait(0.01):
            ticks.append(1)

    worker = threading.Thread(target=tick)
    worker.start()
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)  # a shell may ignore it
    try:
        threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT)).start()
        with pytest.raises(KeyboardInterrupt):
            aurelix.pump(10)
    finally:
        signal.signal(signal.SIGINT, previous)
        stop.set()
        worker.join()
    assert len(refusals) == 1
    assert len(ticks) > 10  # 0 to 1 if the loop held the GIL
