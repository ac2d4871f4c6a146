#ifndef MOX_PROFILING_SCOPED_TIMER_H
#define MOX_PROFILING_SCOPED_TIMER_H

#include "Timer.h"

namespace support {

// Times the scope it lives in with the profiler's timer at index.
template <typename Profiler, typename Enum>
class ScopedTimer {
  public:
    ScopedTimer(Profiler& profiler, Enum index)
        : timer(profiler.getMeasureValueReference(index, profiling::Timer()).first) {
        timer.startTimer();
    }
    ~ScopedTimer() { timer.stopTimer(); }
    ScopedTimer(const ScopedTimer&) = delete;
    ScopedTimer& operator=(const ScopedTimer&) = delete;

  private:
    profiling::Timer& timer;
};

}  // namespace support

#endif
