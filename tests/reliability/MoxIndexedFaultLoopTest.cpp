#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "MoxBuffer.h"
#include "MoxChecker.h"
#include "MoxSupport.h"
#include "MoxTortureTables.h"
#include "common/ChildProcess.h"
#include "common/SystemCrash.h"
#include "common/TestDatabase.h"
#include "support/MoxIoFaults.h"

#ifdef MOX_FAULT_INJECTION

// Fail at step n over tables with indexes through the catalog: for n = 1,
// 2, ... (wideStride apart) the n-th file operation of a kind fails while a child runs a fixed
// sequence of transactions (rows inserted, grown onto other pages, shrunk,
// removed, with their index entries; the pool written out in between),
// until a run completes without the fault striking. The operation that
// meets the fault must fail with an error code and a message, the
// transaction must roll back, and what committed must still read back;
// then the system crashes, and recovery must leave exactly the committed
// transactions, with sound indexes, and a database that checks clean.
namespace {

typedef MoxIoFaults F;
typedef MoxTortureTables::Row Row;
typedef std::vector<MoxTortureTables::Contents> Model;

// The sanitizer build, slower by far, strikes every fourth operation of the
// sweeps over many operations; the others strike every one.
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
constexpr Uint64 wideStride = 4;
#else
constexpr Uint64 wideStride = 1;
#endif

const char* const outcomeFile = "outcome";
const char* const savedDirectory = "saved";

// Discards what is written to it: the log manager's failure lines.
class NullBuffer : public std::streambuf {
  protected:
    int overflow(int c) override { return c; }
};

struct Change {
    int table;
    Row row;
    bool removed;
};
// The transactions of the run, each committed; an empty one writes the pool out.
const std::vector<std::vector<Change>>& transactions() {
    static const std::vector<std::vector<Change>> all = {
        {{0, {1, 11, 2000}, false}, {1, {2, 12, 50}, false}, {2, {3, 13, 0}, false}},
        {{0, {1, 21, 3000}, false}, {0, {4, 22, 1800}, false}, {1, {2, 0, 0}, true}},
        {},
        {{2, {3, 31, 2500}, false}, {0, {1, 32, 5}, false}, {1, {6, 33, 40}, false}},
        {{0, {4, 0, 0}, true}, {2, {7, 41, 900}, false}, {1, {6, 42, 3000}, false}},
    };
    return all;
}

// What the first `committed` transactions leave, over the rows set up first.
Model modelAfter(size_t committed) {
    Model model(MoxTortureTables::tableCount);
    model[0][100] = {100, 1, 700};
    for (size_t i = 0; i < committed; ++i) {
        for (const Change& change : transactions()[i]) {
            if (change.removed) {
                model[change.table].erase(change.row.key);
            } else {
                model[change.table][change.row.key] = change.row;
            }
        }
    }
    return model;
}

std::vector<std::string> differences(const Model& model) {
    std::vector<std::string> found;
    MoxTortureTables tables;
    for (int table = 0; table < MoxTortureTables::tableCount; ++table) {
        for (const std::string& difference : tables.differences(table, model[table])) found.push_back(difference);
    }
    return found;
}

std::string errorMessage(const MoxException& exception) {
    exception.SET_ERROR();
    char message[MOX_ERROR_MESSAGE_LENGTH + 1] = {};
    MoxError::getErrorObject()->getError(message, sizeof(message), nullptr);
    return message;
}

struct Sweep {
    const char* name;
    F::Effect effect;
    Uint32 operations;
    Uint64 stride;  // every stride-th operation is struck
};

class MoxIndexedFaultLoopTest : public TestDatabase, public testing::WithParamInterface<Sweep> {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        ChildProcess prepare([] {
            MoxSystem::start();
            MoxTortureTables::create();
            MoxTortureTables().put(0, {100, 1, 700});
            MoxSystem::commit();
            MoxSystem::stopAllManagers();
            return 0;
        });
        ASSERT_EQ(prepare.wait(), 0);
        std::filesystem::create_directory(savedDirectory);
        for (const auto& file : std::filesystem::directory_iterator(".")) {
            if (file.is_regular_file()) std::filesystem::copy(file.path(), savedDirectory);
        }
    }

    // The files as set up, in a system started anew.
    static void startOver() {
        crashSystem();
        for (const auto& file : std::filesystem::directory_iterator(".")) {
            if (file.is_regular_file()) std::filesystem::remove(file.path());
        }
        for (const auto& file : std::filesystem::directory_iterator(savedDirectory)) {
            std::filesystem::copy(file.path(), ".");
        }
    }

