#include <gtest/gtest.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "RecordTestDatabase.h"
#include "support/MoxScopedMemorySet.h"

// Who may touch a database: its shared memory sets, their latches' semaphore
// sets, its segment files and its log files are the owner's and the group's,
// never the world's, whatever umask the process that creates them runs with.
namespace {

union SemaphoreArgument {
    int value;
    semid_ds* status;
    unsigned short* array;
};

mode_t modeOfFile(const std::string& name) {
    struct stat status = {};
    EXPECT_EQ(stat(name.c_str(), &status), 0) << name;
    return status.st_mode & 0777;
}

class MoxFileModeTest : public RecordTestDatabase {
  protected:
    // The sets are created under the widest umask there is.
    void SetUp() override {
        previousMask = umask(0);
        RecordTestDatabase::SetUp();
    }
    void TearDown() override {
        RecordTestDatabase::TearDown();
        umask(previousMask);
    }

    mode_t previousMask = 0;
};

TEST_F(MoxFileModeTest, SetsAndLatchesAreForOwnerAndGroupOnly) {
    const MoxMemoryManager::MemorySet sets[] = {MoxMemoryManager::BufferPool, MoxMemoryManager::LockList,
                                                MoxMemoryManager::LogFileHandling};
    for (MoxMemoryManager::MemorySet set : sets) {
        MoxScopedMemorySet connection(set);
        const MoxMemoryManager::MemorySetAttributes& row = MoxMemoryManager::getMemoryManager()->getSetProperties(set);
        SCOPED_TRACE(row.name);
        shmid_ds memory = {};
        ASSERT_EQ(shmctl(row.shmId, IPC_STAT, &memory), 0);
        EXPECT_EQ(memory.shm_perm.mode & 0777, 0660u);
        // Every set begins with its latch.
        semid_ds semaphores = {};
        SemaphoreArgument argument;
        argument.status = &semaphores;
        ASSERT_EQ(semctl(static_cast<MoxLatch*>(connection.getData())->getSemaphoreId(), 0, IPC_STAT, argument), 0);
        EXPECT_EQ(semaphores.sem_perm.mode & 0777, 0660u);
    }
}

// Each umask creates a new segment file and a new first log file; a umask
// narrower than the files' mode narrows them further.
TEST_F(MoxFileModeTest, SegmentAndLogFilesAreForOwnerAndGroupOnly) {
    const struct {
        mode_t mask;
        mode_t expected;
    } cases[] = {{0, 0660}, {0002, 0660}, {0022, 0640}, {0027, 0640}, {0077, 0600}};
    TableId table = 1;
    for (const auto& round : cases) {
        SCOPED_TRACE("umask " + std::to_string(round.mask));
        umask(round.mask);
        std::filesystem::remove("1.log");
        createTable(table);
        insert(table, "row");
        commit();
        MoxBufferManager::getInstance()->flushAll();
        EXPECT_EQ(modeOfFile(directory() + "/Seg" + std::to_string(table) + ".mox"), round.expected);
        EXPECT_EQ(modeOfFile("1.log"), round.expected);
        ++table;
    }
}

}  // namespace
