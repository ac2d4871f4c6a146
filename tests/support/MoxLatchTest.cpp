#include <signal.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "MoxSupport.h"
#include "TestHelpers.h"
#include "common/ChildProcess.h"
#include "common/TestDatabase.h"
#include "support/MoxScopedMemorySet.h"

namespace {

typedef std::array<int, 3> Values;  // gate, shared count, exclusive mark

const Values freeLatch = {1, 0, 0};
const Values deadExclusiveHolder = {1, 0, 1};  // its undo entry reopened the gate

// How long a child waits for the parent's next step before giving up.
const int childPatience = 20000;

bool setExists(int semaphoreId) {
    return semctl(semaphoreId, 0, GETVAL) != -1;
}

// The caller of semctl declares it on Linux.
union SemaphoreArgument {
    int value;
    semid_ds* status;
    unsigned short* array;
};

Values values(const MoxLatch& latch) {
    unsigned short raw[3] = {0, 0, 0};
    SemaphoreArgument argument;
    argument.array = raw;
    semctl(latch.getSemaphoreId(), 0, GETALL, argument);
    return {raw[0], raw[1], raw[2]};
}

void setValues(const MoxLatch& latch, const Values& wanted) {
    unsigned short raw[3] = {static_cast<unsigned short>(wanted[0]), static_cast<unsigned short>(wanted[1]),
                             static_cast<unsigned short>(wanted[2])};
    SemaphoreArgument argument;
    argument.array = raw;
    ASSERT_EQ(semctl(latch.getSemaphoreId(), 0, SETALL, argument), 0);
}

// Processes sleeping until the semaphore becomes positive (GETNCNT) or zero (GETZCNT).
int sleepers(const MoxLatch& latch, int semaphore, int command) {
    return semctl(latch.getSemaphoreId(), semaphore, command);
}

std::string lastMessage() {
    char message[MOX_ERROR_MESSAGE_LENGTH + 1] = {0};
    char sqlstate[MOX_SQLSTATE_LENGTH + 1] = {0};
    MoxError::getErrorObject()->getError(message, sizeof(message), sqlstate);
    return message;
}

std::string operationFailure(int error) {
    return "An operation on the semaphore set failed.  System error: " + std::to_string(error) + " ('" +
           strerror(error) + "')";
}

// The body of a child that takes the latch, says so and holds it until it is
// killed.
std::function<int()> holdUntilKilled(MoxLatch& latch, MoxLatch::LatchMode mode, EventPipe& held) {
    return [&latch, mode, &held] {
        if (latch.get(mode) != MOX_SUCCESS) return 1;
        held.notify();
        pause();
        return 0;
    };
}

std::string holderDied(const std::string& set, pid_t holder) {
    return "The latch of memory set '" + set + "' is held exclusively by process " + std::to_string(holder) +
           ", which no longer exists.  What the latch protects may be half-changed: stop the system with force "
           "(moxstop force) and recover the database.";
}

class MoxLatchTest : public TestDatabase {
  protected:
    // A latch in private memory; its children see it through their copy.
    MoxLatch& newLatch() {
        MoxLatch& latch = latches.emplace_back();
        EXPECT_EQ(latch.initialize(), MOX_SUCCESS);
        semaphoreIds.push_back(latch.getSemaphoreId());
        return latch;
    }

    // Removes every semaphore set the test made, also when it failed (a
    // child may have removed one already), and checks that none is left.
    void TearDown() override {
        for (MoxLatch& latch : latches) {
            if (latch.getSemaphoreId() >= 0 && setExists(latch.getSemaphoreId())) {
                EXPECT_EQ(latch.destroy(true), MOX_SUCCESS);
            }
        }
        for (int id : semaphoreIds) {
            EXPECT_FALSE(setExists(id)) << "semaphore set " << id << " left behind";
        }
        TestDatabase::TearDown();
    }

