#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "aurelix/control/aurel.h"
#include "aurelix/control/aurel_events.h"
#include "aurelix/platform/runtime/variant.h"

// The late-bound interface of the Aurel control: every member by name and dispatch id,
// called with variant arguments, for hosts that do not compile against aurel.h (the
// command line, scripting hosts, a C API).
namespace aurelix::control {

enum class MemberKind { Method, PropertyGet, PropertyLet };

struct MemberInfo {
    std::string_view name;
    int32_t dispatchId;
    MemberKind kind;
    int16_t requiredArguments;  // for a Let: including the new value, which comes last
    int16_t optionalArguments;
};

struct EventInfo {
    std::string_view name;
    int32_t dispatchId;
    int16_t arguments;
    std::array<std::string_view, 3> argumentNames;  // the first `arguments` are used
};

// The control's 64 members in the order of its interface (a property's Get, then its Let).
std::span<const MemberInfo> AurelMembers();
// The 8 events, dispatch ids 1 to 8.
std::span<const EventInfo> AurelEventInfos();

// The dispatch id of a member, the name compared without regard to case; Object doesn't
// support this property or method (438) for an unknown name.
int32_t GetIDOfName(std::string_view name);

// Calls a member. Arguments come in declaration order; the arrays of WaveData, Spectrum,
// RawData, Peaks and DoFFT are by reference: the variant passed is replaced by the result
// (an Empty variant is accepted there as "no array yet"). Errors: 438 for an unknown id or
// a kind the member lacks (a Let of a read-only property), 450 for a wrong argument count,
// 13 for an argument of the wrong type, and whatever the member itself raises.
platform::Variant Invoke(Aurel& control, int32_t dispatchId, MemberKind kind,
                         std::span<platform::Variant> arguments);
platform::Variant Invoke(Aurel& control, std::string_view name, MemberKind kind,
                         std::span<platform::Variant> arguments);

// An event sink that hands every event to one function with its dispatch id and its
// arguments as variants (FrequencyTrigger's array by reference).
class DispatchEventSink : public AurelEvents {
  public:
    using Handler =
        std::function<void(const EventInfo& event, std::span<platform::Variant> arguments)>;
    explicit DispatchEventSink(Handler handler) : handler_(std::move(handler)) {}

    void DoneRecordig() override;
    void ChangedSamples(int32_t OldSamples) override;
    void Complete(int32_t BlockIndex, int32_t BufferIndex, double dt) override;
    void MissedBuffer(int32_t BlockIndex, int32_t BufferIndex, double dt) override;
    void WaveDeviceOpened(int32_t DeviceHandle) override;
    void WaveDeviceClosed(int32_t DeviceHandle) override;
    void FrequencyTrigger(int32_t n, platform::BoundedArray<int32_t>& Triggers) override;
    void FrequencyTriggersOff() override;

  private:
    void Raise(int32_t dispatchId, std::span<platform::Variant> arguments);
    Handler handler_;
};

}  // namespace aurelix::control