    // The forked run under the fault: writes "<fired> <committed>" and the
    // problems to the outcome file; the pool is left as the failure left it.
    static int runUnderFault(const Sweep& sweep, Uint64 n) {
        NullBuffer discard;
        std::streambuf* standardError = std::cerr.rdbuf(&discard);
        std::vector<std::string> problems;
        size_t committed = 0;
        F::TEST_arm(sweep.effect, n, sweep.operations);
        try {
            MoxTortureTables tables;
            for (const std::vector<Change>& transaction : transactions()) {
                if (transaction.empty()) MoxBufferManager::getInstance()->flushAll();
                for (const Change& change : transaction) {
                    if (change.removed) {
                        tables.remove(change.table, change.row.key);
                    } else {
                        tables.put(change.table, change.row);
                    }
                }
                MoxSystem::commit();
                ++committed;
            }
        } catch (const MoxException& failure) {
            const std::string message = errorMessage(failure);
            if (!F::TEST_fired()) {
                problems.push_back("code " + std::to_string(failure.getErrorCode()) + " without a fault: " + message);
            } else if (failure.getErrorCode() >= 0 || message.empty()) {
                problems.push_back("the " + F::TEST_firedAt() + " failed with code " +
                                   std::to_string(failure.getErrorCode()) + " and message \"" + message + "\"");
            }
            F::TEST_disarm();
            try {
                MoxSystem::rollback();
                for (const std::string& difference : differences(modelAfter(committed))) {
                    problems.push_back("after the rollback: " + difference);
                }
                MoxSystem::commit();
            } catch (const MoxException& second) {
                problems.push_back("after the " + F::TEST_firedAt() + " failed: code " +
                                   std::to_string(second.getErrorCode()) + ": " + errorMessage(second));
            }
        }
        const bool fired = F::TEST_fired();
        // A failed open, size query or read that a later attempt makes good
        // (a scan that tries its first page again) loses nothing; a write
        // or a close that goes unreported may.
        const bool absorbed = fired && committed == transactions().size();
        const std::string& at = F::TEST_firedAt();
        if (absorbed && at.rfind("open of", 0) != 0 && at.rfind("read of", 0) != 0 &&
            at.rfind("size query of", 0) != 0) {
            problems.push_back("the run completed although the " + F::TEST_firedAt() + " failed");
        }
        F::TEST_disarm();
        std::cerr.rdbuf(standardError);
        std::ofstream outcome(outcomeFile);
        outcome << fired << " " << absorbed << " " << committed << "\n";
        for (const std::string& problem : problems) outcome << problem << "\n";
        return 0;
    }

    // After the crash: recovery, then exactly the committed transactions.
    static int recoverAndCompare(size_t committed) {
        testing::internal::CaptureStdout();
        MoxSystem::recover();
        testing::internal::GetCapturedStdout();
        std::vector<std::string> found = differences(modelAfter(committed));
        for (const MoxCheckProblem& problem : MoxDatabaseChecker().checkDatabase()) {
            found.push_back("check: " + problem.line());
        }
        for (const std::string& difference : found) std::cerr << difference << std::endl;
        MoxSystem::commit();
        MoxSystem::stopAllManagers();
        return found.empty() ? 0 : 1;
    }
};

TEST_P(MoxIndexedFaultLoopTest, EveryFailureIsReportedRolledBackAndRecoveredWithoutLoss) {
    const Sweep sweep = GetParam();
    Uint64 injected = 0;
    Uint64 absorbedFaults = 0;
    for (Uint64 n = 1;; n += sweep.stride) {
        SCOPED_TRACE("the fault strikes operation " + std::to_string(n));
        ChildProcess run([&] { return runUnderFault(sweep, n); });
        ASSERT_EQ(run.wait(), 0);
        std::ifstream outcome(outcomeFile);
        bool fired = false;
        bool absorbed = false;
        size_t committed = 0;
        outcome >> fired >> absorbed >> committed;
        std::vector<std::string> problems;
        for (std::string line; std::getline(outcome, line);) {
            if (!line.empty()) problems.push_back(line);
        }
        EXPECT_EQ(problems, std::vector<std::string>());
        crashSystem();
        ChildProcess recovery([&] { return recoverAndCompare(committed); });
        EXPECT_EQ(recovery.wait(), 0) << committed << " transactions committed";
        if (HasFailure() || !fired) break;
        ++injected;
        absorbedFaults += absorbed;
        startOver();
    }
    std::cout << injected << " faults injected (" << sweep.name << "), " << injected - absorbedFaults
              << " of them reported, " << absorbedFaults << " made good by a later attempt" << std::endl;
    EXPECT_GT(injected - absorbedFaults, 10u / sweep.stride);
}

std::string sweepName(const testing::TestParamInfo<Sweep>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Faults, MoxIndexedFaultLoopTest,
                         testing::Values(Sweep{"IoError", F::IoError, F::AllOperations, wideStride},
                                         Sweep{"NoSpace", F::NoSpace, F::Open | F::Write | F::Close, wideStride},
                                         Sweep{"ShortWrite", F::ShortWrite, F::Write, 1},
                                         Sweep{"OpenAndClose", F::IoError, F::Open | F::Close, wideStride}),
                         sweepName);

}  // namespace

#endif
