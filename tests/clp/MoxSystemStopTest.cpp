#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include "ChildProcess.h"
#include "TestDatabase.h"
#include "TestHelpers.h"
#include "buffer/MoxBufferContent.h"
#include "buffer/MoxBufferManager.h"
#include "clp/MoxSystem.h"
#include "lock/MoxLockListLayout.h"
#include "lock/MoxLockManager.h"
#include "log/MoxLogManager.h"
#include "support/MoxScopedMemorySet.h"

namespace {

const MoxMemoryManager::MemorySet allSets[] = {MoxMemoryManager::LockList, MoxMemoryManager::LogFileHandling,
                                               MoxMemoryManager::BufferPool};

bool setExists(MoxMemoryManager::MemorySet set) {
    int id = -1;
    return !caught([&] { MoxMemoryManager::getMemoryManager()->getShmId(set, id, false); }).has_value();
}

bool semaphoreSetExists(int semaphoreId) {
    return semctl(semaphoreId, 0, GETVAL) != -1;
}

// The latch at the front of a set's data area.
int latchIdOf(MoxMemoryManager::MemorySet set) {
    MoxScopedMemorySet connection(set);
    return static_cast<MoxLatch*>(connection.getData())->getSemaphoreId();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class MoxSystemStop : public TestDatabase {
  protected:
    void startSystem() {
        MoxLockManager::initializeLockList();
        MoxBufferManager::initializeBuffer();
        MoxLogManager::initializeLogFileHandling();
    }

    CommandResult moxstop(const std::vector<std::string>& arguments = {}) {
        std::vector<std::string> argv = {"moxstop"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return runCommand(MOX_STOP_COMMAND, argv);
    }

    void expectRefusedAsInUse(const CommandResult& result) {
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.standardOutput, "\n");
        EXPECT_EQ(result.standardError.rfind("\nException aufgetreten: \nThe system could not be stopped because it is "
                                             "currently being used. SQLSTATE=SY001\n[bt]: ",
                                             0),
                  0u)
            << result.standardError;
        for (MoxMemoryManager::MemorySet set : allSets) EXPECT_TRUE(setExists(set)) << set;
    }
};

const char* const successOutput = "\nThe system was stopped successfully. SQLSTATE=00000\n";

}  // namespace

TEST_F(MoxSystemStop, RemovesAllSetsAndTheirLatches) {
    startSystem();
    std::vector<int> latches;
    for (MoxMemoryManager::MemorySet set : allSets) latches.push_back(latchIdOf(set));

    CommandResult result = moxstop();
    EXPECT_EQ(result.standardOutput, successOutput);
    EXPECT_EQ(result.exitCode, 0);
    for (MoxMemoryManager::MemorySet set : allSets) EXPECT_FALSE(setExists(set)) << set;
    for (int latch : latches) EXPECT_FALSE(semaphoreSetExists(latch)) << latch;
}

TEST_F(MoxSystemStop, RefusesWhileALockIsHeldWithoutLookingAtThePool) {
    startSystem();
    MoxLockManager::getInstance()->requestSegment(5, MoxLockManager::SharedLock);
    std::string trace = directory() + "/buffer.trace";
    setenv("MOX_TRACE_FILE", trace.c_str(), 1);
    setenv("MOX_TRACE_MASK", "Buffer", 1);
    CommandResult result = moxstop();
    unsetenv("MOX_TRACE_FILE");
    unsetenv("MOX_TRACE_MASK");
    expectRefusedAsInUse(result);
    EXPECT_EQ(readFile(trace), "") << "the buffer pool was examined";
}

TEST_F(MoxSystemStop, RefusesWhileAPageIsFixed) {
    startSystem();
    MoxBufferManager* buffer = MoxBufferManager::getInstance();
    buffer->createSegment(1);
    buffer->openSegment(1);
    MoxPage* page = nullptr;
    buffer->getNewPage(1, 0, MoxPage::DataPage, page);
    expectRefusedAsInUse(moxstop());

    buffer->releasePage(page);
    // The manager writes its page and goes first: the stop removes the pool
    // with all it holds.
    MoxSystem::stopAllManagers();
    EXPECT_EQ(moxstop().exitCode, 0) << "released, the pool is no longer in use";
}

TEST_F(MoxSystemStop, ForceRemovesEverythingWhileAnotherProcessHoldsALatchExclusively) {
    startSystem();
    MoxLockManager::getInstance()->requestSegment(5, MoxLockManager::ExclusiveLock);
    int poolLatch = latchIdOf(MoxMemoryManager::BufferPool);
    EventPipe latched;
    ChildProcess holder([&latched] {
        MoxScopedMemorySet connection(MoxMemoryManager::BufferPool);
        if (static_cast<MoxLatch*>(connection.getData())->get(MoxLatch::Exclusive) != MOX_SUCCESS) return 1;
        latched.notify();
        pause();
        return 0;
    });
    ASSERT_TRUE(latched.waitFor(10000));

    CommandResult result = moxstop({"force"});
    EXPECT_EQ(result.standardOutput, successOutput);
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitCode, 0);
    holder.kill(SIGKILL);
    holder.wait();
    for (MoxMemoryManager::MemorySet set : allSets) EXPECT_FALSE(setExists(set)) << set;
    EXPECT_FALSE(semaphoreSetExists(poolLatch));
}

