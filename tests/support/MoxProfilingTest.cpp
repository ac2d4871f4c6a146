#include <gtest/gtest.h>

#include "MoxSupport.h"
#include "buffer/MoxBufferManagerProfiling.h"
#include "lock/MoxLockManagerProfiling.h"
#include "support/MoxDebug.h"
#include "support/profiling/ScopedTimer.h"

using support::profiling::Counter;
using support::profiling::Timer;

TEST(MoxProfiling, LockProfilerRendersItsTimers) {
    using namespace MoxLockManagerProfiling;
    Profiler profiler;
    profiler.setElementName(GetRequestTime, GetRequestTimeName, Timer());
    { support::ScopedTimer<Profiler, LockManagerTimers> timed(profiler, GetRequestTime); }
    profiler.setElementName(GetReleaseTime, GetReleaseTimeName, Timer());
    { support::ScopedTimer<Profiler, LockManagerTimers> timed(profiler, GetReleaseTime); }
    std::string xml = profiler.getXML();
    EXPECT_EQ(xml.rfind("<Timers>\n<GetRequestTime unit=\"microseconds\">", 0), 0u) << xml;
    EXPECT_NE(xml.find("</GetRequestTime>\n<GetReleaseTime unit=\"microseconds\">"), std::string::npos) << xml;
    const std::string closing = "</GetReleaseTime>\n</Timers>\n";
    EXPECT_EQ(xml.substr(xml.size() - closing.size()), closing);
}

TEST(MoxProfiling, BufferProfilerRendersCountersBeforeTimersAndSkipsUnnamedElements) {
    using namespace MoxBufferManagerProfiling;
    Profiler profiler;
    profiler.setElementName(LogicalReads, LogicalReadsName, Counter());
    profiler.getMeasureValueReference(LogicalReads, Counter()).first += 3;
    profiler.getMeasureValueReference(PhysicalReads, Counter()).first += 1;  // never named
    profiler.setElementName(LogicalReads, "Other::Name", Counter());         // the first name stays
    profiler.setElementName(GetFlushAllTime, GetFlushAllTimeName, Timer());
    EXPECT_EQ(profiler.getXML(),
              "<Counters>\n<LogicalReads>3</LogicalReads>\n</Counters>\n"
              "<Timers>\n<GetFlushAllTime unit=\"microseconds\">0</GetFlushAllTime>\n</Timers>\n");
}

TEST(MoxProfiling, TimerMisuseIsRecordedNotThrown) {
    Timer timer;
    MoxError::getErrorObject()->setError(Support, MOX_SUCCESS);
    timer.startTimer();
    timer.startTimer();
    EXPECT_EQ(MoxGetErrorCode(), MOX_INTERNAL_FAIL);
    timer.stopTimer();
    size_t total = timer.getAccumulatedTimer();
    MoxError::getErrorObject()->setError(Support, MOX_SUCCESS);
    EXPECT_EQ(timer.stopTimer(), 0u);
    EXPECT_EQ(MoxGetErrorCode(), MOX_INTERNAL_FAIL);
    EXPECT_EQ(timer.getAccumulatedTimer(), total) << "a stop without a start adds nothing";
    EXPECT_EQ(Timer().stopTimer(), 0u);
}

namespace {
void firstCommand(const char*) {}
void secondCommand(const char*) {}
}  // namespace

TEST(MoxDebugRegistry, NewestRegistrationComesFirst) {
    MoxDebug::registerFunction(firstCommand, nullptr, "TEST_CMD", "first");
    MoxDebug::registerFunction(secondCommand, firstCommand, "TEST_CMD", "second");
    Uint32 variable = 0;
    MoxDebug::registerDebugVariable(&variable, "TEST_VAR", "");
    const MoxDebugData& newest = MoxDebug::getFunctions().front();
    EXPECT_STREQ(newest.doc, "second");
    EXPECT_EQ(newest.func, secondCommand);
    EXPECT_EQ(newest.rstfunc, firstCommand);
    EXPECT_EQ(newest.var, nullptr);
    EXPECT_STREQ(std::next(MoxDebug::getFunctions().begin())->doc, "first");
    EXPECT_EQ(MoxDebug::getDebugVariables().front().var, &variable);
    EXPECT_EQ(MoxDebug::getDebugVariables().front().func, nullptr);
}
