#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <vector>

#include "MoxBuffer.h"
#include "MoxLog.h"
#include "RecordWorkload.h"
#include "common/ChildProcess.h"
#include "common/SystemCrash.h"
#include "common/TestDatabase.h"

namespace {

typedef RecordWorkload::Tables Tables;

const int killed = 128 + SIGKILL;

MoxRecord recordOf(const std::string& bytes) {
    return MoxRecord(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<Uint16>(bytes.size()));
}

// System crashes: the work that is to be lost runs in children, which die
// by SIGKILL (at a chosen log append) or end without writing their pages;
// the pool goes with the forced stop; recovery and the checks run in a
// child of their own. This process holds no manager.
class MoxRecordCrashTest : public TestDatabase {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        startSets();
    }

    static int inChild(const std::function<int()>& body) { return ChildProcess(body).wait(120); }

    // A fresh journal file for a child's changes.
    int newJournal(const std::string& name) {
        journalPath = directory() + "/" + name;
        unlink(journalPath.c_str());
        return open(journalPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    }

    // In a child: recover, end the recovering transaction, and 0 when every
    // table is as expected, else the differences on standard error.
    static int recoverAndCompare(const Tables& expected) {
        testing::internal::CaptureStdout();
        MoxRecordManager::getInstance()->recover();
        testing::internal::GetCapturedStdout();
        RecordWorkload::commit();
        return reported(RecordWorkload::differences(expected));
    }

    static int reported(const std::vector<std::string>& differences) {
        for (const std::string& difference : differences) std::cerr << difference << "\n";
        return differences.empty() ? 0 : 1;
    }

    // The bytes of page `page` of the table's segment file; empty behind its end.
    std::string pageInFile(TableId table, PageId page) {
        std::ifstream file(directory() + "/Seg" + std::to_string(table) + ".mox", std::ios::binary);
        std::string bytes(MOX_PAGE_SIZE, '\0');
        file.seekg(static_cast<std::streamoff>(page) * MOX_PAGE_SIZE);
        file.read(bytes.data(), MOX_PAGE_SIZE);
        return file.gcount() == MOX_PAGE_SIZE ? bytes : std::string();
    }

    // The regular files of one directory into another, overwriting.
    static void copyFiles(const std::string& from, const std::string& to) {
        std::filesystem::create_directory(to);
        for (const auto& file : std::filesystem::directory_iterator(from)) {
            if (file.is_regular_file()) {
                std::filesystem::copy_file(file.path(), to + "/" + file.path().filename().string(),
                                           std::filesystem::copy_options::overwrite_existing);
            }
        }
    }

    std::string journalPath;
};

// Random work on three tables is cut off by SIGKILL after a different
// number of log appends each round, with the pool writing victims of a
// small working set, with an earlier flushAll, or with a recovery that
// itself dies before it is repeated (at every one of its appends). Every
// recovery leaves exactly what was committed, and the work of the next round
// starts from there.
TEST_F(MoxRecordCrashTest, WorkKilledAtManyPointsRecoversExactlyWhatWasCommitted) {
    Tables model;
    ASSERT_EQ(inChild([&] {
                  for (TableId table : {7, 8, 9}) MoxRecordManager::getInstance()->createTable(table);
                  RecordWorkload::commit();
                  return 0;
              }),
              0);
    for (TableId table : {7, 8, 9}) model[table];
    for (int round = 0; round < 16; ++round) {
        const int variant = round % 4;
        const int journal = newJournal("work");
        const int died = inChild([&] {
            MoxBufferManager::TEST_limitFrames(variant == 0 ? 12 : 0);
            RecordWorkload work(model, 100 + round, journal);
            work.runTransaction();
            if (variant == 1) MoxBufferManager::getInstance()->flushAll();
            MoxLogManager::TEST_killAfterAppends(1 + (round * 23) % 70);
            for (int transaction = 0; transaction < 8; ++transaction) work.runTransaction();
            return 0;
        });
        close(journal);
        ASSERT_TRUE(died == killed || died == 0) << died;
        crashSystem();
        model = RecordWorkload::replayJournal(journalPath, model);
        // A recovery that dies itself, at each of its appends in turn, each
        // time on the files the work left, and is then repeated.
        if (round % 8 == 3) {
            copyFiles(directory(), directory() + "/saved");
            for (Uint32 appends = 1;; ++appends) {
                copyFiles(directory() + "/saved", directory());
                const int recovered = inChild([&] {
                    MoxLogManager::TEST_killAfterAppends(appends);
                    testing::internal::CaptureStdout();
                    MoxRecordManager::getInstance()->recover();
                    return 0;
                });
                crashSystem();
                if (recovered != killed) break;
                ASSERT_EQ(inChild([&] { return recoverAndCompare(model); }), 0) << "killed at append " << appends;
                crashSystem();
            }
        }
        const int more = newJournal("after");
        ASSERT_EQ(inChild([&] {
                      MoxBufferManager::TEST_limitFrames(variant == 2 ? 12 : 0);
                      if (recoverAndCompare(model) != 0) return 1;
                      RecordWorkload work(model, 500 + round, more);
                      for (int transaction = 0; transaction < 3; ++transaction) work.runTransaction();
                      return reported(RecordWorkload::differences(work.committed()));
                  }),
                  0)
            << "round " << round;
        close(more);
        model = RecordWorkload::replayJournal(journalPath, model);
    }
}

// A transaction undone by one recovery stays undone: the next recovery, after
// its slot was reused by a committed record, leaves that record alone.
TEST_F(MoxRecordCrashTest, AnUndoneTransactionIsNotUndoneAgainAfterItsSlotWasReused) {
    const TableId table = 7;
    const Tables expected = {
        {table, {{{1, 0}, RecordWorkload::bytesOf(1, 9)}, {{1, 1}, RecordWorkload::bytesOf(3, 9)}}}};
    RecordWorkload work({{table, {}}}, 0);
    ASSERT_EQ(inChild([&] {
                  MoxRecordManager::getInstance()->createTable(table);
                  work.insert(table, 1, 9);
                  work.commitTransaction();
                  work.insert(table, 2, 9);
                  MoxBufferManager::getInstance()->flushAll();
                  return 0;
              }),
              0);
    crashSystem();
    ASSERT_EQ(inChild([&] {
                  if (recoverAndCompare({{table, {{{1, 0}, RecordWorkload::bytesOf(1, 9)}}}}) != 0) return 1;
                  const TupleId reused = work.insert(table, 3, 9);
                  work.commitTransaction();
                  return reused.page == 1 && reused.slot == 1 ? 0 : 2;
              }),
              0);
    for (int crash = 0; crash < 2; ++crash) {
        crashSystem();
        EXPECT_EQ(inChild([&] { return recoverAndCompare(expected); }), 0);
    }
}

// A record moved out to a new page whose forwarding slot reached the disk
// while the new page did not: redo starts at that move, though the page of
// the record's TupleId has it.
TEST_F(MoxRecordCrashTest, AMovedRecordIsRedoneWhereOnlyItsForwardingSlotWasWritten) {
    const TableId table = 7;
    const std::string moved(2100, 'm');
    ASSERT_EQ(inChild([&] {
                  RecordWorkload work({{table, {}}}, 0);
                  MoxRecordManager::getInstance()->createTable(table);
                  const TupleId first = work.insert(table, 1, 2000);
                  work.insert(table, 2, 2000);
                  work.commitTransaction();
                  MoxRecordManager::getInstance()->replace(table, first, recordOf(moved));
                  work.commitTransaction();
                  MoxScopedPage newPage(table, 2, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
                  MoxBufferManager::getInstance()->flushAll();
                  return 0;
              }),
              0);
    crashSystem();
    ASSERT_EQ(pageInFile(table, 2), "");
    EXPECT_EQ(inChild([&] {
                  return recoverAndCompare({{table, {{{1, 0}, moved}, {{1, 1}, RecordWorkload::bytesOf(2, 2000)}}}});
              }),
              0);
}

// Redo starts at an insert that another table's page lost; the page of this
// table was written after its room went from a removed 3,000-byte record to
// two of 2,000: replayed there, the old insert would find no room.
TEST_F(MoxRecordCrashTest, AChangeIsNotReplayedOnAPageWrittenAfterIt) {
    const Tables expected = {
        {7, {{{1, 0}, RecordWorkload::bytesOf(1, 10)}}},
        {8, {{{1, 0}, RecordWorkload::bytesOf(3, 2000)}, {{1, 1}, RecordWorkload::bytesOf(4, 2000)}}}};
    ASSERT_EQ(inChild([&] {
                  RecordWorkload work({{7, {}}, {8, {}}}, 0);
                  MoxRecordManager* manager = MoxRecordManager::getInstance();
                  manager->createTable(7);
                  manager->createTable(8);
                  work.insert(7, 1, 10);
                  work.commitTransaction();
                  manager->remove(8, work.insert(8, 2, 3000));
                  work.commitTransaction();
                  work.insert(8, 3, 2000);
                  work.insert(8, 4, 2000);
                  work.commitTransaction();
                  MoxScopedPage lost(7, 1, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
                  MoxBufferManager::getInstance()->flushAll();
                  return 0;
              }),
              0);
    crashSystem();
    ASSERT_EQ(pageInFile(7, 1), "");
    EXPECT_EQ(inChild([&] { return recoverAndCompare(expected); }), 0);
}

// The inventory is not logged, so a crash may leave it older than the data
// pages (here: page 0 written before the last pages filled, page 255 never
// written while the pages behind it were, so that the file holds zeros in
// its place) or newer (here: written, while the data pages it counts were
// not). Either way recovery rebuilds it from the data pages, and inserts
// afterwards neither fail nor overwrite a page.
TEST_F(MoxRecordCrashTest, AnInventoryOlderOrNewerThanItsDataPagesIsRebuilt) {
    for (bool inventoryOlder : {true, false}) {
        const TableId table = inventoryOlder ? 7 : 8;
        const int all = inventoryOlder ? 560 : 60;  // two records a page
        const int journal = newJournal("inserts");
        ASSERT_EQ(inChild([&] {
                      RecordWorkload work({{table, {}}}, 0, journal);
                      MoxRecordManager::getInstance()->createTable(table);
                      for (int number = 0; number < all; ++number) {
                          work.insert(table, number, 1900 + number % 100);
                          if (number == 19) {
                              work.commitTransaction();
                              MoxBufferManager::getInstance()->flushAll();
                              MoxBufferManager::TEST_limitFrames(inventoryOlder ? 6 : 0);
                          }
                      }
                      work.commitTransaction();
                      // Every data page held fixed: only the inventory is written.
                      std::vector<std::unique_ptr<MoxScopedPage>> held;
                      for (PageId page = 1; !inventoryOlder && page <= all / 2; ++page) {
                          held.push_back(std::make_unique<MoxScopedPage>(table, page, MoxPage::DataPage,
                                                                         MoxScopedPage::GetExistingPage));
                      }
                      if (!inventoryOlder) MoxBufferManager::getInstance()->flushAll();
                      return 0;
                  }),
                  0);
        close(journal);
        crashSystem();
        const std::string inventoryPage = pageInFile(table, 0);
        ASSERT_EQ(inventoryPage.size(), MOX_PAGE_SIZE);
        const Uint16 count = reinterpret_cast<const MoxRecordLayout::FsiPage*>(inventoryPage.data())->countEntries;
        if (inventoryOlder) {
            ASSERT_NE(pageInFile(table, 256), "") << "the pages behind inventory page 255 were written";
            EXPECT_EQ(pageInFile(table, 255), std::string(MOX_PAGE_SIZE, '\0'));
            EXPECT_EQ(count, 10) << "page 0 as it was before the last pages came";
        } else {
            EXPECT_EQ(pageInFile(table, 11), "") << "the data pages of the second transaction were lost";
            EXPECT_EQ(count, all / 2);
        }
        const Tables model = RecordWorkload::replayJournal(journalPath, {{table, {}}});
        ASSERT_EQ(model.at(table).size(), static_cast<size_t>(all));
        EXPECT_EQ(inChild([&] {
                      if (recoverAndCompare(model) != 0) return 1;
                      RecordWorkload work(model, 0);
                      for (int number = all; number < all + 40; ++number) work.insert(table, number, 1900);
                      work.commitTransaction();
                      return reported(RecordWorkload::differences(work.committed()));
                  }),
                  0)
            << (inventoryOlder ? "inventory older" : "inventory newer");
    }
}

}  // namespace
