#ifndef MOX_PROCESS_H
#define MOX_PROCESS_H

#include <sys/types.h>

// Tells whether a process that used the database still runs, for the
// recovery of what a killed process left behind (an exclusive latch mark,
// locks and an open transaction). Errs on the side of "runs": whatever is
// taken for dead is undone and released under a living owner's hands
// otherwise.
//
// Stateless; any process, any time.
class MoxProcess {
  public:
    MoxProcess() = delete;

    // False when no process has the id, or only one that has ended and
    // waits to be reaped (a zombie, which has given up its semaphores and
    // its mappings).
    static bool runs(pid_t process);

    // Whether the process runs and is one of the database's: it has the
    // shared memory segment sharedMemoryId (a set every process of the
    // database keeps attached) mapped. A running process without it got the
    // id of a dead one; where its mappings cannot be read (another user's
    // process) it counts as the database's.
    static bool runsAttachedTo(pid_t process, int sharedMemoryId);
};

#endif