TEST_F(MoxSystemStop, ForceRemovesALatchWhoseExclusiveHolderDied) {
    startSystem();
    int logLatch = latchIdOf(MoxMemoryManager::LogFileHandling);
    EventPipe latched;
    ChildProcess holder([&latched] {
        MoxScopedMemorySet connection(MoxMemoryManager::LogFileHandling);
        if (static_cast<MoxLatch*>(connection.getData())->get(MoxLatch::Exclusive) != MOX_SUCCESS) return 1;
        latched.notify();
        pause();
        return 0;
    });
    ASSERT_TRUE(latched.waitFor(10000));
    holder.kill(SIGKILL);
    holder.wait();

    CommandResult result = moxstop({"force"});
    EXPECT_EQ(result.standardOutput, successOutput);
    EXPECT_EQ(result.exitCode, 0);
    for (MoxMemoryManager::MemorySet set : allSets) EXPECT_FALSE(setExists(set)) << set;
    EXPECT_FALSE(semaphoreSetExists(logLatch));
}

TEST_F(MoxSystemStop, StopsAHalfCreatedSystem) {
    MoxLockManager::initializeLockList();
    EXPECT_EQ(moxstop().standardOutput, successOutput);
    EXPECT_FALSE(setExists(MoxMemoryManager::LockList));

    MoxBufferManager::initializeBuffer();
    MoxLogManager::initializeLogFileHandling();
    EXPECT_EQ(moxstop().exitCode, 0);
    for (MoxMemoryManager::MemorySet set : allSets) EXPECT_FALSE(setExists(set)) << set;
}

TEST_F(MoxSystemStop, RemovesASetWhoseLatchIsGoneAlready) {
    startSystem();
    {
        MoxScopedMemorySet connection(MoxMemoryManager::LogFileHandling);
        ASSERT_EQ(static_cast<MoxLatch*>(connection.getData())->destroy(true), MOX_SUCCESS);
    }
    CommandResult result = moxstop();
    EXPECT_EQ(result.standardOutput, successOutput) << result.standardError;
    EXPECT_EQ(result.exitCode, 0);
    for (MoxMemoryManager::MemorySet set : allSets) EXPECT_FALSE(setExists(set)) << set;
}

namespace {

// Whether body is refused because the set belongs to the owner directory,
// not to the directory of the user.
::testing::AssertionResult refusedAsForeign(const std::function<void()>& body, const std::string& owner,
                                            const std::string& user) {
    std::optional<MoxException> failure = caught(body);
    if (!failure) return ::testing::AssertionFailure() << "nothing thrown";
    if (failure->getErrorCode() != MOX_MM_SHM_OTHER_DATABASE)
        return ::testing::AssertionFailure() << "code " << failure->getErrorCode() << " thrown";
    if (failure->getErrorToken(3) != owner || failure->getErrorToken(4) != user)
        return ::testing::AssertionFailure()
               << "names " << failure->getErrorToken(3) << " and " << failure->getErrorToken(4);
    return ::testing::AssertionSuccess();
}

// Two directories whose keys collide, as keys made from the low bits of an
// inode can: the hook forces them onto keys that no other database of this
// machine uses, and takes them back, with the first database's sets, however
// the test ends.
class CollidingKeys {
  public:
    CollidingKeys(const std::string& first) : first(first) {
        MoxMemoryManager::TEST_forceKeys(ftok(first.c_str(), 0x5a));
    }
    ~CollidingKeys() {
        setenv("MOX_DATABASE_PATH", first.c_str(), 1);
        std::optional<MoxException> failure = caught([] { MoxSystem::stop(true); });
        EXPECT_FALSE(failure) << "the first database's sets stay behind";
        MoxMemoryManager::TEST_forceKeys(IPC_PRIVATE);
    }

  private:
    std::string first;
};

}  // namespace

TEST_F(MoxSystemStop, ADirectoryWhoseKeysBelongToAnotherNeitherUsesNorRemovesItsSets) {
    const std::string first = std::filesystem::canonical(directory());
    const std::string second = first + "/second";
    ASSERT_EQ(mkdir(second.c_str(), 0700), 0);
    CollidingKeys keys(first);
    startSystem();
    std::vector<int> latches;
    for (MoxMemoryManager::MemorySet set : allSets) latches.push_back(latchIdOf(set));

    ASSERT_EQ(setenv("MOX_DATABASE_PATH", second.c_str(), 1), 0);
    MoxMemoryManager* memoryManager = MoxMemoryManager::getMemoryManager();
    for (MoxMemoryManager::MemorySet set : allSets) {
        SCOPED_TRACE(set);
        EXPECT_TRUE(refusedAsForeign([&] { MoxScopedMemorySet connection(set); }, first, second));
        EXPECT_TRUE(refusedAsForeign([&] { memoryManager->createMemorySet(set); }, first, second));
        EXPECT_TRUE(refusedAsForeign([&] { memoryManager->destroyMemorySet(set); }, first, second));
    }
    EXPECT_TRUE(refusedAsForeign([] { MoxLockManager::initializeLockList(); }, first, second));
    EXPECT_TRUE(refusedAsForeign([] { MoxBufferManager::getInstance(); }, first, second));
    EXPECT_TRUE(refusedAsForeign([] { MoxSystem::stop(false); }, first, second));
    EXPECT_TRUE(refusedAsForeign([] { MoxSystem::stop(true); }, first, second));

    // The first database has all it had and stops as usual.
    ASSERT_EQ(setenv("MOX_DATABASE_PATH", first.c_str(), 1), 0);
    for (size_t i = 0; i < latches.size(); ++i) {
        EXPECT_EQ(latchIdOf(allSets[i]), latches[i]);
        EXPECT_TRUE(semaphoreSetExists(latches[i]));
    }
    MoxSystem::stop(false);
    for (MoxMemoryManager::MemorySet set : allSets) EXPECT_FALSE(setExists(set)) << set;
}
