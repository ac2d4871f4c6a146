#ifndef MOX_PROFILING_TIMER_H
#define MOX_PROFILING_TIMER_H

#include <cstddef>
#include <string>

namespace support {
namespace profiling {

// Accumulates the microseconds of repeated measurements of one operation.
class Timer {
  public:
    void startTimer();
    // Returns the microseconds of this measurement; 0 when none was running.
    size_t stopTimer();
    size_t getAccumulatedTimer() const;
    std::string getXML(const std::string& name) const;
    static const char* getTypeName() { return "Timers"; }
    static size_t getCurrentSystemTimeMicros();

  private:
    // A misuse (starting a running timer, reading one) is recorded in the
    // error object, never thrown: profiling must not break an operation.
    void reportMisuse() const;

    size_t accumulated = 0;
    size_t startTime = 0;
    bool running = false;
};

}  // namespace profiling
}  // namespace support

#endif
