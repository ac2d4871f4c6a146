#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "MoxSupport.h"
#include "TestHelpers.h"
#include "common/ChildProcess.h"
#include "common/TestDatabase.h"

namespace {

typedef MoxMemoryManager::MemorySet MemorySet;

const MemorySet allSets[] = {MoxMemoryManager::BufferPool, MoxMemoryManager::LockList,
                             MoxMemoryManager::LogFileHandling};

const char marker[] = "deadbeefDEADBEEF";  // with its NUL: 17 bytes

// Whether the system has a segment for the set of this directory.
bool setExists(const std::string& directory, MemorySet set) {
    char* path = realpath(directory.c_str(), nullptr);
    if (path == nullptr) return false;
    key_t key = ftok(path, static_cast<int>(set));
    free(path);
    return shmget(key, 0, 0) != -1;
}

class MoxMemoryManagerTest : public TestDatabase {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        memoryManager = MoxMemoryManager::getMemoryManager();
        forgetIds();
    }

    // Removes the sets of every database the test used, also when it failed,
    // and checks that none is left.
    void TearDown() override {
        for (const std::string& database : otherDatabases) {
            removeSetsOf(database);
        }
        removeSetsOf(directory());
        TestDatabase::TearDown();
    }

    // A process remembers the ids of one database; a test that changes the
    // database makes it forget them.
    void forgetIds() {
        for (MemorySet set : allSets) {
            MoxMemoryManager::MemorySetAttributes& row = memoryManager->getSetProperties(set);
            if (row.ptr == nullptr) row.shmId = -1;
        }
    }

    void useDatabase(const std::string& database) {
        ASSERT_EQ(setenv("MOX_DATABASE_PATH", database.c_str(), 1), 0);
        forgetIds();
    }

    // A second database directory inside the test's own.
    std::string otherDatabase(const std::string& name) {
        std::string path = directory() + "/" + name;
        EXPECT_EQ(mkdir(path.c_str(), 0700), 0);
        otherDatabases.push_back(path);
        return path;
    }

    char* connect(MemorySet set) {
        void* address = nullptr;
        memoryManager->connectToMemorySet(set, address);
        return static_cast<char*>(address);
    }

    MoxMemoryManager* memoryManager = nullptr;

  private:
    void removeSetsOf(const std::string& database) {
        useDatabase(database);
        for (MemorySet set : allSets) {
            std::optional<MoxException> failure = caught([&] {
                if (memoryManager->getSetProperties(set).ptr != nullptr) {
                    memoryManager->disconnectFromMemorySet(set);
                }
                memoryManager->destroyMemorySet(set);
            });
            EXPECT_FALSE(failure) << "removing set " << set << " failed with " << failure->getErrorCode();
            EXPECT_FALSE(setExists(database, set)) << "set " << set << " left behind";
        }
        forgetIds();
    }

    std::vector<std::string> otherDatabases;
};

TEST_F(MoxMemoryManagerTest, NewSetsHaveSizeMarkersZeroedDataAndPermissions) {
    const char* names[] = {"Buffer Pool", "Lock List", "Log File Handling"};
    // The lock list's layout and the owner record behind it.
    const size_t sizes[] = {4096000, 2048040 + 1024, 4096};
    char* canonical = realpath(directory().c_str(), nullptr);
    const std::string owner = canonical;
    free(canonical);
    for (MemorySet set : allSets) {
        SCOPED_TRACE(names[set]);
        memoryManager->createMemorySet(set);
        const MoxMemoryManager::MemorySetAttributes& row = memoryManager->getSetProperties(set);
        EXPECT_STREQ(row.name, names[set]);
        ASSERT_EQ(row.size, sizes[set]);
        EXPECT_EQ(row.ptr, nullptr) << "creation leaves the set detached";

        char* data = connect(set);
        char* start = static_cast<char*>(row.ptr);
        EXPECT_EQ(data, start + 17);
        EXPECT_EQ(memcmp(start, marker, 17), 0);
        EXPECT_EQ(memcmp(data + row.size, marker, 17), 0);
        // Zero-filled but for the owner record in the last 1024 bytes.
        char* record = data + row.size - 1024;
        EXPECT_TRUE(std::all_of(data, record, [](char byte) { return byte == 0; }));
        EXPECT_EQ(std::string(record), owner);
        EXPECT_TRUE(std::all_of(record + owner.size(), data + row.size, [](char byte) { return byte == 0; }));

        shmid_ds status;
        ASSERT_EQ(shmctl(row.shmId, IPC_STAT, &status), 0);
        EXPECT_EQ(status.shm_segsz, row.size + 34);
        EXPECT_EQ(status.shm_perm.mode & 0777, 0660u);
        memoryManager->disconnectFromMemorySet(set);
    }
}

