"""Docstrings of the control's members and events, by name."""

MEMBER_DOCS = {
    "AddTrigger": "AddTrigger(Index, F1, F2, Threshold) -> int\n\n"
    "Sets frequency trigger Index (1, 2, ...) to the band F1..F2 Hz with its own Threshold; "
    "the bands are turned into spectrum bins at the next Init. Returns 0.",
    "AnalysisTime": "AnalysisTime(nCycles, Typ=0) -> float\n\n"
    "Pushes the settings into the engine and returns its estimate of the analysis time.",
    "ExportData": "ExportData() -> None\n\nCopies the left spectrum into the export buffer.",
    "DoFFT": "DoFFT(samples) -> numpy.ndarray[float32]\n\n"
    "Transforms int16 samples (the largest power of two that fits) and returns the "
    "magnitude spectrum; Samples follows the transform length (ChangedSamples).",
    "SetConstants": "SetConstants() -> None\n\nDoes nothing; kept for the interface.",
    "SetOneShot": "SetOneShot(t) -> None\n\nRe-queues one buffer (loop method 3).",
    "SPS": "Samples per second (int). Also sets the engine's sample rate at once.",
    "Bips": "Bits per sample (int, 16).",
    "Channels": "Channels (1 or 2).",
    "Samples": "Samples per block (int, at least 1; a power of two with the FFT bit, which "
    "raises ChangedSamples when it changes the value).",
    "Start": "Start() -> int\n\nQueues the buffers and starts capture; the engine's result.",
    "Version": "Version() -> str\n\nThe library's version, such as '1.0.52'.",
    "Init": "Init(Typ=1) -> int\n\nPushes the settings into the engine and opens the device "
    "(WaveDeviceOpened, Status 3 when it opened). Returns 0 either way.",
    "Pause": "Pause() -> None\n\nClears the running bit; Start resumes.",
    "Reset": "Reset() -> int\n\nStops and closes the device, finishes a recording, Status 0.",
    "DataPointer": "Host value kept with the control (int); design-time writes refused (387).",
    "LoopMethod": "0: the control's timer, 1: the device's messages, 3: one buffer per "
    "SetOneShot.",
    "Threshold": "Level for the reduced spectrum and the trigger gate (float, x 320 in sample "
    "units); reaches the engine at once.",
    "TimerInterval": "Interval of the control's timer in milliseconds (loop method 0).",
    "Analysis": "What each block gets (int bits): 0 none, 1 amplitude, 3 FFT, 7 max "
    "frequency, 11 first frequency, 19 reduced spectrum, 33 zero crossings.",
    "SamplingTime": "Duration of one block in milliseconds (float); writing is refused "
    "(382 at run time).",
    "WaveData": "WaveData(Channel) -> numpy.ndarray[int16]\n\n"
    "The samples of the last analysed block of channel 1 or 2.",
    "Spectrum": "Spectrum(Channel) -> numpy.ndarray[float32]\n\n"
    "The magnitude spectrum of the last analysed block (error 9 before the first one).",
    "RawData": "RawData(BufferIndex) -> numpy.ndarray[int16]\n\n"
    "Ring buffer BufferIndex (1..Buffers) as recorded, channels interleaved.",
    "Status": "Device state bits (read only): 1 confirmed open, 2 handle held, 4 running.",
    "FileName": "WAV file that Recording writes (str).",
    "MaxRecordingTime": "Recording limit in seconds (int, 0: none).",
    "Recording": "Whether captured blocks are written to FileName (bool, run time only).",
    "Peaks": "Peaks(Channel) -> numpy.ndarray[float32] of shape (n, 2)\n\n"
    "The reduced spectrum of the last block as rows (bin, magnitude); delivered once, "
    "then empty until the next block.",
    "DeviceHandle": "Handle of the open wave device (int, read only).",
    "DeviceName": "DeviceName(Index) -> str\n\nName of input device Index ('' out of range).",
    "Buffers": "Number of ring buffers (int).",
    "Device": "Input device index (int, run time only).",
    "FilePointer": "Position in the played file (read only).",
    "Playing": "Whether a file is playing (read only).",
    "BlockCount": "Host block counter (int, run time only).",
    "MissedCount": "Blocks that arrived while an analysis was running (int).",
    "MaxAmplitudeL": "Largest absolute sample of the left channel in the last block.",
    "MaxAmplitudeR": "Largest absolute sample of the right channel in the last block.",
    "MaxFrequencyL": "Dominant frequency of the left channel in the last block, in Hz.",
    "MaxFrequencyR": "Dominant frequency of the right channel in the last block, in Hz.",
    "Sequence": "Any value or array the host keeps with the control (run time only).",
    "Devices": "Number of input devices found when the control was placed (read only).",
}

EVENT_DOCS = {
    "DoneRecordig": "The recording file is complete and closed.",
    "ChangedSamples": "Samples was changed to fit the analysis; OldSamples is the value asked.",
    "Complete": "A block was analysed: BlockIndex, BufferIndex, dt (seconds).",
    "MissedBuffer": "A block could not be analysed: BlockIndex, BufferIndex, dt.",
    "WaveDeviceOpened": "The device confirmed it is open: DeviceHandle.",
    "WaveDeviceClosed": "The device closed: DeviceHandle.",
    "FrequencyTrigger": "Triggers fired in the last block: n, Triggers (int32 array of "
    "trigger indexes, one per bin at or above the trigger's level).",
    "FrequencyTriggersOff": "The triggers stopped firing (once after a run of "
    "FrequencyTrigger events).",
}
