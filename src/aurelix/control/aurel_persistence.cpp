#include "aurelix/control/aurel.h"

namespace aurelix::control {

namespace {

constexpr int32_t kDefaultSPS = 44100;
constexpr int16_t kDefaultBips = 16;
constexpr int16_t kDefaultChannels = 1;
constexpr int32_t kDefaultSamples = 1024;
constexpr int16_t kDefaultLoopMethod = 0;
constexpr float kDefaultThreshold = 5.0f;
constexpr int32_t kDefaultTimerInterval = 1;
constexpr int32_t kDefaultAnalysis = 3;
constexpr int32_t kDefaultBuffers = 1;

}  // namespace

void Aurel::InitProperties() {
    sps_ = kDefaultSPS;
    bips_ = kDefaultBips;
    channels_ = kDefaultChannels;
    samples_ = kDefaultSamples;
    dataPointer_ = 0;
    loopMethod_ = kDefaultLoopMethod;
    threshold_ = kDefaultThreshold;
    timerInterval_ = kDefaultTimerInterval;
    analysis_ = kDefaultAnalysis;
    samplingTime_ = 0.0;
    fileName_.clear();
    maxRecordingTime_ = 0;
    recording_ = false;
    buffers_ = kDefaultBuffers;
    device_ = 0;
    filePointer_ = 0;
    playing_ = false;
    blockCount_ = 0;
    sequence_ = platform::Variant(int16_t{0});
    devices_ = 0;
}

void Aurel::WriteProperties(platform::PropertyBag& bag) const {
    bag.WriteProperty("SpS", sps_, kDefaultSPS);
    bag.WriteProperty("Bips", bips_, kDefaultBips);
    bag.WriteProperty("Channels", channels_, kDefaultChannels);
    bag.WriteProperty("Samples", samples_, kDefaultSamples);
    bag.WriteProperty("LoopMethod", loopMethod_, kDefaultLoopMethod);
    bag.WriteProperty("Threshold", threshold_, kDefaultThreshold);
    bag.WriteProperty("TimerInterval", timerInterval_, kDefaultTimerInterval);
    bag.WriteProperty("Analysis", analysis_, kDefaultAnalysis);
    bag.WriteProperty("FileName", fileName_, "");
    bag.WriteProperty("MaxRecordingTime", maxRecordingTime_, 0);
    bag.WriteProperty("Buffers", buffers_, kDefaultBuffers);
    bag.WriteProperty("Devices", devices_, 0);
}

void Aurel::ReadProperties(const platform::PropertyBag& bag) {
    // Every value is converted before any is stored, so a value that does not fit its
    // property leaves the control as it was.
    const int32_t sps = bag.ReadProperty("SpS", kDefaultSPS).ToLong();
    const int16_t bips = bag.ReadProperty("Bips", kDefaultBips).ToInteger();
    const int16_t channels = bag.ReadProperty("Channels", kDefaultChannels).ToInteger();
    const int32_t samples = bag.ReadProperty("Samples", kDefaultSamples).ToLong();
    const int32_t dataPointer = bag.ReadProperty("DataPointer", 0).ToLong();
    const int16_t loopMethod = bag.ReadProperty("LoopMethod", kDefaultLoopMethod).ToInteger();
    const float threshold = bag.ReadProperty("Threshold", kDefaultThreshold).ToSingle();
    const int32_t timerInterval = bag.ReadProperty("TimerInterval", kDefaultTimerInterval).ToLong();
    const int32_t analysis = bag.ReadProperty("Analysis", kDefaultAnalysis).ToLong();
    const double samplingTime = bag.ReadProperty("SamplingTime", 0.0).ToDouble();
    const std::string fileName = bag.ReadProperty("FileName", "").ToString();
    const int32_t maxRecordingTime = bag.ReadProperty("MaxRecordingTime", 0).ToLong();
    const int32_t buffers = bag.ReadProperty("Buffers", kDefaultBuffers).ToLong();
    timer1_.Interval(timerInterval);

    sps_ = sps;
    bips_ = bips;
    channels_ = channels;
    samples_ = samples == 0 ? kDefaultSamples : samples;
    dataPointer_ = dataPointer;
    loopMethod_ = loopMethod;
    threshold_ = threshold;
    timerInterval_ = timerInterval;
    analysis_ = analysis;
    samplingTime_ = samplingTime;
    fileName_ = fileName;
    maxRecordingTime_ = maxRecordingTime;
    buffers_ = buffers;
    blockCount_ = 0;
}

}  // namespace aurelix::control