TEST_F(MoxMemoryManagerTest, CreatingTwiceFailsAndKeepsTheFirstSegment) {
    memoryManager->createMemorySet(MoxMemoryManager::LogFileHandling);
    connect(MoxMemoryManager::LogFileHandling)[0] = 'A';
    memoryManager->disconnectFromMemorySet(MoxMemoryManager::LogFileHandling);

    EXPECT_TRUE(throwsError([&] { memoryManager->createMemorySet(MoxMemoryManager::LogFileHandling); },
                            MOX_MM_SHM_CREATE_FAIL,
                            {"Log File Handling", "2", std::to_string(EEXIST), strerror(EEXIST)}));

    char* data = connect(MoxMemoryManager::LogFileHandling);
    EXPECT_EQ(data[0], 'A');
    EXPECT_EQ(memcmp(data - 17, marker, 17), 0);
}

TEST_F(MoxMemoryManagerTest, ConnectAndDisconnectAreCheckedPerProcess) {
    const char* names[] = {"Buffer Pool", "Lock List", "Log File Handling"};
    for (MemorySet set : allSets) {
        EXPECT_TRUE(throwsError([&] { connect(set); }, MOX_MM_SHM_NOT_EXISTS, {names[set]}));
    }
    EXPECT_TRUE(throwsError([&] { memoryManager->disconnectFromMemorySet(MoxMemoryManager::LockList); },
                            MOX_MM_SHM_NOT_ATTACHED, {"Lock List"}));

    memoryManager->createMemorySet(MoxMemoryManager::LockList);
    connect(MoxMemoryManager::LockList);
    const std::string id = std::to_string(memoryManager->getSetProperties(MoxMemoryManager::LockList).shmId);
    EXPECT_TRUE(
        throwsError([&] { connect(MoxMemoryManager::LockList); }, MOX_MM_SHM_ALREADY_ATTACHED, {"Lock List", id}));

    memoryManager->disconnectFromMemorySet(MoxMemoryManager::LockList);
    EXPECT_TRUE(throwsError([&] { memoryManager->disconnectFromMemorySet(MoxMemoryManager::LockList); },
                            MOX_MM_SHM_NOT_ATTACHED, {"Lock List"}));
}

TEST_F(MoxMemoryManagerTest, DestroyingIsSilentForMissingSetsAndIsFinal) {
    memoryManager->destroyMemorySet(MoxMemoryManager::BufferPool);

    memoryManager->createMemorySet(MoxMemoryManager::BufferPool);
    connect(MoxMemoryManager::BufferPool);
    memoryManager->disconnectFromMemorySet(MoxMemoryManager::BufferPool);
    memoryManager->destroyMemorySet(MoxMemoryManager::BufferPool);
    EXPECT_FALSE(setExists(directory(), MoxMemoryManager::BufferPool));
    memoryManager->destroyMemorySet(MoxMemoryManager::BufferPool);

    // The id this process knew must not lead to the removed segment.
    EXPECT_TRUE(throwsError([&] { connect(MoxMemoryManager::BufferPool); }, MOX_MM_SHM_NOT_EXISTS));
}

TEST_F(MoxMemoryManagerTest, ADirectoryThatCannotBeResolvedGivesNoKey) {
    useDatabase(directory() + "/missing");
    EXPECT_TRUE(throwsError([&] { memoryManager->createMemorySet(MoxMemoryManager::BufferPool); },
                            MOX_MM_SHM_CREATE_FAIL, {"Buffer Pool", "0", std::to_string(ENOENT), strerror(ENOENT)}));
    EXPECT_TRUE(throwsError([&] { connect(MoxMemoryManager::BufferPool); }, MOX_MM_SHM_NOT_EXISTS));
    useDatabase(directory());
}

