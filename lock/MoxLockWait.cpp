#include "MoxLockWait.h"

#include <sched.h>
#include <sys/time.h>

#include "../support/MoxTrace.h"

static const MoxComponent componentId = LockManager;

namespace {

const long pauseStepNanoseconds = 20000;
const long longestPauseNanoseconds = 500000;

}  // namespace

MoxLockWait::MoxLockWait() : startSecond(currentSecond()), attempts(0) {}

time_t MoxLockWait::currentSecond() {
    timeval now;
    gettimeofday(&now, nullptr);
    return now.tv_sec;
}

bool MoxLockWait::expired() const {
    MOX_TRACE_ENTRY();
    return currentSecond() >= startSecond + MOX_LOCK_TIMEOUT;
}

void MoxLockWait::pause() {
    MOX_TRACE_ENTRY();
    ++attempts;
    if (attempts == 1) {
        sched_yield();  // the holder may be about to release
        return;
    }
    timespec step = {0, MoxMin(pauseStepNanoseconds * static_cast<long>(attempts), longestPauseNanoseconds)};
    nanosleep(&step, nullptr);
}