  private:
    std::deque<MoxLatch> latches;
    std::vector<int> semaphoreIds;
};

TEST_F(MoxLatchTest, NewLatchIsFreeAndCountsSharedHoldersOfAllProcesses) {
    MoxLatch& latch = newLatch();
    semid_ds status;
    SemaphoreArgument argument;
    argument.status = &status;
    ASSERT_EQ(semctl(latch.getSemaphoreId(), 0, IPC_STAT, argument), 0);
    EXPECT_EQ(status.sem_perm.mode & 0777, 0660u);
    EXPECT_EQ(values(latch), freeLatch);

    // An error left from elsewhere does not turn the queries into failures.
    MoxError::getErrorObject()->setError(Support, MOX_INTERNAL_FAIL);
    bool locked = true;
    Uint32 count = 99;
    EXPECT_EQ(latch.isLocked(locked), MOX_SUCCESS);
    EXPECT_FALSE(locked);
    EXPECT_EQ(latch.getSharedCount(count), MOX_SUCCESS);
    EXPECT_EQ(count, 0u);

    EventPipe held, go;
    ChildProcess first([&] {
        if (latch.get(MoxLatch::Shared) != MOX_SUCCESS) return 1;
        held.notify();
        if (!go.waitFor(childPatience)) return 2;
        return latch.release() == MOX_SUCCESS ? 0 : 3;
    });
    ChildProcess second(holdUntilKilled(latch, MoxLatch::Shared, held));
    ASSERT_TRUE(held.waitFor(childPatience));
    ASSERT_TRUE(held.waitFor(childPatience));

    bool exclusive = true;
    EXPECT_EQ(latch.getSharedCount(count), MOX_SUCCESS);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(latch.isHeldExclusive(exclusive), MOX_SUCCESS);
    EXPECT_FALSE(exclusive);
    EXPECT_EQ(latch.isLocked(locked), MOX_SUCCESS);
    EXPECT_TRUE(locked);

    // One holder leaves, the other dies: its share is given back as well.
    go.notify();
    EXPECT_EQ(first.wait(), 0);
    second.kill(SIGKILL);
    EXPECT_EQ(second.wait(), 128 + SIGKILL);
    EXPECT_EQ(values(latch), freeLatch);
}

TEST_F(MoxLatchTest, ReleaseEndsAnExclusiveHoldOrOneSharedHold) {
    MoxLatch& latch = newLatch();
    ASSERT_EQ(latch.get(MoxLatch::Exclusive), MOX_SUCCESS);
    EXPECT_EQ(values(latch), (Values{0, 0, 1}));
    bool exclusive = false;
    bool locked = false;
    EXPECT_EQ(latch.isHeldExclusive(exclusive), MOX_SUCCESS);
    EXPECT_TRUE(exclusive);
    EXPECT_EQ(latch.isLocked(locked), MOX_SUCCESS);
    EXPECT_TRUE(locked);
    EXPECT_EQ(latch.release(), MOX_SUCCESS);
    EXPECT_EQ(values(latch), freeLatch);

    ASSERT_EQ(latch.get(MoxLatch::Shared), MOX_SUCCESS);
    ASSERT_EQ(latch.get(MoxLatch::Shared), MOX_SUCCESS);
    EXPECT_EQ(values(latch), (Values{1, 2, 0}));
    EXPECT_EQ(latch.release(), MOX_SUCCESS);
    EXPECT_EQ(values(latch), (Values{1, 1, 0}));
    EXPECT_EQ(latch.release(), MOX_SUCCESS);
    EXPECT_EQ(values(latch), freeLatch);
}

TEST_F(MoxLatchTest, WaitingExclusiveRequesterKeepsNewSharedRequestersOut) {
    MoxLatch& latch = newLatch();
    EventPipe sharedHeld, sharedGo, exclusiveGot, exclusiveGo, lateShared;

    ChildProcess reader([&] {
        if (latch.get(MoxLatch::Shared) != MOX_SUCCESS) return 1;
        sharedHeld.notify();
        if (!sharedGo.waitFor(childPatience)) return 2;
        return latch.release() == MOX_SUCCESS ? 0 : 3;
    });
    ASSERT_TRUE(sharedHeld.waitFor(childPatience));

    ChildProcess writer([&] {
        if (latch.get(MoxLatch::Exclusive) != MOX_SUCCESS) return 1;
        exclusiveGot.notify();
        if (!exclusiveGo.waitFor(childPatience)) return 2;
        return latch.release() == MOX_SUCCESS ? 0 : 3;
    });
    // The writer has closed the gate and waits for the reader to leave.
    ASSERT_TRUE(waitUntil([&] {
        return values(latch) == Values{0, 1, 0} && sleepers(latch, MOX_LATCH_SHARED_COUNTER, GETZCNT) == 1;
    }));

    ChildProcess lateReader([&] {
        if (latch.get(MoxLatch::Shared) != MOX_SUCCESS) return 1;
        lateShared.notify();
        return latch.release() == MOX_SUCCESS ? 0 : 3;
    });
    ASSERT_TRUE(waitUntil([&] { return sleepers(latch, MOX_LATCH_BLOCK_NEW_SHARED, GETNCNT) == 1; }));
    EXPECT_FALSE(exclusiveGot.waitFor(0));
    EXPECT_FALSE(lateShared.waitFor(0));

    sharedGo.notify();
    ASSERT_TRUE(exclusiveGot.waitFor(childPatience));
    EXPECT_EQ(reader.wait(), 0);
    EXPECT_EQ(values(latch), (Values{0, 0, 1}));
    EXPECT_EQ(sleepers(latch, MOX_LATCH_BLOCK_NEW_SHARED, GETNCNT), 1);
    EXPECT_FALSE(lateShared.waitFor(0));

    exclusiveGo.notify();
    ASSERT_TRUE(lateShared.waitFor(childPatience));
    EXPECT_EQ(writer.wait(), 0);
    EXPECT_EQ(lateReader.wait(), 0);
    EXPECT_EQ(values(latch), freeLatch);
}

TEST_F(MoxLatchTest, DestroyWaitsForSharedHoldersUnlessForced) {
    MoxLatch& latch = newLatch();
    const int id = latch.getSemaphoreId();
    EventPipe held, go, destroyed;

    ChildProcess reader([&] {
        if (latch.get(MoxLatch::Shared) != MOX_SUCCESS) return 1;
        held.notify();
        if (!go.waitFor(childPatience)) return 2;
        return latch.release() == MOX_SUCCESS ? 0 : 3;
    });
    ASSERT_TRUE(held.waitFor(childPatience));
    ChildProcess destroyer([&] {
        if (latch.destroy(false) != MOX_SUCCESS || latch.getSemaphoreId() != -1) return 1;
        destroyed.notify();
        return 0;
    });
    ASSERT_TRUE(waitUntil([&] { return sleepers(latch, MOX_LATCH_SHARED_COUNTER, GETZCNT) == 1; }));
    EXPECT_FALSE(destroyed.waitFor(0));
    EXPECT_TRUE(setExists(id));

    go.notify();
    ASSERT_TRUE(destroyed.waitFor(childPatience));
    EXPECT_EQ(reader.wait(), 0);
    EXPECT_EQ(destroyer.wait(), 0);
    EXPECT_FALSE(setExists(id));

    // Forced, it removes the set under a holder, whose release then fails.
    MoxLatch& forced = newLatch();
    const int forcedId = forced.getSemaphoreId();
    ChildProcess holder([&] {
        if (forced.get(MoxLatch::Shared) != MOX_SUCCESS) return 1;
        held.notify();
        if (!go.waitFor(childPatience)) return 2;
        return forced.release() == MOX_LATCH_SEM_OPERATION_FAIL ? 0 : 3;
    });
    ASSERT_TRUE(held.waitFor(childPatience));
    EXPECT_EQ(forced.destroy(true), MOX_SUCCESS);
    EXPECT_EQ(forced.getSemaphoreId(), -1);
    EXPECT_FALSE(setExists(forcedId));
    EXPECT_EQ(forced.destroy(true), MOX_SUCCESS);
    EXPECT_EQ(forced.destroy(false), MOX_SUCCESS);
    go.notify();
    EXPECT_EQ(holder.wait(), 0);
}

TEST_F(MoxLatchTest, DeadExclusiveHolderBlocksRequestsUntilReleased) {
    MoxLatch& latch = newLatch();
    const int id = latch.getSemaphoreId();
    EventPipe held;
    ChildProcess holder(holdUntilKilled(latch, MoxLatch::Exclusive, held));
    ASSERT_TRUE(held.waitFor(childPatience));
    holder.kill(SIGKILL);
    ASSERT_EQ(holder.wait(), 128 + SIGKILL);
    EXPECT_EQ(values(latch), deadExclusiveHolder);

    EXPECT_EQ(latch.get(MoxLatch::Shared), MOX_LATCH_HOLDER_DIED);
    EXPECT_EQ(MoxGetErrorCode(), MOX_LATCH_HOLDER_DIED);
    EXPECT_EQ(lastMessage(), holderDied("unknown", holder.pid())) << "a latch outside the memory sets";
    // The exclusive request fails in its first list: the gate stays open.
    EXPECT_EQ(latch.get(MoxLatch::Exclusive), MOX_LATCH_HOLDER_DIED);
    EXPECT_EQ(values(latch), deadExclusiveHolder);
    bool exclusive = false;
    EXPECT_EQ(latch.isHeldExclusive(exclusive), MOX_SUCCESS);
    EXPECT_TRUE(exclusive);

    // Another process clears the mark without opening the gate a second
    // time, then removes the latch.
    ChildProcess stopper([&] {
        if (latch.release() != MOX_SUCCESS) return 1;
        if (values(latch) != freeLatch) return 2;
        return latch.destroy(false) == MOX_SUCCESS ? 0 : 3;
    });
    EXPECT_EQ(stopper.wait(), 0);
    EXPECT_FALSE(setExists(id));
}

// A process killed while it held the latch of a memory set exclusively may
// have left the set half-changed: every later request names the set and the
// dead process, also before the process is reaped, and the latch stays as
// it is for the forced stop.
TEST_F(MoxLatchTest, DeadExclusiveHolderIsNamedWithItsSet) {
    MoxMemoryManager* memoryManager = MoxMemoryManager::getMemoryManager();
    for (MoxMemoryManager::MemorySet set :
         {MoxMemoryManager::BufferPool, MoxMemoryManager::LockList, MoxMemoryManager::LogFileHandling}) {
        const std::string name = memoryManager->getSetProperties(set).name;
        SCOPED_TRACE(name);
        memoryManager->createMemorySet(set);
        MoxScopedMemorySet connection(set);
        MoxLatch& latch = *static_cast<MoxLatch*>(connection.getData());
        ASSERT_EQ(latch.initialize(), MOX_SUCCESS);
        EventPipe held;
        ChildProcess holder(holdUntilKilled(latch, MoxLatch::Exclusive, held));
        ASSERT_TRUE(held.waitFor(childPatience));
        holder.kill(SIGKILL);
        ASSERT_TRUE(waitUntil([&] { return latch.get(MoxLatch::Shared) == MOX_LATCH_HOLDER_DIED; }));
        ASSERT_EQ(holder.wait(), 128 + SIGKILL);

        for (MoxLatch::LatchMode mode : {MoxLatch::Shared, MoxLatch::Exclusive}) {
            EXPECT_EQ(latch.get(mode), MOX_LATCH_HOLDER_DIED);
            EXPECT_EQ(lastMessage(), holderDied(name, holder.pid()));
            std::optional<MoxException> failure = caught([&] { MoxScopedLatch scoped(latch, mode); });
            ASSERT_TRUE(failure);
            EXPECT_EQ(failure->getErrorCode(), MOX_LATCH_HOLDER_DIED);
            EXPECT_EQ(failure->getCall(), "mLatch.get(latchMode)");
            std::ostringstream printed;
            failure->print_message(printed);
            EXPECT_NE(printed.str().find(holderDied(name, holder.pid()) + " SQLSTATE=LT003"), std::string::npos)
                << printed.str();
        }
        EXPECT_EQ(values(latch), deadExclusiveHolder) << "left for the forced stop";
        EXPECT_EQ(latch.destroy(true), MOX_SUCCESS);
        connection.disconnect();
        memoryManager->destroyMemorySet(set);
    }
}

EventPipe* signalEvents = nullptr;

void noteSignal(int) {
    signalEvents->notify();
}

TEST_F(MoxLatchTest, SignalsDoNotEndAWait) {
    MoxLatch& latch = newLatch();
    ASSERT_EQ(latch.get(MoxLatch::Shared), MOX_SUCCESS);
    EventPipe ready, signalled;
    signalEvents = &signalled;
    ChildProcess writer([&] {
        struct sigaction action;
        memset(&action, 0, sizeof(action));
        action.sa_handler = noteSignal;
        sigaction(SIGUSR1, &action, nullptr);
        ready.notify();
        if (latch.get(MoxLatch::Exclusive) != MOX_SUCCESS) return 1;
        return latch.release() == MOX_SUCCESS ? 0 : 2;
    });
    ASSERT_TRUE(ready.waitFor(childPatience));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(waitUntil([&] { return sleepers(latch, MOX_LATCH_SHARED_COUNTER, GETZCNT) == 1; }));
        writer.kill(SIGUSR1);
        ASSERT_TRUE(signalled.waitFor(childPatience));
    }
    ASSERT_TRUE(waitUntil([&] { return sleepers(latch, MOX_LATCH_SHARED_COUNTER, GETZCNT) == 1; }));
    EXPECT_EQ(latch.release(), MOX_SUCCESS);
    EXPECT_EQ(writer.wait(), 0);
    EXPECT_EQ(values(latch), freeLatch);
}

