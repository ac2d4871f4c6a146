#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <sstream>

#include "ChildProcess.h"
#include "MoxCatalog.h"
#include "MoxChecker.h"
#include "MoxIndexManager.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"
#include "MoxTuple.h"
#include "SystemCrash.h"
#include "TestDatabase.h"
#include "TestHelpers.h"

namespace {

const int killed = 128 + SIGKILL;

Uint32 lockEntries() {
    return MoxLockManager::getInstance()->TEST_lockList().header.countEntry;
}

// Key -> number of the value: what the table KEYED holds.
typedef std::map<Sint32, int> Model;

// The value of number n as the test shows it: "NULL" for every seventh,
// else a text of 0 to 59 bytes.
std::string valueOf(int n) {
    std::string text = n % 7 == 0 ? "NULL" : std::to_string(n) + ":";
    text.resize(n % 7 == 0 ? 4 : static_cast<size_t>(n % 60), static_cast<char>('a' + n % 26));
    return text;
}

// The table KEYED (K INTEGER, V VARCHAR(60) nullable) with a unique index
// on K, changed the way a program changes a table with an index, in the
// process that holds the managers.
class Keyed {
  public:
    // With create, defines the table and its index through the catalog first.
    explicit Keyed(bool create = false) {
        MoxCatalogManager* catalog = MoxCatalogManager::getInstance();
        if (create) {
            MoxTable table;
            MoxIndex index;
            table.setTableName("KEYED");
            table.createColumns(2);
            table.setColumnDefinition(0, "K", INTEGER, 4, false);
            table.setColumnDefinition(1, "V", VARCHAR, 60, true);
            index.setIndexName("KEYED_K");
            index.setIndexType(BTree);
            EXPECT_EQ(catalog->addTable(table, this->table), MOX_SUCCESS);
            index.setTableId(this->table);
            index.setColumnNumber(0);
            index.setUnique(true);
            EXPECT_EQ(catalog->addIndex(index, this->index), MOX_SUCCESS);
            MoxRecordManager::getInstance()->createTable(this->table);
            MoxIndexManager::getInstance()->createIndex(this->index, true, BTree, INTEGER);
            MoxSystem::commit();
        }
        MoxTable* described = nullptr;
        EXPECT_EQ(catalog->getTableId("KEYED", table), MOX_SUCCESS);
        EXPECT_EQ(catalog->getIndexId("KEYED_K", index), MOX_SUCCESS);
        EXPECT_EQ(catalog->getTableDescriptor(table, described), MOX_SUCCESS);
        descriptor.reset(described);
        MoxIndexManager::getInstance()->openIndex(index, true, BTree, INTEGER);
    }

    // Sets the key's value: a new row with its index entry, or a new value.
    void set(Sint32 key, int n) {
        MoxRecordTuple row(descriptor.get());
        const std::string value = valueOf(n);
        row.setInt(0, &key);
        row.setVarchar(1, value == "NULL" ? nullptr : value.data(), static_cast<Uint16>(value.size()));
        TupleId tid = find(key);
        if (tid.page != 0) {
            MoxRecordManager::getInstance()->replace(table, tid, *row.getRecord());
            return;
        }
        MoxRecordManager::getInstance()->insert(*row.getRecord(), table, tid);
        MoxIndexManager::getInstance()->insert(index, MoxIndexKey(key), tid);
    }
    void remove(Sint32 key) {
        const TupleId tid = find(key);
        MoxRecordManager::getInstance()->remove(table, tid);
        MoxIndexManager::getInstance()->remove(index, MoxIndexKey(key), &tid);
    }

