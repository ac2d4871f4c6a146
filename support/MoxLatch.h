#ifndef MOX_LATCH_H
#define MOX_LATCH_H

#include "../include/Mox.h"
#include "MoxErrorCodes.h"

// Semaphores of a latch's set.
#define MOX_LATCH_BLOCK_NEW_SHARED 0  // gate: 1 open, 0 closed by an exclusive holder or requester
#define MOX_LATCH_SHARED_COUNTER 1    // number of shared holders
#define MOX_LATCH_EXCLUSIVE 2         // 1 while held exclusively

// A reader/writer latch between processes on a System V semaphore set of
// three semaphores, with preference for writers: an exclusive requester
// closes the gate to new shared holders, then waits for the present ones to
// leave. The object holds only the set's id, so it lives in the shared
// memory it protects and every attached process uses the same semaphores;
// whoever creates that memory calls initialize() once.
//
// Values (gate, shared, exclusive): free (1,0,0), shared by n (1,n,0),
// exclusive requested while n drain (0,n,0), held exclusively (0,0,1).
// Shared holds and the gate of an exclusive hold are given back when their
// process ends; the exclusive mark is not, so a latch whose exclusive holder
// died refuses every request until somebody releases or destroys it. Such a
// refusal is MOX_LATCH_HOLDER_DIED, naming the latch's memory set and the
// dead process: what the holder was changing may be half-changed, so the
// latch is never freed silently. No request waits for a dead holder: the
// undo entries of its gate and its shared holds let the request on at once,
// to meet the mark.
//
// Not re-entrant. Every operation returns MOX_SUCCESS or its failure code,
// set in the error object; none throws.
class MOX_PACKED MoxLatch {
  public:
    enum LatchMode { Exclusive = 0, Shared = 1 };

    // Creates the semaphore set, free.
    MoxErrorCode initialize();
    // Removes the set; without force it first waits for exclusive access.
    // Nothing to do once destroyed.
    MoxErrorCode destroy(bool force);
    // Waits as long as needed.
    MoxErrorCode get(LatchMode latchMode);
    // Releases the exclusive hold if there is one, else one shared hold; the
    // caller must release only what it holds.
    MoxErrorCode release();
    MoxErrorCode getSharedCount(Uint32& count) const;
    MoxErrorCode isHeldExclusive(bool& held) const;
    MoxErrorCode isLocked(bool& locked) const;

    // -1 while there is no set.
    int getSemaphoreId() const { return semaphoreId; }

    // The process that holds the latch exclusively if it no longer runs,
    // else 0.
    Sint32 getDeadExclusiveHolder() const;
    // The name of the memory set the latch is at the front of, as this
    // process has it attached; "unknown" for a latch anywhere else.
    const char* getName() const;

  private:
    // The failure of a request whose operations returned error: a dead
    // exclusive holder if there is one, else MOX_LATCH_SEM_OPERATION_FAIL.
    MoxErrorCode refuse(int error) const;

    // Reads one semaphore's value into value.
    MoxErrorCode getValue(int semaphore, int& value) const;

    int semaphoreId;
};

// It is laid out in shared memory by its owners.
static_assert(sizeof(MoxLatch) == 4 && alignof(MoxLatch) == 1);

#endif
