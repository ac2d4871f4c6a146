#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "MoxChecker.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxSupport.h"
#include "support/MoxScopedMemorySet.h"
#include "MoxTortureTables.h"
#include "MoxTransaction.h"
#include "common/ChildProcess.h"
#include "common/TestDatabase.h"
#include "common/TestHelpers.h"

// A process killed in the middle of a transaction leaves its locks in the
// lock list, and perhaps a latch marked exclusive: the recovery of dead
// processes must undo its changes as its own rollback would, release what
// it held, and leave living transactions alone.
namespace {

typedef MoxTortureTables::Row Row;
typedef MoxSystem::DeadProcessRecovery Report;

const int patience = 60000;

std::vector<std::string> differences(MoxTortureTables& tables, const std::vector<MoxTortureTables::Contents>& all) {
    std::vector<std::string> found;
    for (int table = 0; table < static_cast<int>(all.size()); ++table) {
        for (const std::string& difference : tables.differences(table, all[table])) found.push_back(difference);
    }
    return found;
}

MoxTortureTables::Contents contents(const std::vector<Row>& rows) {
    MoxTortureTables::Contents byKey;
    for (const Row& row : rows) byKey[row.key] = row;
    return byKey;
}

// The command name of a process, as /proc shows it.
std::string commandOf(pid_t process) {
    std::ifstream comm("/proc/" + std::to_string(process) + "/comm");
    std::string name((std::istreambuf_iterator<char>(comm)), std::istreambuf_iterator<char>());
    return name;
}

// The types of the log entries of one transaction, record and index entries.
std::multiset<int> entryTypesOf(const MoxTransactionId& transaction) {
    MoxRecovery log;
    log.AnalyseLog(MoxRecovery::ALL);
    std::multiset<int> types;
    for (int i = 0; i < log.getRecordRedoListLength(); ++i) {
        if (log.getRecordRedoList()[i].getTransactionID() == transaction) {
            types.insert(log.getRecordRedoList()[i].getTransactionType());
        }
    }
    for (int i = 0; i < log.getIndexRedoListLength(); ++i) {
        if (log.getIndexRedoList()[i].getTransactionID() == transaction) {
            types.insert(log.getIndexRedoList()[i].getTransactionType());
        }
    }
    return types;
}

class MoxDeadProcessTest : public TestDatabase {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        ChildProcess prepare([] {
            MoxSystem::start();
            MoxTortureTables::create();
            MoxTortureTables tables;
            tables.put(0, committedRow);
            MoxSystem::commit();
            MoxSystem::stopAllManagers();
            return 0;
        });
        ASSERT_EQ(prepare.wait(), 0);
    }

    static inline const Row committedRow = {1, 7, 10};
};

