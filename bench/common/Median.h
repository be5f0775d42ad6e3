#pragma once

#include <QElapsedTimer>
#include <algorithm>
#include <functional>
#include <vector>

// Runs `work` `runs` times and returns the median wall time in milliseconds.
inline double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    times.reserve(static_cast<size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}