    // Every way the table and its index differ from the model: each row by
    // scan, the index entry of each row leading to it, no entry more.
    std::vector<std::string> differences(const Model& model) {
        std::vector<std::string> found;
        MoxRecordIterator* created = nullptr;
        MoxRecordManager::getInstance()->getRecordIterator(table, created);
        std::unique_ptr<MoxRecordIterator> scan(created);
        size_t rows = 0;
        for (MoxRecord* record = nullptr; scan->getNext(record) == MOX_SUCCESS; record = nullptr, ++rows) {
            const TupleId tid = *record->getTupleId();
            MoxRecordTuple row(record, descriptor.get());
            Sint32 key = 0;
            bool isNull = false;
            const char* text = nullptr;
            Uint16 length = 0;
            row.getIntValue(0, key, isNull);
            row.getVarchar(1, text, length);
            const auto expected = model.find(key);
            if (expected == model.end() || valueOf(expected->second) != (text ? std::string(text, length) : "NULL")) {
                found.push_back("row of key " + std::to_string(key) + " not as committed");
            } else if (!(find(key) == tid)) {
                found.push_back("the index does not lead to the row of key " + std::to_string(key));
            }
        }
        MoxIndexIterator* entries = nullptr;
        MoxIndexManager::getInstance()->findRange(index, nullptr, nullptr, entries);
        size_t count = 0;
        for (TupleId tid; entries->hasNext() && entries->getNextTupleId(tid) == MOX_SUCCESS;) ++count;
        delete entries;
        if (rows != model.size() || count != model.size()) {
            found.push_back(std::to_string(rows) + " rows and " + std::to_string(count) + " index entries");
        }
        return found;
    }

    // The key's row; (0,0) for none.
    TupleId find(Sint32 key) {
        TupleId tid;
        caught([&] { MoxIndexManager::getInstance()->find(index, MoxIndexKey(key), tid); });
        return tid;
    }

  private:
    TableId table = 0;
    IndexId index = 0;
    std::unique_ptr<MoxTable> descriptor;
};

// Random transactions on KEYED, each committed or rolled back through
// MoxSystem, journaled: "B <transaction>", "S <key> <n>" and "D <key>" as
// each change is made, "C" once the commit returned, "R" after a rollback.
// Returns what is committed afterwards.
Model runWork(Model model, unsigned seed, int journal, int transactions) {
    Keyed keyed;
    std::mt19937 random(seed);
    auto pick = [&](int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random); };
    auto note = [&](const std::string& line) { (void)!write(journal, (line + "\n").data(), line.size() + 1); };
    for (int transaction = 0; transaction < transactions; ++transaction) {
        note("B " + MoxTransactionManager::getInstance()->getCurrentTransactionID().dump());
        Model current = model;
        for (int change = 1 + pick(8); change > 0; --change) {
            const Sint32 key = pick(400);
            const int n = static_cast<int>(seed) * 1000 + transaction * 10 + change;
            if (current.count(key) != 0 && pick(3) == 0) {
                keyed.remove(key);
                current.erase(key);
                note("D " + std::to_string(key));
            } else {
                keyed.set(key, n);
                current[key] = n;
                note("S " + std::to_string(key) + " " + std::to_string(n));
            }
        }
        if (pick(4) == 0) {
            MoxSystem::rollback();
            note("R");
        } else {
            MoxSystem::commit();
            model = current;
            note("C");
        }
    }
    return model;
}

// What was committed after a journal: a commit that began and was not
// confirmed counts when a COMMIT entry of its transaction is in the log.
Model replay(const std::string& path, Model model) {
    std::ifstream journal(path);
    Model current;
    std::string line, kind, committing;
    while (std::getline(journal, line)) {
        std::istringstream words(line);
        Sint32 key = 0;
        int n = 0;
        words >> kind;
        if (kind == "B") {
            words >> committing;
            current = model;
        } else if (kind == "S" && words >> key >> n) {
            current[key] = n;
        } else if (kind == "D" && words >> key) {
            current.erase(key);
        } else {
            model = kind == "C" ? current : model;
            committing.clear();
        }
    }
    MoxRecovery log;
    log.AnalyseLog(MoxRecovery::RECORD);
    for (int i = 0; !committing.empty() && i < log.getRecordRedoListLength(); ++i) {
        const MoxRecordLogEntry& entry = log.getRecordRedoList()[i];
        if (entry.getTransactionType() == MoxAbstractLogEntry::COMMIT &&
            entry.getTransactionID() == MoxTransactionId(committing)) {
            model = current;
        }
    }
    return model;
}

class MoxSystemTransactionTest : public TestDatabase {
  protected:
    static int inChild(const std::function<int()>& body) { return ChildProcess(body).wait(120); }

    // In a child: recovers both components, then 0 when KEYED holds exactly
    // the model, else the differences on standard error.
    static int recoverAndCompare(const Model& model) {
        testing::internal::CaptureStdout();
        MoxSystem::recover();
        testing::internal::GetCapturedStdout();
        std::vector<std::string> differences = Keyed().differences(model);
        for (const MoxCheckProblem& problem : MoxDatabaseChecker().checkDatabase()) {
            differences.push_back(problem.line());
        }
        for (const std::string& difference : differences) std::cerr << difference << "\n";
        MoxSystem::commit();
        return differences.empty() ? 0 : 1;
    }
};