TEST_F(MoxDeadProcessTest, ADeadTransactionIsUndoneAndItsLocksGoWhileALiveOneKeepsItsOwn) {
    EventPipe victimReady, liveReady, liveMayCommit;
    ChildProcess live([&] {
        MoxTortureTables tables;
        MoxSystem::commit();
        tables.put(2, {5, 200, 40});
        liveReady.notify();
        if (!liveMayCommit.waitFor(patience)) return 1;
        MoxSystem::commit();
        MoxSystem::stopAllManagers();
        return 0;
    });
    ASSERT_TRUE(liveReady.waitFor(patience));
    // The victim replaces a row (moving it to another page), inserts two and
    // removes one, then takes the log latch and dies holding it.
    ChildProcess victim([&] {
        MoxTortureTables tables;
        MoxSystem::commit();
        tables.put(0, {1, 99, 2500});
        tables.put(0, {2, 100, 30});
        tables.put(1, {3, 101, 0});
        tables.remove(0, 1);
        MoxScopedMemorySet logSet(MoxMemoryManager::LogFileHandling);
        if (static_cast<MoxLatch*>(logSet.getData())->get(MoxLatch::Exclusive) != MOX_SUCCESS) return 1;
        victimReady.notify();
        EventPipe().waitFor(patience);
        return 2;
    });
    ASSERT_TRUE(victimReady.waitFor(patience));
    // Each child committed once, after opening the tables.
    const MoxTransactionId dead(victim.pid(), 1);
    const MoxTransactionId alive(live.pid(), 1);
    victim.kill(SIGKILL);
    ASSERT_EQ(victim.wait(), 128 + SIGKILL);

    // A process id that now names a program outside the database counts as
    // dead too: a lock taken in its name must go.
    ChildProcess stranger([] {
        execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
        return 1;
    });
    ASSERT_TRUE(waitUntil([&] { return commandOf(stranger.pid()) == "sleep\n"; }));
    const MoxTransactionId reused(stranger.pid(), 3);
    MoxTransactionManager::getInstance()->actFor(reused);
    MoxLockManager::getInstance()->requestSegment(1000, MoxLockManager::SharedLock);
    MoxTransactionManager::getInstance()->stopActingFor();

    const Report report = MoxSystem::recoverDeadTransactions();
    ASSERT_EQ(report.latchesCleared.size(), 1u);
    EXPECT_EQ(report.latchesCleared[0].first, "Log File Handling");
    EXPECT_EQ(report.latchesCleared[0].second, victim.pid());
    ASSERT_EQ(report.transactions.size(), 2u);
    for (const Report::Transaction& transaction : report.transactions) {
        EXPECT_TRUE(transaction.rolledBack);
        if (transaction.id == dead) {
            EXPECT_GT(transaction.locksReleased, 5u);
        } else {
            EXPECT_EQ(transaction.id, reused);
            EXPECT_EQ(transaction.locksReleased, 1u);
        }
    }
    std::ostringstream printed;
    report.print(printed);
    EXPECT_NE(printed.str().find("Transaction " + dead.dump() + " of process " + std::to_string(victim.pid()) +
                                 ", which no longer exists: rolled back"),
              std::string::npos)
        << printed.str();
    const std::vector<MoxTransactionId> holders = MoxLockManager::getInstance()->getTransactionsInList();
    EXPECT_EQ(holders, std::vector<MoxTransactionId>{alive});

    // Undone as the victim's own rollback would have: compensations and a
    // ROLLBACK entry of each kind under its id.
    const std::multiset<int> types = entryTypesOf(dead);
    EXPECT_EQ(types.count(MoxAbstractLogEntry::ROLLBACK), 2u);
    EXPECT_EQ(types.count(MoxAbstractLogEntry::COMPENSATE_DELETE), 2u);
    EXPECT_EQ(types.count(MoxAbstractLogEntry::COMPENSATE_INSERT), 1u);
    EXPECT_EQ(types.count(MoxAbstractLogEntry::COMPENSATE_UPDATE), 1u);
    EXPECT_GT(types.count(MoxAbstractLogEntry::INTEGER_UNDO), 0u);

    // Another process gets every lock the victim held at once and sees none
    // of its changes; it may change them itself.
    ChildProcess other([] {
        const auto start = std::chrono::steady_clock::now();
        MoxTortureTables tables;
        MoxSystem::commit();
        if (!differences(tables, {contents({committedRow}), {}}).empty()) return 1;
        tables.put(0, {1, 300, 3000});
        tables.put(0, {2, 301, 3});
        tables.put(1, {3, 302, 4});
        MoxSystem::commit();
        MoxSystem::stopAllManagers();
        return std::chrono::steady_clock::now() - start < std::chrono::seconds(10) ? 0 : 2;
    });
    EXPECT_EQ(other.wait(), 0);
    liveMayCommit.notify();
    EXPECT_EQ(live.wait(), 0);
    MoxTortureTables tables;
    EXPECT_EQ(differences(tables,
                          {contents({{1, 300, 3000}, {2, 301, 3}}), contents({{3, 302, 4}}), contents({{5, 200, 40}})}),
              std::vector<std::string>());
    EXPECT_EQ(MoxDatabaseChecker().checkDatabase(), MoxCheckProblems());
    MoxSystem::commit();
    // Nothing is left for a second call.
    std::ostringstream nothing;
    MoxSystem::recoverDeadTransactions().print(nothing);
    EXPECT_EQ(nothing.str(), "No process that no longer exists left a latch or a transaction behind.\n");
    MoxSystem::stopAllManagers();
}

}  // namespace