TEST_F(MoxLatchTest, ScopedLatchesHoldForTheirScopeAndThrowWhenRefused) {
    MoxLatch& latch = newLatch();
    {
        MoxScopedLatch shared(latch, MoxLatch::Shared);
        EXPECT_EQ(values(latch), (Values{1, 1, 0}));
    }
    {
        MoxScopedExclusiveLatch exclusive(latch);
        EXPECT_EQ(values(latch), (Values{0, 0, 1}));
    }
    EXPECT_EQ(values(latch), freeLatch);

    setValues(latch, deadExclusiveHolder);
    for (MoxLatch::LatchMode mode : {MoxLatch::Shared, MoxLatch::Exclusive}) {
        std::optional<MoxException> failure = caught([&] { MoxScopedLatch scoped(latch, mode); });
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->getErrorCode(), MOX_LATCH_SEM_OPERATION_FAIL);
        EXPECT_EQ(failure->getCall(), "mLatch.get(latchMode)");
    }
    EXPECT_TRUE(throwsError([&] { MoxScopedExclusiveLatch scoped(latch); }, MOX_LATCH_SEM_OPERATION_FAIL));
    // The mark was set by this process, which lives: no dead holder to name.
    EXPECT_EQ(latch.get(MoxLatch::Shared), MOX_LATCH_SEM_OPERATION_FAIL);
    EXPECT_EQ(lastMessage(), operationFailure(EAGAIN));
    EXPECT_EQ(values(latch), deadExclusiveHolder);
}

}  // namespace
