#include "aurelix/control/aurel_dispatch.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::control {

namespace {

using platform::BoundedArray;
using platform::Variant;
using Args = std::span<Variant>;
using Call = Variant (*)(Aurel&, Args);

constexpr auto kMethod = MemberKind::Method;
constexpr auto kGet = MemberKind::PropertyGet;
constexpr auto kLet = MemberKind::PropertyLet;

struct Member {
    MemberInfo info;
    Call call;
};

// A by-reference array argument: Empty becomes an empty array of the right type.
template <class Element>
BoundedArray<Element>& ArrayArgument(Variant& argument) {
    if (argument.IsEmpty()) {
        argument = Variant(BoundedArray<Element>{});
    }
    return argument.Array<Element>();
}

int32_t Long(const Variant& v) {
    return v.ToLong();
}
int16_t Integer(const Variant& v) {
    return v.ToInteger();
}

// The interface in its fixed order; the dispatch ids are those hosts bind to.
const std::vector<Member>& Members() {
    static const std::vector<Member> members = {
        {{"AddTrigger", 0x60030020, kMethod, 4, 0},
         [](Aurel& c, Args a) -> Variant {
             return c.AddTrigger(Long(a[0]), a[1].ToDouble(), a[2].ToDouble(), a[3].ToSingle());
         }},
        {{"AnalysisTime", 0x60030021, kMethod, 1, 1},
         [](Aurel& c, Args a) -> Variant {
             return c.AnalysisTime(Long(a[0]), a.size() > 1 ? Long(a[1]) : 0);
         }},
        {{"ExportData", 0x60030022, kMethod, 0, 0},
         [](Aurel& c, Args) -> Variant {
             c.ExportData();
             return {};
         }},
        {{"DoFFT", 0x60030023, kMethod, 2, 0},
         [](Aurel& c, Args a) -> Variant {
             return c.DoFFT(ArrayArgument<int16_t>(a[0]), ArrayArgument<float>(a[1]));
         }},
        {{"SetConstants", 0x60030024, kMethod, 0, 0},
         [](Aurel& c, Args) -> Variant {
             c.SetConstants();
             return {};
         }},
        {{"SetOneShot", 0x60030025, kMethod, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.SetOneShot(Long(a[0]));
             return {};
         }},
        {{"SPS", 0x6803001F, kGet, 0, 0}, [](Aurel& c, Args) -> Variant { return c.SPS(); }},
        {{"SPS", 0x6803001F, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.SPS(Long(a[0]));
             return {};
         }},
        {{"Bips", 0x6803001E, kGet, 0, 0}, [](Aurel& c, Args) -> Variant { return c.Bips(); }},
        {{"Bips", 0x6803001E, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.Bips(Integer(a[0]));
             return {};
         }},
        {{"Channels", 0x6803001D, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.Channels(); }},
        {{"Channels", 0x6803001D, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.Channels(Integer(a[0]));
             return {};
         }},
        {{"Samples", 0x6803001C, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.Samples(); }},
        {{"Samples", 0x6803001C, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.Samples(Long(a[0]));
             return {};
         }},
        {{"Start", 0x60030026, kMethod, 0, 0}, [](Aurel& c, Args) -> Variant { return c.Start(); }},
        {{"Version", 0x60030028, kMethod, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.Version(); }},
        {{"Init", 0x60030037, kMethod, 0, 1},
         [](Aurel& c, Args a) -> Variant { return c.Init(a.empty() ? 1 : Long(a[0])); }},
        {{"Pause", 0x60030038, kMethod, 0, 0}, [](Aurel& c, Args) -> Variant { return c.Pause(); }},
        {{"Reset", 0x60030039, kMethod, 0, 0}, [](Aurel& c, Args) -> Variant { return c.Reset(); }},
        {{"DataPointer", 0x6803001B, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.DataPointer(); }},
        {{"DataPointer", 0x6803001B, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.DataPointer(Long(a[0]));
             return {};
         }},
        {{"LoopMethod", 0x6803001A, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.LoopMethod(); }},
        {{"LoopMethod", 0x6803001A, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.LoopMethod(Integer(a[0]));
             return {};
         }},
        {{"Threshold", 0x68030019, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.Threshold(); }},
        {{"Threshold", 0x68030019, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.Threshold(a[0].ToSingle());
             return {};
         }},
        {{"TimerInterval", 0x68030018, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.TimerInterval(); }},
        {{"TimerInterval", 0x68030018, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.TimerInterval(Long(a[0]));
             return {};
         }},
        {{"Analysis", 0x68030017, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.Analysis(); }},
        {{"Analysis", 0x68030017, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.Analysis(Long(a[0]));
             return {};
         }},
        {{"SamplingTime", 0x68030016, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.SamplingTime(); }},
        {{"SamplingTime", 0x68030016, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.SamplingTime(a[0].ToDouble());
             return {};
         }},
        {{"WaveData", 0x68030015, kGet, 2, 0},
         [](Aurel& c, Args a) -> Variant {
             return c.WaveData(ArrayArgument<int16_t>(a[0]), Long(a[1]));
         }},
        {{"Spectrum", 0x68030014, kGet, 2, 0},
         [](Aurel& c, Args a) -> Variant {
             return c.Spectrum(ArrayArgument<float>(a[0]), Long(a[1]));
         }},
        {{"RawData", 0x68030013, kGet, 2, 0},
         [](Aurel& c, Args a) -> Variant {
             return c.RawData(ArrayArgument<int16_t>(a[0]), Long(a[1]));
         }},
        {{"Status", 0x68030012, kGet, 0, 0}, [](Aurel& c, Args) -> Variant { return c.Status(); }},
        {{"FileName", 0x68030011, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.FileName(); }},
        {{"FileName", 0x68030011, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.FileName(a[0].ToString());
             return {};
         }},
        {{"MaxRecordingTime", 0x68030010, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.MaxRecordingTime(); }},
        {{"MaxRecordingTime", 0x68030010, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.MaxRecordingTime(Long(a[0]));
             return {};
         }},
        {{"Recording", 0x6803000F, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.Recording(); }},
        {{"Recording", 0x6803000F, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.Recording(a[0].ToBoolean());
             return {};
         }},
        {{"Peaks", 0x6803000E, kGet, 2, 0},
         [](Aurel& c, Args a) -> Variant {
             return c.Peaks(ArrayArgument<float>(a[0]), Long(a[1]));
         }},
        {{"DeviceHandle", 0x6803000D, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.DeviceHandle(); }},
        {{"DeviceName", 0x6803000C, kGet, 1, 0},
         [](Aurel& c, Args a) -> Variant { return c.DeviceName(Long(a[0])); }},
        {{"Buffers", 0x6803000B, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.Buffers(); }},
        {{"Buffers", 0x6803000B, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.Buffers(Long(a[0]));
             return {};
         }},
        {{"Device", 0x6803000A, kGet, 0, 0}, [](Aurel& c, Args) -> Variant { return c.Device(); }},
        {{"Device", 0x6803000A, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.Device(Long(a[0]));
             return {};
         }},
        {{"FilePointer", 0x68030009, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.FilePointer(); }},
        {{"FilePointer", 0x68030009, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.FilePointer(Long(a[0]));
             return {};
         }},
        {{"Playing", 0x68030008, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.Playing(); }},
        {{"Playing", 0x68030008, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.Playing(a[0].ToBoolean());
             return {};
         }},
        {{"BlockCount", 0x68030007, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.BlockCount(); }},
        {{"BlockCount", 0x68030007, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.BlockCount(Long(a[0]));
             return {};
         }},
        {{"MissedCount", 0x68030006, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.MissedCount(); }},
        {{"MissedCount", 0x68030006, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.MissedCount(Long(a[0]));
             return {};
         }},
        {{"MaxAmplitudeL", 0x68030005, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.MaxAmplitudeL(); }},
        {{"MaxAmplitudeR", 0x68030004, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.MaxAmplitudeR(); }},
        {{"MaxFrequencyL", 0x68030003, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.MaxFrequencyL(); }},
        {{"MaxFrequencyR", 0x68030002, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.MaxFrequencyR(); }},
        {{"Sequence", 0x68030001, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.Sequence(); }},
        {{"Sequence", 0x68030001, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.Sequence(a[0]);
             return {};
         }},
        {{"Devices", 0x68030000, kGet, 0, 0},
         [](Aurel& c, Args) -> Variant { return c.Devices(); }},
        {{"Devices", 0x68030000, kLet, 1, 0},
         [](Aurel& c, Args a) -> Variant {
             c.Devices(Long(a[0]));
             return {};
         }},
    };
    return members;
}

const std::vector<MemberInfo>& MemberInfos() {
    static const std::vector<MemberInfo> infos = [] {
        std::vector<MemberInfo> list;
        for (const auto& member : Members()) {
            list.push_back(member.info);
        }
        return list;
    }();
    return infos;
}

constexpr EventInfo kEvents[] = {
    {"DoneRecordig", 1, 0, {}},
    {"ChangedSamples", 2, 1, {"OldSamples"}},
    {"Complete", 3, 3, {"BlockIndex", "BufferIndex", "dt"}},
    {"MissedBuffer", 4, 3, {"BlockIndex", "BufferIndex", "dt"}},
    {"WaveDeviceOpened", 5, 1, {"DeviceHandle"}},
    {"WaveDeviceClosed", 6, 1, {"DeviceHandle"}},
    {"FrequencyTrigger", 7, 2, {"n", "Triggers"}},
    {"FrequencyTriggersOff", 8, 0, {}},
};

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

[[noreturn]] void NotSupported() {
    platform::Raise(platform::err::kMemberNotSupported);
}

}  // namespace

