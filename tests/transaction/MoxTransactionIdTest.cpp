#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

#include "common/ChildProcess.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"
#include "support/MoxDebug.h"

namespace {

MoxErrorCode parseFailure(const std::string& text) {
    try {
        MoxTransactionId id(text);
        return MOX_SUCCESS;
    } catch (const MoxException& exception) {
        EXPECT_EQ(exception.getErrorToken(1), text);
        return exception.getErrorCode();
    }
}

TEST(MoxTransactionIdTest, TextFormRoundTrips) {
    MoxTransactionId id(4711, 2);
    EXPECT_EQ(id.dump(), "4711,2");
    std::ostringstream stream;
    stream << id;
    EXPECT_EQ(stream.str(), "4711,2");
    EXPECT_EQ(MoxTransactionId("4711,2"), id);
    // Process ids are signed.
    EXPECT_EQ(MoxTransactionId("-5,3"), MoxTransactionId(-5, 3));
    EXPECT_EQ(MoxTransactionId(-5, 3).dump(), "-5,3");
    EXPECT_EQ(MoxTransactionId("4711,"), MoxTransactionId(4711, 0));
    EXPECT_EQ(MoxTransactionId(" 4711 , 2"), id);
}

TEST(MoxTransactionIdTest, MalformedTextFails) {
    for (const char* bad : {"4711", "4711,2 ", "", "4711;2", "4711,-1", "4711,65536", "x,1"}) {
        EXPECT_EQ(parseFailure(bad), MOX_TRANSACTION_ID_PARSING_FAILED) << '"' << bad << '"';
    }
}

TEST(MoxTransactionIdTest, ComparesProcessAndCount) {
    EXPECT_EQ(MoxTransactionId::INVALID_TRANSACTION_ID, MoxTransactionId(0, 0));
    EXPECT_EQ(MoxTransactionId(), MoxTransactionId(getpid(), 0));
    EXPECT_NE(MoxTransactionId(1, 2), MoxTransactionId(1, 3));
    EXPECT_NE(MoxTransactionId(1, 2), MoxTransactionId(2, 2));
}

TEST(MoxTransactionIdTest, BinaryFormHoldsSixSignificantBytes) {
    MoxTransactionId id(0x01020304, 0x0506);
    unsigned char bytes[8];
    ASSERT_EQ(sizeof(id), sizeof(bytes));
    memcpy(bytes, &id, sizeof(bytes));
    const unsigned char expected[6] = {0x04, 0x03, 0x02, 0x01, 0x06, 0x05};
    EXPECT_EQ(memcmp(bytes, expected, sizeof(expected)), 0);
}

TEST(MoxTransactionManagerTest, CountWrapsAndProcessStays) {
    MoxTransactionManager* manager = MoxTransactionManager::getInstance();
    ASSERT_EQ(manager, MoxTransactionManager::getInstance());
    EXPECT_EQ(manager->getCurrentTransactionID().getProcessId(), getpid());
    Uint16 before = manager->getCurrentTransactionID().getUniqueCount();
    ASSERT_EQ(manager->startNewTransaction(), MOX_SUCCESS);
    EXPECT_EQ(manager->getCurrentTransactionID(), MoxTransactionId(getpid(), static_cast<Uint16>(before + 1)));

    while (manager->getCurrentTransactionID().getUniqueCount() != MOX_MAX_UINT16) {
        ASSERT_EQ(manager->startNewTransaction(), MOX_SUCCESS);
    }
    ASSERT_EQ(manager->startNewTransaction(), MOX_SUCCESS);
    EXPECT_EQ(manager->getCurrentTransactionID(), MoxTransactionId(getpid(), 0));
}

TEST(MoxTransactionManagerTest, ForkedChildRunsItsOwnTransactions) {
    MoxTransactionManager* manager = MoxTransactionManager::getInstance();
    ASSERT_EQ(manager->startNewTransaction(), MOX_SUCCESS);
    MoxTransactionId parent = manager->getCurrentTransactionID();
    ChildProcess child([manager] {
        if (manager->getCurrentTransactionID() != MoxTransactionId(getpid(), 0)) {
            return 1;
        }
        manager->startNewTransaction();
        return manager->getCurrentTransactionID() == MoxTransactionId(getpid(), 1) ? 0 : 2;
    });
    EXPECT_EQ(child.wait(30), 0);
    EXPECT_EQ(manager->getCurrentTransactionID(), parent);
}

TEST(MoxTransactionManagerTest, DebugCommandPrintsCurrentId) {
    MoxTransactionManager* manager = MoxTransactionManager::getInstance();
    const MoxDebugData* command = nullptr;
    for (const MoxDebugData& entry : MoxDebug::getFunctions()) {
        if (std::string(entry.name) == "transactionId") {
            command = &entry;
        }
    }
    ASSERT_NE(command, nullptr);
    EXPECT_STREQ(command->doc, "Dumps the current TransactionId");
    EXPECT_EQ(command->rstfunc, nullptr);

    testing::internal::CaptureStdout();
    command->func("");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Current TransactionId: " + manager->getCurrentTransactionID().dump() + "\n");
}

}  // namespace
