#include <gtest/gtest.h>

#include "MoxLog.h"
#include "MoxSupport.h"
#include "TestHelpers.h"
#include "common/TestDatabase.h"
#include "support/MoxScopedMemorySet.h"

namespace {

class MoxLogFileHandlingTest : public TestDatabase {};

TEST_F(MoxLogFileHandlingTest, StartsAtFileOneWithAFreeLatch) {
    MoxLogManager::initializeLogFileHandling();
    {
        MoxScopedMemorySet connection(MoxMemoryManager::LogFileHandling);
        auto* handling = static_cast<MoxLogManager::LogFileHandling*>(connection.getData());
        EXPECT_EQ(handling->filenumber, 1);
        EXPECT_GE(handling->latch.getSemaphoreId(), 0);
        bool locked = true;
        EXPECT_EQ(handling->latch.isLocked(locked), MOX_SUCCESS);
        EXPECT_FALSE(locked);
    }
    EXPECT_TRUE(throwsError([] { MoxLogManager::initializeLogFileHandling(); }, MOX_MM_SHM_CREATE_FAIL));
}

TEST_F(MoxLogFileHandlingTest, DestroyRemovesTheSetAndToleratesAMissingOne) {
    MoxLogManager::destroyLogFileHandling();
    MoxLogManager::initializeLogFileHandling();
    {
        // A holder that died holding the latch exclusively must not block the stop.
        MoxScopedMemorySet connection(MoxMemoryManager::LogFileHandling);
        auto* handling = static_cast<MoxLogManager::LogFileHandling*>(connection.getData());
        ASSERT_EQ(handling->latch.get(MoxLatch::Exclusive), MOX_SUCCESS);
    }
    MoxLogManager::destroyLogFileHandling();
    EXPECT_TRUE(
        throwsError([] { MoxScopedMemorySet connection(MoxMemoryManager::LogFileHandling); }, MOX_MM_SHM_NOT_EXISTS));
    MoxLogManager::destroyLogFileHandling();
}

}  // namespace
