#ifndef MOX_PROCESS_H
#define MOX_PROCESS_H

#include <sys/types.h>

// Processes of the database: the calling process's id without a system call
// on every question, and whether another process that used the database
// still runs, for the recovery of what a killed process left behind (an
// exclusive latch mark, locks and an open transaction).
//
// Any process, any time; one thread per process.
class MoxProcess {
  public:
    MoxProcess() = delete;

    // The calling process's id. The managers ask it on every page fix and
    // lock request to tell a forked child from its parent; it is read once
    // and read again in a child right after fork() (a handler registered
    // with pthread_atfork), so the answer is always the caller's own.
    static pid_t id() { return cachedId != 0 ? cachedId : readId(); }

    // False when no process has the id, or only one that has ended and
    // waits to be reaped (a zombie, which has given up its semaphores and
    // its mappings). Errs on the side of "runs": whatever is taken for dead
    // is undone and released under a living owner's hands otherwise.
    static bool runs(pid_t process);

    // Whether the process runs and is one of the database's: it has the
    // shared memory segment sharedMemoryId (a set every process of the
    // database keeps attached) mapped. A running process without it got the
    // id of a dead one; where its mappings cannot be read (another user's
    // process) it counts as the database's.
    static bool runsAttachedTo(pid_t process, int sharedMemoryId);

  private:
    // Reads the id and, on the first call, registers the fork handler.
    static pid_t readId();
    static void forgetInChild();

    static pid_t cachedId;
};

#endif
