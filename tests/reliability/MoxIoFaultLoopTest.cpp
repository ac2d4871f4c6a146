#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "MoxBuffer.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"
#include "FaultLoopWorkload.h"
#include "MoxChecker.h"
#include "common/ChildProcess.h"
#include "common/SystemCrash.h"
#include "common/TestDatabase.h"
#include "support/MoxIoFaults.h"

#ifdef MOX_FAULT_INJECTION

// Fail at step n: for n = 1, 2, ... the n-th file operation that a fault can
// strike fails while a forked process runs the record workload, until a run
// completes without the fault striking. Each run must report the failure at
// the step that met it, with a code and a message, must keep its tables
// sound and every row it inserted readable, and must write its pool out once
// the disk works again. Then the system crashes (the pool goes) and the
// files alone must hold every committed row, sound tables, and no row that
// nobody inserted.
namespace {

typedef MoxIoFaults F;
typedef FaultLoopWorkload::Outcome Outcome;

const char* const outcomeFile = "outcome";

// Discards what is written to it; the log manager's failure lines would
// otherwise fill the test's output.
class NullBuffer : public std::streambuf {
  protected:
    int overflow(int c) override { return c; }
};

std::string describe(const FaultLoopWorkload::Row& row) {
    return "table " + std::to_string(row.table) + " record " + std::to_string(row.number) + " at " +
           std::to_string(row.tid.page) + "," + std::to_string(unsigned(row.tid.slot));
}

// The problems of every table, each named with its table.
std::vector<std::string> tableProblems(const std::vector<TableId>& tables) {
    std::vector<std::string> problems;
    for (TableId table : tables) {
        for (const MoxCheckProblem& problem : MoxTableChecker(table, std::to_string(table)).check()) {
            problems.push_back(problem.line());
        }
    }
    return problems;
}

// The bytes stored at the row's TupleId, or the failure's code.
std::string storedBytes(const FaultLoopWorkload::Row& row) {
    MoxRecord* raw = nullptr;
    try {
        MoxRecordManager::getInstance()->get(row.table, row.tid, raw);
    } catch (const MoxException& exception) {
        return "code " + std::to_string(exception.getErrorCode());
    }
    std::unique_ptr<MoxRecord> record(raw);
    return std::string(reinterpret_cast<const char*>(record->getRecordData()), record->getLength());
}

class MoxIoFaultLoopTest : public TestDatabase {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        startSets();
    }

    // The forked run: the workload under the armed fault, then the checks
    // that need its pool, then its pool written out. Problems go to standard
    // error and make the exit code 1; the outcome goes to the outcome file.
    static int runUnderFault(F::Effect effect, Uint64 n) {
        NullBuffer discard;
        std::streambuf* standardError = std::cerr.rdbuf(&discard);
        F::TEST_arm(effect, n);
        FaultLoopWorkload workload;
        std::vector<std::string> problems;
        Outcome outcome = workload.run([&problems](size_t step) {
            if (F::TEST_fired()) {
                problems.push_back("the " + F::TEST_firedAt() + " failed, but step " + std::to_string(step) +
                                   " succeeded");
            }
        });
        F::TEST_disarm();
        outcome.save(outcomeFile);
        if (F::TEST_fired()) {
            if (!outcome.failed) {
                problems.push_back("the workload completed although the " + F::TEST_firedAt() + " failed");
            } else if (outcome.code >= 0 || outcome.message.empty()) {
                problems.push_back("step \"" + outcome.failedStepName + "\" failed with code " +
                                   std::to_string(outcome.code) + " and message \"" + outcome.message + "\"");
            }
            // What the failed step did is still in the pool: the tables it
            // touched must be sound, and every row inserted must read back.
            for (const std::string& problem : tableProblems(outcome.tables)) problems.push_back(problem);
            for (const FaultLoopWorkload::Row& row : outcome.rows) {
                if (storedBytes(row) != FaultLoopWorkload::bytesOf(row.table, row.number)) {
                    problems.push_back(describe(row) + " does not read back after the failure");
                }
            }
            // The disk works again: nothing may keep the pool from its files.
            try {
                MoxBufferManager::getInstance()->flushAll();
            } catch (const MoxException& exception) {
                problems.push_back("the pool cannot be written after the failure: code " +
                                   std::to_string(exception.getErrorCode()));
            }
        }
        std::cerr.rdbuf(standardError);
        for (const std::string& problem : problems) fprintf(stderr, "%s\n", problem.c_str());
        return problems.empty() ? 0 : 1;
    }

