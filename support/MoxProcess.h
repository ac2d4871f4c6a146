#ifndef MOX_PROCESS_H
#define MOX_PROCESS_H

#include <sys/types.h>

// The calling process's id without a system call on every question. The
// managers ask it on every page fix and lock request to tell a forked child
// from its parent; the id is read once and read again in a child right
// after fork() (a handler registered with pthread_atfork), so the answer is
// always the caller's own. One thread per process.
class MoxProcess {
  public:
    static pid_t id() { return cachedId != 0 ? cachedId : readId(); }

  private:
    // Reads the id and, on the first call, registers the fork handler.
    static pid_t readId();
    static void forgetInChild();

    static pid_t cachedId;
};

#endif
