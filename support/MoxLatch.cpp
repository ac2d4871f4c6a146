#include "MoxLatch.h"

#include <sys/ipc.h>
#include <sys/sem.h>

#include <cerrno>
#include <cstring>

#include "MoxError.h"
#include "MoxMemoryManager.h"
#include "MoxProcess.h"
#include "MoxTrace.h"

static const MoxComponent componentId = Support;

namespace {

const int numberOfSemaphores = 3;

// The caller of semctl declares it on Linux.
union SemaphoreArgument {
    int value;
    semid_ds* status;
    unsigned short* array;
};

// Performs one list of operations atomically; returns 0 or the system error.
// A signal ends a sleeping semop with EINTR, which is no failure of the
// latch: the list is simply tried again.
template <size_t count>
int perform(int semaphoreId, sembuf (&operations)[count]) {
    while (semop(semaphoreId, operations, count) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

// perform() for a list whose first operation waits while the latch is
// held. A hold lasts a few microseconds and a sleeping semop costs a
// wake-up and two context switches, so the list is first tried without
// waiting a few times; then it waits. An EAGAIN of a try may also be the
// mark a dead holder left, which only the waiting form tells apart.
template <size_t count>
int performSoonOrWait(int semaphoreId, sembuf (&operations)[count]) {
    const int tries = 100;
    sembuf trying[count];
    for (size_t i = 0; i < count; ++i) {
        trying[i] = operations[i];
        trying[i].sem_flg = static_cast<short>(trying[i].sem_flg | IPC_NOWAIT);
    }
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (semop(semaphoreId, trying, count) == 0) {
            return 0;
        }
        if (errno != EAGAIN && errno != EINTR) {
            return errno;
        }
        for (int spin = 0; spin < 32; ++spin) {
            __builtin_ia32_pause();
        }
    }
    return perform(semaphoreId, operations);
}

}  // namespace

#define MOX_LATCH_OPERATION_FAILED(error)                                                                \
    do {                                                                                                 \
        MOX_SET_ERROR_TOKEN2(MOX_LATCH_SEM_OPERATION_FAIL, static_cast<Sint32>(error), strerror(error)); \
        return MOX_LATCH_SEM_OPERATION_FAIL;                                                             \
    } while (0)

MoxErrorCode MoxLatch::initialize() {
    MOX_TRACE_ENTRY();
    semaphoreId = semget(IPC_PRIVATE, numberOfSemaphores, 0660);
    if (semaphoreId == -1) {
        int error = errno;
        MOX_SET_ERROR_TOKEN2(MOX_LATCH_SEM_CREATE_FAIL, static_cast<Sint32>(error), strerror(error));
        return MOX_LATCH_SEM_CREATE_FAIL;
    }
    MOX_TRACE_NUMBER(1, "semaphore set id", static_cast<Sint32>(semaphoreId));

    unsigned short freeValues[numberOfSemaphores] = {1, 0, 0};
    SemaphoreArgument argument;
    argument.array = freeValues;
    if (semctl(semaphoreId, 0, SETALL, argument) == -1) {
        int error = errno;
        destroy(true);
        MOX_LATCH_OPERATION_FAILED(error);
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxLatch::destroy(bool force) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_NUMBER(1, "force", static_cast<Uint32>(force));
    if (semaphoreId < 0) {
        return MOX_SUCCESS;
    }
    if (!force) {
        MoxErrorCode rc = get(Exclusive);
        if (rc != MOX_SUCCESS) {
            MOX_TRACE_ERROR();
            return rc;
        }
    }
    if (semctl(semaphoreId, 0, IPC_RMID) == -1) {
        int error = errno;
        MOX_SET_ERROR_TOKEN2(MOX_LATCH_SEM_DESTROY_WARN, static_cast<Sint32>(error), strerror(error));
        return MOX_LATCH_SEM_DESTROY_WARN;
    }
    semaphoreId = -1;
    return MOX_SUCCESS;
}

MoxErrorCode MoxLatch::get(LatchMode latchMode) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_NUMBER(1, "latch mode", static_cast<Uint32>(latchMode));
    if (latchMode == Shared) {
        // Passes the gate only while it is open and leaves it open.
        sembuf enter[] = {{MOX_LATCH_BLOCK_NEW_SHARED, -1, 0},
                          {MOX_LATCH_SHARED_COUNTER, 1, SEM_UNDO},
                          {MOX_LATCH_BLOCK_NEW_SHARED, 1, 0},
                          {MOX_LATCH_EXCLUSIVE, 0, IPC_NOWAIT}};
        int error = performSoonOrWait(semaphoreId, enter);
        return error == 0 ? MOX_SUCCESS : refuse(error);
    }
    if (latchMode != Exclusive) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }

