#include "probe/media_timing.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMeasuredSeconds = 2.0;
constexpr double kPercentile = 0.99;
constexpr double kMarginMs = 20;
constexpr int kStepMs = 10;
constexpr int kLargestMs = 4000;
// A bound on what is kept: 2 s of a busy stream is far less.
constexpr size_t kMaxSamples = 200000;

}  // namespace

void TransitJitter::add(double mediaSeconds, double arrivalSeconds)
{
    if (transits_.size() == kMaxSamples)
        return;
    if (transits_.empty())
        firstArrival_ = arrivalSeconds;
    lastArrival_ = arrivalSeconds;
    transits_.push_back(arrivalSeconds - mediaSeconds);
}

std::optional<int> TransitJitter::suggestedBufferMs() const
{
    if (transits_.empty() || lastArrival_ - firstArrival_ < kMeasuredSeconds)
        return std::nullopt;
    std::vector<double> sorted = transits_;
    std::sort(sorted.begin(), sorted.end());
    const double quickest = sorted.front();
    const size_t rank = static_cast<size_t>(std::ceil(kPercentile * static_cast<double>(sorted.size()))) - 1;
    const double delayMs = (sorted[rank] - quickest) * 1000 + kMarginMs;
    const int rounded = static_cast<int>(std::ceil(delayMs / kStepMs - 1e-9)) * kStepMs;
    return std::clamp(rounded, 0, kLargestMs);
}
