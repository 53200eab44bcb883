#include "aurelix/platform/runtime/clock.h"

#include <ctime>
#include <filesystem>

#include <dlfcn.h>
#include <link.h>

#include "aurelix/platform/runtime/build_info.h"

namespace aurelix::platform {

namespace {
constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;
}  // namespace

bool QueryPerformanceCounter(int64_t* count) {
    timespec now{};
    if (count == nullptr || clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
        return false;
    }
    *count = int64_t(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
    return true;
}

bool QueryPerformanceFrequency(int64_t* frequency) {
    if (frequency == nullptr) {
        return false;
    }
    *frequency = kNanosecondsPerSecond;
    return true;
}

float SecondsSinceMidnight() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                           double(now.tv_nsec) / double(kNanosecondsPerSecond);
    return static_cast<float>(seconds);
}

LibraryVersion GetLibraryVersion() {
    return {build_info::kVersionMajor, build_info::kVersionMinor, build_info::kVersionRevision};
}

std::string LibraryFolder() {
    Dl_info info{};
    link_map* map = nullptr;
    // The address of this very function tells which loaded binary holds the library.
    if (dladdr1(reinterpret_cast<void*>(&LibraryFolder), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) == 0 ||
        map == nullptr) {
        return {};
    }
    // The main program's map has no name: the library is linked into the executable.
    const std::filesystem::path binary =
        map->l_name[0] == '\0' ? std::filesystem::path("/proc/self/exe") : map->l_name;
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(binary, error);
    return error ? std::string() : resolved.parent_path().string();
}

}  // namespace aurelix::platform