    // After the crash, from the files alone: the committed tables are sound,
    // every committed row is there, and every row found is one the run
    // inserted, at the place it was inserted.
    static void checkFiles(const Outcome& outcome) {
        EXPECT_EQ(tableProblems(outcome.tables), std::vector<std::string>());
        std::map<std::pair<TableId, std::pair<PageId, SlotId>>, int> inserted;
        for (const FaultLoopWorkload::Row& row : outcome.rows) {
            inserted[{row.table, {row.tid.page, row.tid.slot}}] = row.number;
            if (row.state != FaultLoopWorkload::Pending) {
                EXPECT_EQ(storedBytes(row), FaultLoopWorkload::bytesOf(row.table, row.number))
                    << describe(row) << " was committed";
            }
        }
        for (TableId table : outcome.tables) {
            MoxRecordIterator* raw = nullptr;
            MoxRecordManager::getInstance()->getRecordIterator(table, raw);
            std::unique_ptr<MoxRecordIterator> scan(raw);
            MoxRecord* found = nullptr;
            MoxErrorCode rc = MOX_SUCCESS;
            while ((rc = scan->getNext(found)) == MOX_SUCCESS) {
                const TupleId& tid = *found->getTupleId();
                auto row = inserted.find({table, {tid.page, tid.slot}});
                if (row == inserted.end()) {
                    ADD_FAILURE() << "table " << table << " holds a row nobody inserted at " << tid.page << ","
                                  << unsigned(tid.slot);
                    continue;
                }
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(found->getRecordData()), found->getLength()),
                          FaultLoopWorkload::bytesOf(table, row->second));
            }
            delete found;
            EXPECT_EQ(rc, MOX_NOT_FOUND_WARN) << "the scan of table " << table << " ended early";
        }
    }

    // A new database in the same directory: no files, new sets.
    void startOver() {
        MoxSystem::stopAllManagers();
        MoxSystem::stop(true);
        for (const auto& entry : std::filesystem::directory_iterator(directory())) {
            std::filesystem::remove(entry.path());
        }
        startSets();
    }

    // Runs the workload with the fault at n = 1, 2, ... until a run
    // completes without it, which it returns; injected counts the faults.
    Outcome sweep(F::Effect effect, Uint64& injected) {
        for (Uint64 n = 1;; ++n) {
            SCOPED_TRACE("the fault strikes operation " + std::to_string(n));
            ChildProcess run([effect, n] { return runUnderFault(effect, n); });
            EXPECT_EQ(run.wait(), 0);
            Outcome outcome = Outcome::load(outcomeFile);
            crashSystem();
            checkFiles(outcome);
            injected = n - 1;
            if (HasFailure() || !outcome.failed) return outcome;
            startOver();
        }
    }
};

// One sweep per effect, so that they can run side by side.
class MoxIoFaultSweepTest : public MoxIoFaultLoopTest, public testing::WithParamInterface<F::Effect> {};

TEST_P(MoxIoFaultSweepTest, EveryFailingOperationIsReportedAndLosesNothingCommitted) {
    Uint64 injected = 0;
    const Outcome completed = sweep(GetParam(), injected);
    std::cout << injected << " faults injected" << std::endl;
    // What the faults met: a workload over several pages of every table.
    ASSERT_FALSE(completed.failed);
    EXPECT_EQ(completed.tables, FaultLoopWorkload::tables());
    for (TableId table : FaultLoopWorkload::tables()) {
        PageId last = 0;
        for (const FaultLoopWorkload::Row& row : completed.rows) {
            if (row.table == table) last = std::max(last, row.tid.page);
        }
        EXPECT_GE(last, 3) << "table " << table;
    }
}

std::string effectName(const testing::TestParamInfo<F::Effect>& info) {
    return info.param == F::IoError ? "IoError" : info.param == F::NoSpace ? "NoSpace" : "ShortWrite";
}

INSTANTIATE_TEST_SUITE_P(Effects, MoxIoFaultSweepTest, testing::Values(F::IoError, F::ShortWrite), effectName);

}  // namespace

#endif
