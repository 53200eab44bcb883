import os
import signal
import threading
import time

import numpy as np
import pytest

import aurelix


@pytest.fixture
def sine():
    """A control on the simulated 1 kHz sine, message-driven."""
    aurelix.set_test_signal("sine", frequency=1000, amplitude=16384)
    control = aurelix.Aurel()
    control.Device = next(d["index"] for d in aurelix.devices() if "simulated" in d["name"])
    control.LoopMethod = 1
    yield control
    control.Reset()


@pytest.mark.parametrize("user_mode, name, value, number", [
    (True, "SamplingTime", 1.0, 382),
    (False, "Device", 1, 387),
    (True, "Status", 7, 438),
])
def test_refused_writes_carry_their_number_and_change_nothing(user_mode, name, value, number):
    c = aurelix.Aurel(user_mode=user_mode)
    before = getattr(c, name)
    with pytest.raises(aurelix.RuntimeError) as refused:
        setattr(c, name, value)
    assert refused.value.number == number
    assert refused.value.description and isinstance(refused.value.source, str)
    assert getattr(c, name) == before


def test_bad_arguments_are_refused_clearly():
    c = aurelix.Aurel()
    c.Threshold = 2.5  # a Single: kept to 1/320
    assert c.Threshold == pytest.approx(2.5, abs=1 / 320)
    with pytest.raises(aurelix.RuntimeError) as wrong_count:
        c.AddTrigger(1, 950)
    assert wrong_count.value.number == 450
    with pytest.raises(TypeError):
        c.Sequence = object()
    with pytest.raises(ValueError):
        c.on("Completed", print)
    with pytest.raises(ValueError):
        aurelix.set_test_signal("sine", frequency=-5)
    samples = np.round(1000 * np.sin(2 * np.pi * 8 * np.arange(256) / 256)).astype(np.int16)
    assert c.DoFFT(samples).argmax() == 8 and c.Samples == 256
    with pytest.raises(ValueError):
        c.DoFFT([40000, 0])


def test_capture_on_the_simulated_sine(sine):
    counts = {name: 0 for name in ("WaveDeviceOpened", "Complete", "FrequencyTrigger",
                                   "WaveDeviceClosed")}
    fired = set()
    for name in counts:
        sine.on(name, lambda name=name, **arguments: counts.__setitem__(name, counts[name] + 1))
    sine.on("FrequencyTrigger", lambda n, Triggers: fired.update(Triggers[:n].tolist()))
    assert sine.AddTrigger(1, 950.0, 1050.0, 5.0) == 0
    assert sine.AddTrigger(2, 3000.0, 3100.0, 5.0) == 0
    sine.Analysis = 19  # with the reduced spectrum

    assert sine.Init() == 0
    assert sine.Status & 3 == 3 and counts["WaveDeviceOpened"] == 1
    sine.Start()
    sine.run(0.5)
    assert counts["Complete"] >= 5
    assert counts["FrequencyTrigger"] >= 1 and fired == {1}

    bin_width = 44100 / 1024
    spectrum = sine.Spectrum(1)
    assert spectrum.dtype == np.float32 and spectrum.argmax() == round(1000 / bin_width)
    assert abs(sine.MaxFrequencyL - 1000) < bin_width
    wave = sine.WaveData(1)
    assert wave.dtype == np.int16 and wave.shape == (1024,)
    assert 16000 <= np.abs(wave).max() <= 16384
    peaks = sine.Peaks(1)  # rows (bin, magnitude), each delivered once
    assert peaks.ndim == 2 and peaks.shape[1] == 2
    assert round(1000 / bin_width) in peaks[:, 0] and np.all(peaks[:, 1] > 5 * 320)
    assert sine.Peaks(1).shape == (0, 2)

    assert sine.Reset() == 0
    assert sine.Status == 0 and counts["WaveDeviceClosed"] == 1


def test_handler_exceptions_and_ctrl_c_end_the_call_that_ran_them(sine):
    def refuse(**_):
        raise KeyError("from the handler")

    sine.on("ChangedSamples", refuse)
    with pytest.raises(KeyError, match="from the handler"):
        sine.Samples = 1000
    assert sine.Samples == 1024  # the write itself went through

    sine.on("Complete", refuse)
    sine.Init()
    sine.Start()
    started = time.monotonic()
    with pytest.raises(KeyError):
        sine.run(10)
    assert time.monotonic() - started < 10
    sine.off("Complete", refuse)
    sine.run(0.1)  # the control still runs

    # A shell may start the tests with SIGINT ignored; Ctrl-C is what is tested here.
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT)).start()
        started = time.monotonic()
        with pytest.raises(KeyboardInterrupt):
            aurelix.pump(10)
        assert time.monotonic() - started < 10
    finally:
        signal.signal(signal.SIGINT, previous)


def test_the_loop_lets_other_threads_run_but_not_use_a_control():
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
    aurelix.pump(0.5)
    stop.set()
    worker.join()
    assert len(refusals) == 1
    assert len(ticks) > 10  # 0 to 1 if the loop held the GIL