std::span<const MemberInfo> AurelMembers() {
    return MemberInfos();
}

std::span<const EventInfo> AurelEventInfos() {
    return kEvents;
}

int32_t GetIDOfName(std::string_view name) {
    for (const auto& member : Members()) {
        if (SameName(member.info.name, name)) {
            return member.info.dispatchId;
        }
    }
    NotSupported();
}

Variant Invoke(Aurel& control, int32_t dispatchId, MemberKind kind, std::span<Variant> arguments) {
    for (const auto& member : Members()) {
        if (member.info.dispatchId != dispatchId || member.info.kind != kind) {
            continue;
        }
        const auto count = static_cast<int64_t>(arguments.size());
        if (count < member.info.requiredArguments ||
            count > member.info.requiredArguments + member.info.optionalArguments) {
            platform::Raise(platform::err::kWrongNumberOfArguments);
        }
        return member.call(control, arguments);
    }
    NotSupported();
}

Variant Invoke(Aurel& control, std::string_view name, MemberKind kind,
               std::span<Variant> arguments) {
    return Invoke(control, GetIDOfName(name), kind, arguments);
}

void DispatchEventSink::Raise(int32_t dispatchId, std::span<Variant> arguments) {
    if (handler_) {
        handler_(kEvents[dispatchId - 1], arguments);
    }
}

