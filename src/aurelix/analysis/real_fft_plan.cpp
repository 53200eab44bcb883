#include "aurelix/analysis/real_fft_plan.h"

#include <array>
#include <bit>
#include <cmath>
#include <new>
#include <numbers>

#include "aurelix/analysis/power_of_two.h"
#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::analysis {

namespace {

constexpr std::align_val_t kAlignment{64};
constexpr int32_t kFloatsPerLine = 16;

int64_t WholeLines(int64_t floats) {
    return (floats + kFloatsPerLine - 1) / kFloatsPerLine * kFloatsPerLine;
}

// exp(-2 pi i numerator / denominator), the angle reduced exactly first.
void UnitRoot(int64_t numerator, int64_t denominator, float& re, float& im) {
    const double angle =
        2.0 * std::numbers::pi * double(numerator % denominator) / double(denominator);
    re = float(std::cos(angle));
    im = float(-std::sin(angle));
}

// Floats of twiddles for the radix-4 stages of a column of `columnLength` points.
int64_t StageTwiddleCount(int32_t columnLength) {
    int64_t count = 0;
    for (int32_t length = columnLength; length >= 4; length /= 4) {
        count += 6 * (length / 4);
    }
    return count;
}

}  // namespace

void RealFftPlan::AlignedFree::operator()(float* memory) const noexcept {
    ::operator delete(memory, kAlignment);
}

bool RealFftPlan::Fits(int32_t length, int32_t lanes) {
    if (!IsPowerOfTwo(length) || length < 2) {
        return false;
    }
    const int32_t points = length / 2;
    switch (lanes) {
        case 1:
            return true;
        case 4:
            return points >= 4 * 4;
        case 8:
            return points >= 8 * 8 && CpuHasEightLanes();
        default:
            return false;
    }
}

int32_t RealFftPlan::LanesFor(int32_t length) {
    for (int32_t lanes : {8, 4}) {
        if (Fits(length, lanes)) {
            return lanes;
        }
    }
    return 1;
}

RealFftPlan& RealFftPlan::ForLength(int32_t length) {
    if (!IsPowerOfTwo(length)) {
        platform::Raise(platform::err::kInvalidCall);
    }
    thread_local std::array<std::unique_ptr<RealFftPlan>, 31> plans;
    std::unique_ptr<RealFftPlan>& plan = plans[size_t(std::countr_zero(uint32_t(length)))];
    if (!plan) {
        plan = std::make_unique<RealFftPlan>(length, LanesFor(length));
    }
    return *plan;
}

RealFftPlan::RealFftPlan(int32_t length, int32_t lanes) {
    if (!Fits(length, lanes)) {
        platform::Raise(platform::err::kInvalidCall);
    }
    const int32_t points = length / 2;
    const int32_t columnLength = points / lanes;
    const int64_t stageFloats = WholeLines(StageTwiddleCount(columnLength));
    const int64_t columnFloats = lanes > 1 ? WholeLines(points) : 0;
    const int64_t splitFloats = WholeLines(points / 2 + 1);
    const int64_t workFloats = WholeLines(points);
    const int64_t total = stageFloats + 2 * columnFloats + 2 * splitFloats + 4 * workFloats;
    memory_.reset(static_cast<float*>(::operator new(size_t(total) * sizeof(float), kAlignment)));

    float* next = memory_.get();
    auto take = [&next](int64_t floats) {
        float* taken = next;
        next += floats;
        return taken;
    };
    float* stageTwiddles = take(stageFloats);
    float* columnRe = take(columnFloats);
    float* columnIm = take(columnFloats);
    float* splitRe = take(splitFloats);
    float* splitIm = take(splitFloats);
    for (float*& work : tables_.work) {
        work = take(workFloats);
    }

    float* stage = stageTwiddles;
    for (int32_t stageLength = columnLength; stageLength >= 4; stageLength /= 4) {
        for (int32_t p = 0; p < stageLength / 4; ++p) {
            for (int32_t power = 1; power <= 3; ++power) {
                UnitRoot(int64_t(power) * p, stageLength, stage[0], stage[1]);
                stage += 2;
            }
        }
    }
    if (lanes > 1) {
        for (int32_t k1 = 0; k1 < columnLength; ++k1) {
            for (int32_t j2 = 0; j2 < lanes; ++j2) {
                const int32_t at = k1 * lanes + j2;
                UnitRoot(int64_t(j2) * k1, points, columnRe[at], columnIm[at]);
            }
        }
    }
    for (int32_t k = 0; k <= points / 2; ++k) {
        UnitRoot(k, length, splitRe[k], splitIm[k]);
    }

    tables_.length = length;
    tables_.lanes = lanes;
    tables_.columnLength = columnLength;
    tables_.stageTwiddles = stageTwiddles;
    tables_.columnTwiddlesRe = columnRe;
    tables_.columnTwiddlesIm = columnIm;
    tables_.splitTwiddlesRe = splitRe;
    tables_.splitTwiddlesIm = splitIm;
    kernel_ = KernelForLanes(lanes);
}

}  // namespace aurelix::analysis
