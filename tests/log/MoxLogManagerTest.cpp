#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "LogTestDatabase.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"
#include "TestHelpers.h"
#include "common/ChildProcess.h"
#include "support/MoxScopedMemorySet.h"

namespace {

const MoxTransactionId first(4711, 1);
const MoxTransactionId second(4711, 2);

class MoxLogManagerTest : public LogTestDatabase {
  protected:
    MoxLsn append(MoxAbstractLogEntry&& entry) { return MoxLogManager::getInstance()->createLogEntry(&entry); }
    MoxLsn append(MoxAbstractLogEntry& entry) { return MoxLogManager::getInstance()->createLogEntry(&entry); }

    // A process attaches a set once: the manager goes first (and with it its chain memory).
    static Uint16 sharedFilenumber() {
        if (MoxLogManager::hasInstance()) delete MoxLogManager::getInstance();
        MoxScopedMemorySet connection(MoxMemoryManager::LogFileHandling);
        return static_cast<MoxLogManager::LogFileHandling*>(connection.getData())->filenumber;
    }

    static void growTo(const std::string& name, std::uintmax_t size) {
        writeFile(name, "");
        std::filesystem::resize_file(name, size);
    }
};

TEST_F(MoxLogManagerTest, AppendsLinesWhoseOffsetIsTheirLsn) {
    MoxRecordLogEntry insert = recordEntry(first, "a;b\nc");
    EXPECT_EQ(append(insert), MoxLsn(1, 0));
    EXPECT_EQ(insert.getLsn(), MoxLsn(1, 0));
    EXPECT_EQ(insert.getPrevLsnText(), "0,0");
    const std::string firstLine = serialized(insert) + "\n";
    EXPECT_EQ(insert.getLength() + 1, static_cast<int>(firstLine.size()));

    MoxIndexLogEntry change = indexEntry(first, std::string(MOX_PAGE_SIZE, '\n'));
    EXPECT_EQ(append(change), MoxLsn(1, static_cast<Uint32>(firstLine.size())));
    // Nothing stays buffered: the file holds both lines when the call returns.
    EXPECT_EQ(fileBytes("1.log"), firstLine + serialized(change) + "\n");
}

TEST_F(MoxLogManagerTest, ChainsFollowOneTransactionWithinTheProcess) {
    MoxLsn a1 = append(recordEntry(first, "1"));
    MoxRecordLogEntry a2 = recordEntry(first, "2");
    append(a2);
    EXPECT_EQ(a2.getPrevLsnText(), a1.dump());

    // Record and index entries of one transaction share the chain.
    MoxIndexLogEntry a3 = indexEntry(first, "3");
    append(a3);
    EXPECT_EQ(a3.getPrevLsnText(), a2.getLsn().dump());

    MoxRecordLogEntry b1 = recordEntry(second, "4");
    append(b1);
    EXPECT_EQ(b1.getPrevLsnText(), "0,0");
    MoxRecordLogEntry a4 = recordEntry(first, "5");
    MoxLsn a4Lsn = append(a4);
    EXPECT_EQ(a4.getPrevLsnText(), "0,0");
    MoxRecordLogEntry a5 = recordEntry(first, "6", MoxAbstractLogEntry::COMMIT);
    append(a5);
    EXPECT_EQ(a5.getPrevLsnText(), a4Lsn.dump());
}

TEST_F(MoxLogManagerTest, AFileBeyondTenMebibytesIsNotContinued) {
    growTo("1.log", 10485760);
    EXPECT_EQ(append(recordEntry(first, "fits")), MoxLsn(1, 10485760));
    EXPECT_EQ(sharedFilenumber(), 1);

    MoxLsn next = append(recordEntry(first, "moves on"));
    EXPECT_EQ(next, MoxLsn(2, 0));
    EXPECT_EQ(sharedFilenumber(), 2);
    EXPECT_EQ(append(recordEntry(first, "stays")).getFilenumber(), 2);
}

TEST_F(MoxLogManagerTest, AfterARestartAppendsSkipFullFiles) {
    growTo("1.log", 10485761);
    growTo("2.log", 20000000);
    writeFile("3.log", "0123456789");
    delete MoxLogManager::getInstance();
    stopSystem();
    MoxLogManager::initializeLogFileHandling();
    EXPECT_EQ(sharedFilenumber(), 1);

    EXPECT_EQ(append(recordEntry(first, "x")), MoxLsn(3, 10));
    EXPECT_EQ(sharedFilenumber(), 3);
    EXPECT_EQ(std::filesystem::file_size("2.log"), 20000000u);
}

TEST_F(MoxLogManagerTest, AFileThatCannotBeOpenedIsReportedAndReleasesTheLatch) {
    MoxLsn before = append(recordEntry(first, "before"));
    growTo("1.log", 10485761);
    std::filesystem::create_directory("2.log");

    testing::internal::CaptureStderr();
    EXPECT_TRUE(throwsError([this] { append(recordEntry(first, "lost")); }, MOX_LOGM_FILE_OPEN_FAILED, {"2.log"}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Fehler beim öffnen der Datei");

    std::filesystem::remove("2.log");
    MoxRecordLogEntry after = recordEntry(first, "after");
    EXPECT_EQ(append(after), MoxLsn(2, 0));
    // The failed append did not become the chain's last entry.
    EXPECT_EQ(after.getPrevLsnText(), before.dump());
}

TEST_F(MoxLogManagerTest, AFailedWriteIsReportedAndLeavesTheChainAlone) {
    MoxLsn before = append(recordEntry(first, "before"));
    const off_t sizeBefore = static_cast<off_t>(std::filesystem::file_size("1.log"));
    ChildProcess child([&] {
        // The file size limit makes the write fail part way, as a full disk would.
        if (freopen("/dev/null", "w", stderr) == nullptr) return 2;
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit = {static_cast<rlim_t>(sizeBefore + 10), static_cast<rlim_t>(sizeBefore + 10)};
        setrlimit(RLIMIT_FSIZE, &limit);
        MoxRecordLogEntry torn = recordEntry(first, std::string(100, 't'));
        std::optional<MoxException> failure = caught([&] { append(torn); });
        return failure && failure->getErrorCode() == MOX_LOGM_FILE_WRITE_FAILED && failure->getErrorToken(1) == "1.log"
                   ? 0
                   : 1;
    });
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(static_cast<off_t>(std::filesystem::file_size("1.log")), sizeBefore + 10);

    testing::internal::CaptureStderr();
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = {static_cast<rlim_t>(sizeBefore + 10), saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::optional<MoxException> failure = caught([this] { append(recordEntry(first, std::string(100, 'u'))); });
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Fehler beim Schreiben in Datei");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->getErrorCode(), MOX_LOGM_FILE_WRITE_FAILED);

    MoxRecordLogEntry after = recordEntry(first, "after");
    EXPECT_EQ(append(after), MoxLsn(1, static_cast<Uint32>(sizeBefore + 10)));
    EXPECT_EQ(after.getPrevLsnText(), before.dump());

    // The torn piece that the child left is passed over; the entries around it are read.
    MoxRecovery recovery;
    recovery.AnalyseLog(MoxRecovery::RECORD);
    ASSERT_EQ(recovery.getRecordRedoListLength(), 2);
    EXPECT_EQ(recovery.getRecordRedoList()[0].getLsn(), before);
    EXPECT_EQ(recovery.getRecordRedoList()[1].getLsn(), after.getLsn());
}

TEST_F(MoxLogManagerTest, ProcessesAppendingAtOnceNeverMix) {
    const int processes = 4;
    const int entriesEach = 150;
    EventPipe ready;
    EventPipe go;
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int p = 0; p < processes; ++p) {
        children.push_back(std::make_unique<ChildProcess>([&, p] {
            MoxTransactionId own = MoxTransactionManager::getInstance()->getCurrentTransactionID();
            MoxLogManager* manager = MoxLogManager::getInstance();
            ready.notify();
            if (!go.waitFor(20000)) return 2;
            for (int i = 0; i < entriesEach; ++i) {
                // Images hold newlines and separators, and the index pages
                // make appends large enough to be written in pieces.
                std::string image = std::to_string(p) + ";" + std::to_string(i) + "\n";
                if (i % 10 == 0) {
                    MoxIndexLogEntry entry = indexEntry(own, image + std::string(MOX_PAGE_SIZE, '\n'));
                    manager->createLogEntry(&entry);
                } else {
                    MoxRecordLogEntry entry = recordEntry(own, image);
                    manager->createLogEntry(&entry);
                }
            }
            return 0;
        }));
    }
    for (int p = 0; p < processes; ++p) ASSERT_TRUE(ready.waitFor(20000));
    for (int p = 0; p < processes; ++p) go.notify();
    std::map<pid_t, int> processOf;
    for (int p = 0; p < processes; ++p) {
        EXPECT_EQ(children[p]->wait(), 0);
        processOf[children[p]->pid()] = p;
    }

    MoxRecovery recovery;
    recovery.AnalyseLog(MoxRecovery::ALL);
    std::vector<MoxAbstractLogEntry*> entries;
    for (int i = 0; i < recovery.getRecordRedoListLength(); ++i) entries.push_back(&recovery.getRecordRedoList()[i]);
    for (int i = 0; i < recovery.getIndexRedoListLength(); ++i) entries.push_back(&recovery.getIndexRedoList()[i]);
    ASSERT_EQ(entries.size(), static_cast<size_t>(processes * entriesEach));
    std::sort(entries.begin(), entries.end(),
              [](MoxAbstractLogEntry* a, MoxAbstractLogEntry* b) { return a->getLsn() < b->getLsn(); });

    const std::string log = fileBytes("1.log");
    std::map<pid_t, std::string> lastLsnOf;
    std::map<pid_t, int> countOf;
    std::set<std::string> lsns;
    for (MoxAbstractLogEntry* entry : entries) {
        pid_t pid = entry->getTransactionID().getProcessId();
        ASSERT_EQ(processOf.count(pid), 1u);
        int i = countOf[pid]++;
        std::string image = std::to_string(processOf[pid]) + ";" + std::to_string(i) + "\n";
        if (i % 10 == 0) {
            image += std::string(MOX_PAGE_SIZE, '\n');
            auto* index = dynamic_cast<MoxIndexLogEntry*>(entry);
            ASSERT_NE(index, nullptr);
            EXPECT_EQ(std::string(index->getAfterPage(), index->getApl()), image);
        } else {
            auto* record = dynamic_cast<MoxRecordLogEntry*>(entry);
            ASSERT_NE(record, nullptr);
            EXPECT_EQ(std::string(record->getAfterImage(), record->getAftImgLength()), image);
        }
        // Each entry lies in the file exactly where its LSN says, whole.
        const std::string line = serialized(*entry) + "\n";
        EXPECT_EQ(log.compare(entry->getLsn().getOffset(), line.size(), line), 0);
        EXPECT_TRUE(lsns.insert(entry->getLsn().dump()).second);
        // Chains run only through the process's own entries.
        EXPECT_EQ(entry->getPrevLsnText(), lastLsnOf.count(pid) ? lastLsnOf[pid] : "0,0");
        lastLsnOf[pid] = entry->getLsn().dump();
    }
}

TEST_F(MoxLogManagerTest, ACrashPointKillsTheProcessOnceTheEntryIsInTheFile) {
    ChildProcess child([] {
        MoxLogManager::TEST_killAfterAppends(2);
        MoxTransactionId own = MoxTransactionManager::getInstance()->getCurrentTransactionID();
        for (int i = 0; i < 3; ++i) {
            MoxRecordLogEntry entry = recordEntry(own, std::to_string(i));
            MoxLogManager::getInstance()->createLogEntry(&entry);
        }
        return 0;
    });
    EXPECT_EQ(child.wait(), 128 + SIGKILL);
    MoxRecovery recovery;
    recovery.AnalyseLog(MoxRecovery::RECORD);
    ASSERT_EQ(recovery.getRecordRedoListLength(), 2);
    EXPECT_EQ(std::string(recovery.getRecordRedoList()[1].getAfterImage()), "1");
    // The latch was released before the kill: this process appends at once.
    append(recordEntry(first, "after"));
}

}  // namespace
