#include <gtest/gtest.h>

#include <memory>

#include "LockTestDatabase.h"
#include "TestHelpers.h"
#include "common/ChildProcess.h"

namespace {

const int childPatience = 20000;

class MoxScopedLockTest : public LockTestDatabase {};

TEST_F(MoxScopedLockTest, ScopesLeaveTheListAsTheyFoundIt) {
    manager->requestSegment(1, LM::SharedLock);
    {
        MoxScopedLock slot(3, 4, 5, LM::SharedLock);
        MoxScopedLock page(3, 6, LM::ExclusiveLock);
        MoxScopedLock segment(2, LM::ExclusiveLock);
        EXPECT_TRUE(slot.isLockGranted());
        EXPECT_EQ(entryCount(), 7u);
    }
    EXPECT_EQ(entryCount(), 1u);
    EXPECT_TRUE(manager->existsLock(1, LM::NO_PAGE, LM::NO_SLOT));
}

TEST_F(MoxScopedLockTest, LeavingAnUpgradedScopeRemovesTheExclusiveEntry) {
    {
        MoxScopedLock slot(3, 4, 5, LM::SharedLock);
        slot.upgradeLock();
        EXPECT_EQ(typesOf(self(), {3, 4, 5}), std::vector<Uint32>({LM::ExclusiveLock, LM::SharedLock}));
    }
    EXPECT_EQ(typesOf(self(), {3, 4, 5}), std::vector<Uint32>({LM::SharedLock}));
    EXPECT_EQ(typesOf(self(), {3, 4, LM::NO_SLOT}), std::vector<Uint32>({LM::IntentionalSharedLock}));
    EXPECT_EQ(typesOf(self(), {3, LM::NO_PAGE, LM::NO_SLOT}), std::vector<Uint32>({LM::IntentionalSharedLock}));
}

// A scope whose request adds no entry (the lock is held already, or covered
// by a coarser one) has nothing of its own to give back: releasing would
// take away the lock that the enclosing scope or the transaction holds.
TEST_F(MoxScopedLockTest, ScopeOverAHeldLockReleasesNothing) {
    MoxError::getErrorObject()->setError(LockManager, MOX_SUCCESS);
    {
        MoxScopedLock outer(3, 4, 5, LM::SharedLock);
        {
            MoxScopedLock inner(3, 4, 5, LM::SharedLock);
            EXPECT_TRUE(inner.isLockGranted());
        }
        EXPECT_EQ(typesOf(self(), {3, 4, 5}), std::vector<Uint32>({LM::SharedLock}));
        EXPECT_EQ(typesOf(self(), {3, 4, LM::NO_SLOT}), std::vector<Uint32>({LM::IntentionalSharedLock}));
        EXPECT_EQ(typesOf(self(), {3, LM::NO_PAGE, LM::NO_SLOT}), std::vector<Uint32>({LM::IntentionalSharedLock}));
        {
            MoxScopedLock inner(3, 4, 5, LM::SharedLock);
            inner.upgradeLock();  // its own entry, which it gives back
        }
        EXPECT_EQ(typesOf(self(), {3, 4, 5}), std::vector<Uint32>({LM::SharedLock}));
    }
    EXPECT_EQ(entryCount(), 0u);

    manager->requestSegment(3, LM::ExclusiveLock);
    { MoxScopedLock covered(3, 4, LM::ExclusiveLock); }
    EXPECT_EQ(typesOf(self(), {3, LM::NO_PAGE, LM::NO_SLOT}), std::vector<Uint32>({LM::ExclusiveLock}));
    EXPECT_EQ(entryCount(), 1u);
    EXPECT_EQ(MoxGetErrorCode(), MOX_SUCCESS) << "no failed release was recorded";
}

TEST_F(MoxScopedLockTest, ConflictingTryIsNotGrantedAndReleasesNothing) {
    EventPipe locked, done;
    ChildProcess holder([&] {
        MoxLockManager::getInstance()->requestPage(3, 4, MoxLockManager::ExclusiveLock);
        locked.notify();
        return done.waitFor(childPatience) ? 0 : 1;
    });
    ASSERT_TRUE(locked.waitFor(childPatience));
    Uint32 before = entryCount();
    {
        MoxScopedLock page(3, 4, LM::SharedLock, false, true);
        EXPECT_FALSE(page.isLockGranted());
        page.upgradeLock();  // nothing to upgrade
        EXPECT_EQ(entryCount(), before);
    }
    EXPECT_EQ(entryCount(), before);
    done.notify();
    EXPECT_EQ(holder.wait(), 0);
}

// A scope that outlives its lock (releaseAll at the end of the transaction)
// must not end the process when it is left, wherever the scoped lock lives.
TEST_F(MoxScopedLockTest, LeavingAScopeWhoseLockIsGoneRecordsTheFailure) {
    ChildProcess child([] {
        auto held = std::make_unique<MoxScopedLock>(3, 4, 5, LM::SharedLock);
        MoxLockManager::getInstance()->releaseAll();
        held.reset();
        return MoxGetErrorCode() == MOX_LM_NO_SUCH_ENTRY ? 0 : 2;
    });
    EXPECT_EQ(child.wait(), 0);

    EXPECT_TRUE(throwsError(
        [&] {
            MoxScopedLock slot(3, 4, 5, LM::SharedLock);
            manager->releaseAll();
            THROW(MOX_LM_DEADLOCK);
        },
        MOX_LM_DEADLOCK));
    EXPECT_EQ(MoxGetErrorCode(), MOX_LM_NO_SUCH_ENTRY) << "the failed release is recorded";

    // A caller that must know releases explicitly; the scope then ends quietly.
    MoxError::getErrorObject()->setError(LockManager, MOX_SUCCESS);
    {
        MoxScopedLock slot(3, 4, 5, LM::SharedLock);
        manager->releaseAll();
        EXPECT_TRUE(throwsError([&] { slot.release(); }, MOX_LM_NO_SUCH_ENTRY, {"3", "4", "5"}));
        EXPECT_FALSE(slot.isLockGranted());
        MoxScopedLock page(3, 6, LM::ExclusiveLock);
        page.release();
        EXPECT_EQ(entryCount(), 0u);
        page.release();
    }
    EXPECT_EQ(MoxGetErrorCode(), MOX_SUCCESS);
}

}  // namespace
