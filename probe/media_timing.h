#pragma once

#include <optional>
#include <vector>

// The suggested delay of a jitter buffer, from how much the transit time of
// packets (arrival against the time stamp the sender gave them) varies: the
// 99th percentile of each packet's transit beyond the quickest one, plus
// 20 ms, rounded up to 10 ms and kept within 0 to 4000 ms. Suggested only
// when the packets span at least 2 s of arrivals.
class TransitJitter {
public:
    // A packet's media time stamp and its arrival, both in seconds.
    void add(double mediaSeconds, double arrivalSeconds);
    std::optional<int> suggestedBufferMs() const;

private:
    std::vector<double> transits_;
    double firstArrival_ = 0;
    double lastArrival_ = 0;
};
