#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "LogTestDatabase.h"
#include "MoxSupport.h"
#include "TestHelpers.h"
#include "support/MoxDebug.h"

namespace {

const std::string recordColumns =
    "Logentry Type\t|LSN\t|Prev LSN\t|Trans Id\t|Prim TID\t|Old Sec TID\t|New Sec TID\t|SegID\t|BefImgLen\t|BefImg\t|"
    "AftImgLen\t|AftImg\t|Transtype\t";
const std::string indexColumns =
    "Logentry Type\t|LSN\t|Prev LSN\t|Trans Id\t|Page ID\t|SegID\t|BefImgLen\t|BefImg\t|AftImgLen\t|AftImg\t|"
    "Transtype\t";

// A small known log: two record entries and an index entry of 4711,1, whose
// record commit comes after an entry of 4711,2 in the second file.
class MoxLogPrintTest : public LogTestDatabase {
  protected:
    void SetUp() override {
        LogTestDatabase::SetUp();
        insert = add(recordEntry(MoxTransactionId(4711, 1), "a;\nb"));
        page = add(indexEntry(MoxTransactionId(4711, 1), "pg"));
        other = add(recordEntry(MoxTransactionId(4711, 2), "other"));
        std::filesystem::resize_file("1.log", 10485761);
        commit = add(recordEntry(MoxTransactionId(4711, 1), "", MoxAbstractLogEntry::COMMIT));
        ASSERT_EQ(commit.lsn, "2,0");
    }

    struct Line {
        std::string lsn;
        std::string text;  // the dump line with its end
    };

    Line add(MoxAbstractLogEntry&& entry) {
        MoxLsn lsn = MoxLogManager::getInstance()->createLogEntry(&entry);
        return {lsn.dump(), serialized(entry) + "\n"};
    }

    static std::string logPrint(const char* arguments) {
        mox_dbgfunc* command = nullptr;
        for (const MoxDebugData& data : MoxDebug::getFunctions()) {
            if (strcmp(data.name, "LOG_PRINT") == 0) {
                EXPECT_STREQ(data.doc, "");
                command = data.func;
                break;
            }
        }
        EXPECT_NE(command, nullptr);
        testing::internal::CaptureStdout();
        command(arguments);
        return testing::internal::GetCapturedStdout();
    }

    Line insert;
    Line page;
    Line other;
    Line commit;
};

TEST_F(MoxLogPrintTest, ShowsTheEntriesOfATransaction) {
    EXPECT_EQ(logPrint("SHOWLOG 4711,1"),
              "\n>>> DUMP <<<\nSHOW LOGRECORDS WITH DEFINED TRANSACTION ID\nTransaction ID: 4711,1\n"
              "LOGRECORDS FOR RECORD MANAGER\n" +
                  recordColumns + "\n" + insert.text + commit.text + "\nLOGRECORDS FOR INDEX MANAGER\n" + indexColumns +
                  "\n" + page.text);
}

TEST_F(MoxLogPrintTest, ShowsTheEntriesBetweenTwoLsnsInLsnOrder) {
    EXPECT_EQ(logPrint(("SHOWLOG " + page.lsn + " " + commit.lsn).c_str()),
              "\n>>> DUMP <<<\nSHOW LOGRECORDS BETWEEN TWO LOG SEQUENCE NUMBERS\nFIRST LSN: " + page.lsn +
                  "\nLAST LSN: " + commit.lsn + "\nFor Record Manager : " + recordColumns +
                  "\nFor Index Manager  : " + indexColumns + "\n" + page.text + other.text + commit.text);
}

TEST_F(MoxLogPrintTest, ListsTheLsnsOfOneFile) {
    const std::string heading = "\n>>> DUMP <<<\nLogfile Nr.";
    EXPECT_EQ(logPrint("LISTLSN 1"),
              heading + "1\nLsn-Liste\n" + insert.lsn + "\n" + page.lsn + "\n" + other.lsn + "\n");
    EXPECT_EQ(logPrint("LISTLSN 2"), heading + "2\nLsn-Liste\n2,0\n");
    EXPECT_EQ(logPrint("LISTLSN x"), heading + "0\nLsn-Liste\n");
}

TEST_F(MoxLogPrintTest, OtherArgumentsAreRefused) {
    for (const char* wrong : {"", "SHOWLOG", "LISTLSN", "LISTLSN 1 2", "listlsn 1", "SHOWLOG 1,0 1,1 1,2"}) {
        EXPECT_EQ(logPrint(wrong), "Wrong Parameters\n") << wrong;
    }
    EXPECT_TRUE(throwsError([] { logPrint("SHOWLOG 4711"); }, MOX_TRANSACTION_ID_PARSING_FAILED, {"4711"}));
    testing::internal::GetCapturedStdout();
}

}  // namespace
