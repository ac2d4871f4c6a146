#include <gtest/gtest.h>

#include <map>

#include "RecordTestDatabase.h"
#include "RecordWorkload.h"

namespace {

class MoxRecordRandomTest : public RecordTestDatabase {};

// Three hundred random transactions over four tables: inserts, replaces to
// any length (in place, grown, moved out, onward and home again) and
// removes, a quarter of the transactions rolled back. After every
// transaction each table holds exactly what the model says, every record
// reachable once, and the pages, the forwarding and the inventory keep
// their rules; a recovery of the log changes none of it.
TEST_F(MoxRecordRandomTest, ChangesAndRollbacksKeepEveryTableAsTheModelSays) {
    RecordWorkload::Tables tables;
    for (TableId table : {3, 4, 5, 6}) {
        createTable(table);
        tables[table];
    }
    const unsigned seed = 11;
    RecordWorkload workload(tables, seed);
    for (int transaction = 0; transaction < 300; ++transaction) {
        workload.runTransaction();
        ASSERT_EQ(RecordWorkload::differences(workload.committed()), std::vector<std::string>())
            << "seed " << seed << ", after transaction " << transaction;
    }
    // Every kind of replace happened, and every kind of undo: counted by
    // the secondary TupleIds of the log entries.
    std::map<std::string, int> kinds;
    MoxRecovery log;
    log.AnalyseLog(MoxRecovery::RECORD);
    for (int i = 0; i < log.getRecordRedoListLength(); ++i) {
        const MoxRecordLogEntry& entry = log.getRecordRedoList()[i];
        const TupleId* before = entry.getOldSecTID();
        const TupleId* after = entry.getNewSecTID();
        const std::string moves = before == nullptr   ? (after == nullptr ? "in page" : "moved out")
                                  : after == nullptr  ? "home again"
                                  : *before == *after ? "on its secondary page"
                                                      : "onward";
        kinds[std::to_string(entry.getTransactionType()) + " " + moves] += 1;
    }
    for (const char* kind : {"5 in page", "5 moved out", "5 on its secondary page", "5 home again", "5 onward",
                             "8 in page", "8 moved out", "9 in page", "10 in page", "10 moved out", "10 home again"}) {
        EXPECT_GT(kinds[kind], 0) << kind;
    }
    // A scan returns each record once, at its TupleId.
    for (const auto& [table, rows] : workload.committed()) {
        RecordWorkload::Table scanned;
        MoxRecordIterator* raw = nullptr;
        manager->getRecordIterator(table, raw);
        std::unique_ptr<MoxRecordIterator> scan(raw);
        MoxRecord* record = nullptr;
        while (scan->getNext(record) == MOX_SUCCESS) {
            EXPECT_TRUE(
                scanned
                    .emplace(std::make_pair(record->getTupleId()->page, record->getTupleId()->slot), bytesOf(*record))
                    .second);
        }
        delete record;
        EXPECT_TRUE(scanned == rows) << "table " << table;
    }
    commit();
    testing::internal::CaptureStdout();
    manager->recover();
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.find("Calculated starting point"), std::string::npos) << "no page lost anything: " << printed;
    commit();
    EXPECT_EQ(RecordWorkload::differences(workload.committed()), std::vector<std::string>());
}

}  // namespace