    sembuf closeGate[] = {{MOX_LATCH_BLOCK_NEW_SHARED, -1, SEM_UNDO}, {MOX_LATCH_EXCLUSIVE, 0, IPC_NOWAIT}};
    int error = performSoonOrWait(semaphoreId, closeGate);
    if (error != 0) {
        return refuse(error);
    }
    sembuf drainShared[] = {{MOX_LATCH_SHARED_COUNTER, 0, 0}, {MOX_LATCH_EXCLUSIVE, 1, 0}};
    error = perform(semaphoreId, drainShared);
    if (error != 0) {
        // A removed set has no gate left to open.
        if (error != EIDRM) {
            sembuf openGate[] = {{MOX_LATCH_BLOCK_NEW_SHARED, 1, SEM_UNDO}};
            perform(semaphoreId, openGate);
        }
        MOX_LATCH_OPERATION_FAILED(error);
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxLatch::release() {
    MOX_TRACE_ENTRY();
    sembuf leaveShared[] = {{MOX_LATCH_EXCLUSIVE, 0, IPC_NOWAIT}, {MOX_LATCH_SHARED_COUNTER, -1, SEM_UNDO}};
    int error = perform(semaphoreId, leaveShared);
    if (error == 0) {
        return MOX_SUCCESS;
    }
    if (error != EAGAIN) {
        MOX_LATCH_OPERATION_FAILED(error);
    }

    MOX_TRACE_STRING(10, "removing exclusive latch");
    // A living holder keeps the gate closed. A holder that died has had it
    // reopened by its undo entry already; opening it once more would let two
    // exclusive holders in, so then only the mark is cleared.
    sembuf leaveExclusive[] = {{MOX_LATCH_BLOCK_NEW_SHARED, 0, IPC_NOWAIT},
                               {MOX_LATCH_BLOCK_NEW_SHARED, 1, SEM_UNDO},
                               {MOX_LATCH_EXCLUSIVE, -1, IPC_NOWAIT}};
    error = perform(semaphoreId, leaveExclusive);
    if (error == EAGAIN) {
        sembuf clearMark[] = {{MOX_LATCH_EXCLUSIVE, -1, IPC_NOWAIT}};
        error = perform(semaphoreId, clearMark);
    }
    if (error != 0) {
        MOX_LATCH_OPERATION_FAILED(error);
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxLatch::refuse(int error) const {
    MOX_TRACE_ENTRY();
    // EAGAIN: the exclusive mark is set while the gate is open, which only a
    // holder that died leaves behind.
    Sint32 holder = error == EAGAIN ? getDeadExclusiveHolder() : 0;
    if (holder != 0) {
        MOX_SET_ERROR_TOKEN2(MOX_LATCH_HOLDER_DIED, getName(), holder);
        return MOX_LATCH_HOLDER_DIED;
    }
    MOX_LATCH_OPERATION_FAILED(error);
}

Sint32 MoxLatch::getDeadExclusiveHolder() const {
    MOX_TRACE_ENTRY();
    // While the mark is set, the last process that changed it is the one
    // that set it: every other operation on it fails as long as it is set.
    int mark = semctl(semaphoreId, MOX_LATCH_EXCLUSIVE, GETVAL);
    int holder = semctl(semaphoreId, MOX_LATCH_EXCLUSIVE, GETPID);
    return mark > 0 && holder > 0 && !MoxProcess::runs(holder) ? holder : 0;
}

const char* MoxLatch::getName() const {
    const char* name = MoxMemoryManager::getMemoryManager()->getSetNameAt(this);
    return name != nullptr ? name : "unknown";
}

MoxErrorCode MoxLatch::getValue(int semaphore, int& value) const {
    MOX_TRACE_ENTRY();
    value = semctl(semaphoreId, semaphore, GETVAL);
    if (value == -1) {
        int error = errno;
        MOX_LATCH_OPERATION_FAILED(error);
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxLatch::getSharedCount(Uint32& count) const {
    MOX_TRACE_ENTRY();
    int value = 0;
    MoxErrorCode rc = getValue(MOX_LATCH_SHARED_COUNTER, value);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    count = static_cast<Uint32>(value);
    return MOX_SUCCESS;
}

MoxErrorCode MoxLatch::isHeldExclusive(bool& held) const {
    MOX_TRACE_ENTRY();
    int value = 0;
    MoxErrorCode rc = getValue(MOX_LATCH_EXCLUSIVE, value);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    held = value > 0;
    return MOX_SUCCESS;
}

MoxErrorCode MoxLatch::isLocked(bool& locked) const {
    MOX_TRACE_ENTRY();
    Uint32 count = 0;
    MoxErrorCode rc = getSharedCount(count);
    if (rc == MOX_SUCCESS && count > 0) {
        locked = true;
        return MOX_SUCCESS;
    }
    if (rc == MOX_SUCCESS) {
        rc = isHeldExclusive(locked);
    }
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
    }
    return rc;
}
