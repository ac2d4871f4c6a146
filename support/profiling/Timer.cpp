#include "Timer.h"

#include <time.h>

#include "../MoxError.h"

static const MoxComponent componentId = Support;

namespace support {
namespace profiling {

void Timer::reportMisuse() const {
    MOX_SET_ERROR(MOX_INTERNAL_FAIL);
}

void Timer::startTimer() {
    if (running) {
        reportMisuse();
    }
    running = true;
    startTime = getCurrentSystemTimeMicros();
}

size_t Timer::stopTimer() {
    if (!running) {
        // There is no measurement: adding the time since an old start (or
        // since boot) would corrupt the total.
        reportMisuse();
        return 0;
    }
    running = false;
    size_t elapsed = getCurrentSystemTimeMicros() - startTime;
    accumulated += elapsed;
    return elapsed;
}

size_t Timer::getAccumulatedTimer() const {
    if (running) {
        reportMisuse();
    }
    return accumulated;
}

std::string Timer::getXML(const std::string& name) const {
    return "<" + name + " unit=\"microseconds\">" + std::to_string(getAccumulatedTimer()) + "</" + name + ">";
}

size_t Timer::getCurrentSystemTimeMicros() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<size_t>(now.tv_sec) * 1000000 + static_cast<size_t>(now.tv_nsec) / 1000;
}

}  // namespace profiling
}  // namespace support