void DispatchEventSink::DoneRecordig() {
    Raise(1, {});
}

void DispatchEventSink::ChangedSamples(int32_t OldSamples) {
    Variant arguments[] = {OldSamples};
    Raise(2, arguments);
}

void DispatchEventSink::Complete(int32_t BlockIndex, int32_t BufferIndex, double dt) {
    Variant arguments[] = {BlockIndex, BufferIndex, dt};
    Raise(3, arguments);
}

void DispatchEventSink::MissedBuffer(int32_t BlockIndex, int32_t BufferIndex, double dt) {
    Variant arguments[] = {BlockIndex, BufferIndex, dt};
    Raise(4, arguments);
}

void DispatchEventSink::WaveDeviceOpened(int32_t DeviceHandle) {
    Variant arguments[] = {DeviceHandle};
    Raise(5, arguments);
}

void DispatchEventSink::WaveDeviceClosed(int32_t DeviceHandle) {
    Variant arguments[] = {DeviceHandle};
    Raise(6, arguments);
}

void DispatchEventSink::FrequencyTrigger(int32_t n, BoundedArray<int32_t>& Triggers) {
    Variant arguments[] = {n, Triggers};
    Raise(7, arguments);
    Triggers = arguments[1].Array<int32_t>();  // by reference: what the handler left
}

void DispatchEventSink::FrequencyTriggersOff() {
    Raise(8, {});
}

}  // namespace aurelix::control
