#include <gtest/gtest.h>

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

TEST_F(MoxScopedLockTest, FailedReleaseThrowsOnlyWhenNoOtherExceptionIsInFlight) {
    EXPECT_TRUE(throwsError(
        [&] {
            MoxScopedLock slot(3, 4, 5, LM::SharedLock);
            manager->releaseAll();
        },
        MOX_LM_NO_SUCH_ENTRY, {"3", "4", "5"}));

    EXPECT_TRUE(throwsError(
        [&] {
            MoxScopedLock slot(3, 4, 5, LM::SharedLock);
            manager->releaseAll();
            THROW(MOX_LM_DEADLOCK);
        },
        MOX_LM_DEADLOCK));
    EXPECT_EQ(MoxGetErrorCode(), MOX_LM_NO_SUCH_ENTRY) << "the failed release is recorded";
}

}  // namespace
