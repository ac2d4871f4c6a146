#ifndef MOX_LOCK_WAIT_H
#define MOX_LOCK_WAIT_H

#include <ctime>

#include "../include/Mox.h"

// One waiting loop of a lock request: its time-out of MOX_LOCK_TIMEOUT
// seconds, counted from the whole second in which the loop began, and the
// pause between two attempts.
class MoxLockWait {
  public:
    MoxLockWait();

    // Whether the whole-second part of the current time has reached the
    // start second plus the time-out.
    bool expired() const;

    // Gives the processor away before the next attempt, so that a waiter
    // does not starve the holder it waits for; the pause grows with the
    // attempts up to half a millisecond.
    void pause();

  private:
    static time_t currentSecond();

    time_t startSecond;
    Uint32 attempts;
};

#endif