// Each path names the test's directory; "" leaves MOX_DATABASE_PATH unset, so
// the working directory (the test's directory) is used.
TEST_F(MoxMemoryManagerTest, ProcessesOnOneCanonicalDirectoryShareTheSets) {
    ASSERT_EQ(symlink(directory().c_str(), (directory() + "/alias").c_str()), 0);
    const std::vector<std::string> paths = {directory(), directory() + "/.", directory() + "/alias", ""};
    memoryManager->createMemorySet(MoxMemoryManager::LogFileHandling);
    forgetIds();  // each child derives the key itself

    for (size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        ChildProcess child([&] {
            if (paths[i].empty()) {
                unsetenv("MOX_DATABASE_PATH");
            } else {
                setenv("MOX_DATABASE_PATH", paths[i].c_str(), 1);
            }
            connect(MoxMemoryManager::LogFileHandling)[i] = static_cast<char>('a' + i);
            memoryManager->disconnectFromMemorySet(MoxMemoryManager::LogFileHandling);
            return 0;
        });
        ASSERT_EQ(child.wait(), 0);
    }

    EXPECT_EQ(std::string(connect(MoxMemoryManager::LogFileHandling), paths.size()), "abcd");
}

// Set but empty means the working directory, as it does for segment files.
TEST_F(MoxMemoryManagerTest, AnEmptyDatabasePathIsTheWorkingDirectory) {
    useDatabase("");
    memoryManager->createMemorySet(MoxMemoryManager::LogFileHandling);
    connect(MoxMemoryManager::LogFileHandling)[0] = 'E';
    memoryManager->disconnectFromMemorySet(MoxMemoryManager::LogFileHandling);

    useDatabase(directory());  // also the working directory
    EXPECT_EQ(connect(MoxMemoryManager::LogFileHandling)[0], 'E');
    memoryManager->disconnectFromMemorySet(MoxMemoryManager::LogFileHandling);
}

TEST_F(MoxMemoryManagerTest, ProcessesOnDifferentDirectoriesDoNotMeet) {
    memoryManager->createMemorySet(MoxMemoryManager::LogFileHandling);
    connect(MoxMemoryManager::LogFileHandling)[0] = 'A';
    memoryManager->disconnectFromMemorySet(MoxMemoryManager::LogFileHandling);
    forgetIds();
    const std::string other = otherDatabase("other");

    ChildProcess child([&] {
        setenv("MOX_DATABASE_PATH", other.c_str(), 1);
        if (!throwsError([&] { connect(MoxMemoryManager::LogFileHandling); }, MOX_MM_SHM_NOT_EXISTS)) return 2;
        memoryManager->createMemorySet(MoxMemoryManager::LogFileHandling);
        char* data = connect(MoxMemoryManager::LogFileHandling);
        if (data[0] != 0) return 3;
        data[0] = 'B';
        memoryManager->disconnectFromMemorySet(MoxMemoryManager::LogFileHandling);
        return 0;
    });
    ASSERT_EQ(child.wait(), 0);

    EXPECT_EQ(connect(MoxMemoryManager::LogFileHandling)[0], 'A');
    memoryManager->disconnectFromMemorySet(MoxMemoryManager::LogFileHandling);
    useDatabase(other);
    EXPECT_EQ(connect(MoxMemoryManager::LogFileHandling)[0], 'B');
}

// Another process stops and starts the system while this one remembers the
// old segment's id.
TEST_F(MoxMemoryManagerTest, ARememberedIdFollowsTheSetAfterAnotherProcessRecreatedIt) {
    memoryManager->createMemorySet(MoxMemoryManager::LockList);
    connect(MoxMemoryManager::LockList)[0] = 'O';
    memoryManager->disconnectFromMemorySet(MoxMemoryManager::LockList);

    ChildProcess restart([&] {
        memoryManager->destroyMemorySet(MoxMemoryManager::LockList);
        memoryManager->createMemorySet(MoxMemoryManager::LockList);
        connect(MoxMemoryManager::LockList)[0] = 'N';
        memoryManager->disconnectFromMemorySet(MoxMemoryManager::LockList);
        return 0;
    });
    ASSERT_EQ(restart.wait(), 0);
    EXPECT_EQ(connect(MoxMemoryManager::LockList)[0], 'N');
    memoryManager->disconnectFromMemorySet(MoxMemoryManager::LockList);

    ChildProcess stop([&] {
        memoryManager->destroyMemorySet(MoxMemoryManager::LockList);
        return 0;
    });
    ASSERT_EQ(stop.wait(), 0);
    EXPECT_TRUE(throwsError([&] { connect(MoxMemoryManager::LockList); }, MOX_MM_SHM_NOT_EXISTS));
}

}  // namespace
