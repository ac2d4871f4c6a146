#ifndef COMPARE_CLOCK_H
#define COMPARE_CLOCK_H

#include <time.h>

// Seconds on the monotonic clock, for measuring intervals.
inline double monotonicSeconds() {
    timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

#endif
