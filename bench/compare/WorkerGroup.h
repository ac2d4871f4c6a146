#ifndef COMPARE_WORKER_GROUP_H
#define COMPARE_WORKER_GROUP_H

#include <functional>

#include "Measurement.h"

// Forked worker processes that run one piece of work each at the same time.
// Each worker sets up (untimed), waits until all are set up, works, reports,
// and tears down only once every worker has reported, so that no teardown
// competes with work still timed. A failing worker stops the whole group.
class WorkerGroup {
  public:
    struct Worker {
        std::function<void(int worker)> setUp;
        // Returns the retries it needed.
        std::function<long(int worker)> work;
        std::function<void()> tearDown;
    };

    // The seconds from the start to the last worker's report, the retries
    // of all, and the first failure (a worker's exception, a worker that
    // died, or silence for silenceSeconds); on failure every worker is
    // killed.
    static Measurement run(int workers, const Worker& worker, int silenceSeconds);
};

#endif
