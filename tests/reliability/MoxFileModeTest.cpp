#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "RecordTestDatabase.h"
#include "common/ChildProcess.h"
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

// The permission bits in octal, as ls and chmod write them.
std::string octal(mode_t mode) {
    char text[8];
    snprintf(text, sizeof(text), "%04o", static_cast<unsigned>(mode & 0777));
    return text;
}

std::string modeOfFile(const std::string& name) {
    struct stat status = {};
    EXPECT_EQ(stat(name.c_str(), &status), 0) << name;
    return octal(status.st_mode);
}

// The shared memory ids and semaphore set ids of the three sets.
void idsOfSets(std::vector<int>& memory, std::vector<int>& semaphores) {
    const MoxMemoryManager::MemorySet sets[] = {MoxMemoryManager::BufferPool, MoxMemoryManager::LockList,
                                                MoxMemoryManager::LogFileHandling};
    for (MoxMemoryManager::MemorySet set : sets) {
        MoxScopedMemorySet connection(set);
        memory.push_back(MoxMemoryManager::getMemoryManager()->getSetProperties(set).shmId);
        // Every set begins with its latch.
        semaphores.push_back(static_cast<MoxLatch*>(connection.getData())->getSemaphoreId());
    }
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
    std::vector<int> memory;
    std::vector<int> semaphores;
    idsOfSets(memory, semaphores);
    for (int id : memory) {
        shmid_ds status = {};
        ASSERT_EQ(shmctl(id, IPC_STAT, &status), 0);
        EXPECT_EQ(octal(status.shm_perm.mode), "0660");
    }
    for (int id : semaphores) {
        semid_ds status = {};
        SemaphoreArgument argument;
        argument.status = &status;
        ASSERT_EQ(semctl(id, 0, IPC_STAT, argument), 0);
        EXPECT_EQ(octal(status.sem_perm.mode), "0660");
    }
}

// A process of a user outside the owner's group is refused every set, every
// latch and every file, even where the directory lets it pass. Only a test
// that runs as root can become another user; elsewhere it is skipped.
TEST_F(MoxFileModeTest, AnotherUserCanTouchNeitherSetsNorFiles) {
    createTable(1);
    insert(1, "row");
    commit();
    MoxBufferManager::getInstance()->flushAll();
    ASSERT_EQ(chmod(directory().c_str(), 0711), 0);
    std::vector<int> memory;
    std::vector<int> semaphores;
    idsOfSets(memory, semaphores);
    const std::vector<std::string> files = {directory() + "/Seg1.mox", directory() + "/1.log"};
    const gid_t nobodyGroup = 65534;
    const uid_t nobody = 65534;
    ChildProcess stranger([&] {
        if (setgroups(0, nullptr) != 0 || setgid(nobodyGroup) != 0 || setuid(nobody) != 0) return 77;
        int refused = 0;
        for (int id : memory) {
            refused += shmat(id, nullptr, SHM_RDONLY) == reinterpret_cast<void*>(-1) && errno == EACCES;
        }
        for (int id : semaphores) {
            refused += semctl(id, 0, GETVAL) == -1 && errno == EACCES;
        }
        for (const std::string& file : files) {
            refused += open(file.c_str(), O_RDONLY) == -1 && errno == EACCES;
        }
        return refused == static_cast<int>(memory.size() + semaphores.size() + files.size()) ? 0 : 1;
    });
    const int result = stranger.wait();
    if (result == 77) GTEST_SKIP() << "only root can run a process of another user";
    EXPECT_EQ(result, 0) << "another user reached a set, a latch or a file";
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
        EXPECT_EQ(modeOfFile(directory() + "/Seg" + std::to_string(table) + ".mox"), octal(round.expected));
        EXPECT_EQ(modeOfFile("1.log"), octal(round.expected));
        ++table;
    }
}

}  // namespace
