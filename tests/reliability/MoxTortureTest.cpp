#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "MoxTortureRun.h"
#include "common/TestDatabase.h"

// The short forms of the crash torture and of the load that
// tools/torture/MoxTortureDriver runs for long: worker processes change
// three tables with two indexes each at random, committing, rolling back
// and retrying after deadlocks; afterwards the tables and their indexes must
// hold exactly what the journals and the log say was committed.
namespace {

const int loadSeconds = 20;
// Recovery reads the whole log, which every cycle lengthens: the workers
// die within a tenth of a second, in which they write some hundred
// transactions. The sanitizer build's workers are slower by far.
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
const int crashMaxMillis = 150;
#else
const int crashMaxMillis = 100;
#endif

typedef std::vector<std::string> Problems;

class MoxTortureTest : public TestDatabase {};

TEST_F(MoxTortureTest, EveryCrashKeepsExactlyTheCommittedTransactions) {
    MoxTortureRun::Options options;
    options.seed = 18;
    options.maxMillis = crashMaxMillis;
    MoxTortureRun run(options);
    run.prepare();
    const int cycles = 20;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        ASSERT_EQ(run.crashCycle(), Problems()) << "cycle " << cycle << " of seed " << options.seed;
    }
    std::cout << cycles << " crash cycles survived" << std::endl;
}

TEST_F(MoxTortureTest, TwoProcessesUnderLoadLeaveExactlyTheCommittedRows) {
    MoxTortureRun::Options options;
    options.seed = 5;
    options.keySpace = 2000;
    MoxTortureRun run(options);
    run.prepare();
    MoxTortureWorker::Stats total;
    EXPECT_EQ(run.load(2, loadSeconds, total), Problems());
    EXPECT_GT(total.commits, 0u);
    std::cout << total.commits << " commits in " << loadSeconds << " s, " << total.rollbacks << " rollbacks, "
              << total.deadlocks << " deadlocks, " << total.timeOuts << " lock time-outs" << std::endl;
}

}  // namespace