TEST_F(MoxSystemTransactionTest, AStartedSystemRefusesASecondStartAndStopsWithoutForce) {
    MoxSystem::start();
    int lockList = -1;
    int after = -2;
    MoxMemoryManager::getMemoryManager()->getShmId(MoxMemoryManager::LockList, lockList, false);
    EXPECT_TRUE(throwsError([] { MoxSystem::start(); }, MOX_MM_SHM_CREATE_FAIL, {"Lock List"}));
    MoxMemoryManager::getMemoryManager()->getShmId(MoxMemoryManager::LockList, after, false);
    EXPECT_EQ(after, lockList);
    EXPECT_EQ(lockEntries(), 0u);
    MoxSystem::stopAllManagers();
    const CommandResult stop = runCommand(MOX_STOP_COMMAND, {"moxstop"});
    EXPECT_EQ(stop.standardOutput, "\nThe system was stopped successfully. SQLSTATE=00000\n") << stop.standardError;
}

TEST_F(MoxSystemTransactionTest, ARollbackThatFailsKeepsTheLocksAndSaysSo) {
    MoxSystem::start();
    Keyed keyed(true);
    keyed.set(1, 1);
    MoxSystem::commit();
    keyed.set(2, 2);
    const Uint32 locks = lockEntries();
    const std::string transaction = MoxTransactionManager::getInstance()->getCurrentTransactionID().dump();
    // A log that cannot take the ROLLBACK entry.
    std::filesystem::rename("1.log", "1.log.saved");
    std::filesystem::create_directory("1.log");
    testing::internal::CaptureStderr();
    std::optional<MoxException> failure = caught([] { MoxSystem::rollback(); });
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->getErrorCode(), MOX_SYSTEM_ROLLBACK_FAILED);
    EXPECT_EQ(failure->getErrorToken(1), transaction);
    EXPECT_EQ(failure->getErrorToken(2).rfind("The File could not be opened. (SQLSTATE LOG01)", 0), 0u);
    EXPECT_EQ(lockEntries(), locks);
    std::filesystem::remove("1.log");
    std::filesystem::rename("1.log.saved", "1.log");
    MoxSystem::rollback();
    EXPECT_EQ(lockEntries(), 0u);
    EXPECT_EQ(keyed.differences({{1, 1}}), std::vector<std::string>());
    MoxSystem::commit();
}

// Random work on a table with a unique index is cut off by SIGKILL after a
// different number of log appends each round; every third round right after
// the record COMMIT of a transaction, before its index COMMIT, and every
// fourth the recovery itself dies once before it is repeated. After each
// recovery the table and its index hold exactly what was committed.
TEST_F(MoxSystemTransactionTest, WorkKilledAtManyPointsRecoversRowsAndIndexEntriesAsCommitted) {
    ASSERT_EQ(inChild([] {
                  MoxSystem::start();
                  Keyed created(true);
                  return 0;
              }),
              0);
    Model model;
    const std::string journalPath = directory() + "/journal";
    for (int round = 0; round < 12; ++round) {
        unlink(journalPath.c_str());
        const int journal = open(journalPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        const int died = inChild([&] {
            const Model committed = runWork(model, 10 + round, journal, 2);
            if (round % 3 == 0) {
                Keyed().set(1000 + round, round);
                MoxLogManager::TEST_killAfterAppends(1);
                MoxSystem::commit();
            }
            MoxLogManager::TEST_killAfterAppends(1 + (round * 37) % 90);
            runWork(committed, 100 + round, journal, 6);
            return 0;
        });
        close(journal);
        ASSERT_TRUE(died == killed || died == 0) << died;
        crashSystem();
        model = replay(journalPath, model);
        if (round % 3 == 0) {
            model[1000 + round] = round;
        }
        if (round % 4 == 1) {
            ASSERT_EQ(inChild([&] {
                          MoxLogManager::TEST_killAfterAppends(1 + round / 4 % 2);
                          testing::internal::CaptureStdout();
                          MoxSystem::recover();
                          return 0;
                      }),
                      killed);
            crashSystem();
        }
        ASSERT_EQ(inChild([&] { return recoverAndCompare(model); }), 0) << "round " << round;
    }
}

}  // namespace
