#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "RecordTestDatabase.h"
#include "support/MoxDebug.h"

namespace {

const TableId table = 7;

class MoxRecordDumpTest : public RecordTestDatabase {
  protected:
    // Table 7 with "Hello" at (1,0) and "World!" at (1,1), committed.
    void SetUp() override {
        RecordTestDatabase::SetUp();
        createTable(table);
        insert(table, "Hello");
        insert(table, "World!");
        commit();
    }

    static std::string captured(const std::function<void()>& dump) {
        testing::internal::CaptureStdout();
        dump();
        return testing::internal::GetCapturedStdout();
    }

    // A row of the hex listing whose 16 bytes are all zero.
    static std::string zeroRow(int row) {
        char number[3];
        snprintf(number, sizeof(number), "%02X", row);
        std::string text = std::string(number) + ":\t";
        for (int i = 0; i < 16; ++i) text += "00 ";
        return text + "\t" + std::string(16, ' ') + "\n";
    }

    static mox_dbgfunc* command(const std::string& name) {
        for (const MoxDebugData& data : MoxDebug::getFunctions()) {
            if (name == data.name) return data.func;
        }
        return nullptr;
    }
};

TEST_F(MoxRecordDumpTest, SummaryOfEveryPage) {
    const std::string heading = "PageType    | PageId      | Number of entries/slots       | Space used\n";
    EXPECT_EQ(captured([&] { manager->dumpTableInfo(table); }),
              "----------DUMP----------\n"
              "TableId: 7\n"
              "SegmentId: 7\n" +
                  heading +
                  "FSV PAGE    | 0           | 1                             \n"
                  "DATA PAGE   | 1           | 2                             | 2%        \n"
                  "--------END DUMP--------\n");
    EXPECT_EQ(captured([&] { manager->dumpPageInfo(table, 1, true); }),
              heading + "DATA PAGE   | 1           | 2                             | 2%        \n");
    EXPECT_EQ(captured([&] { manager->dumpPagesInfo(table, 1, 5); }),
              "----------DUMP----------\nTableId: 7\nSegmentId: 7\n" + heading +
                  "DATA PAGE   | 1           | 2                             | 2%        \n"
                  "--------END DUMP--------\n");

    manager->createTable(8);
    EXPECT_EQ(captured([&] { manager->dumpTableInfo(8); }), "----------DUMP----------\nTableId: 8\nSegmentId: 8\n" +
                                                                heading +
                                                                "Table is empty!\n--------END DUMP--------\n");
}

TEST_F(MoxRecordDumpTest, ContentOfADataPageWithItsHexListing) {
    const MoxLsn lsn = (*fix(table, 1))->getLsn();
    const Uint32 offset = lsn.getOffset();
    char lsnBytes[64];
    snprintf(lsnBytes, sizeof(lsnBytes), "01 00 00 00 %02X %02X %02X %02X ", offset & 0xFF, (offset >> 8) & 0xFF,
             (offset >> 16) & 0xFF, offset >> 24);
    // The LSN's offset bytes may happen to be printable characters.
    std::string lsnCharacters(12, ' ');
    for (int i = 0; i < 4; ++i) {
        const unsigned char byte = static_cast<unsigned char>(offset >> (8 * i));
        lsnCharacters += isprint(byte) ? static_cast<char>(byte) : ' ';
    }
    std::string expected =
        "DATA PAGE DUMP\n"
        "SegmentId: 7\n"
        "PageId: 1\n"
        "PageType: 0\n"
        "LSN: " +
        lsn.dump() +
        "\n"
        "IsDirty: true\n"
        "IsFix: true\n"
        "Length of biggest Consecutive Free Space block: 4037\n"
        "Offset of biggest Consecutive Free Space block: 0x30\n"
        "Free Space: 4037\n"
        "Space used: 2%\n"
        "Number of Slots: 2\n"
        "\tSlotID: 0\n"
        "\tRecord Offset: 4091\n"
        "\tRecord Length: 5\n"
        "\tRecord Type: Primary Record \n"
        "\t------------------------\n"
        "\tSlotID: 1\n"
        "\tRecord Offset: 4085\n"
        "\tRecord Length: 6\n"
        "\tRecord Type: Primary Record \n"
        "\t------------------------\n"
        "PageData:\n"
        "\t 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F \n"
        "00:\t01 00 00 00 00 00 00 00 " +
        std::string(lsnBytes) + "\t" + lsnCharacters + "\n" +
        "01:\tC5 0F C5 0F 30 00 02 00 FB 0F 05 00 00 00 00 00 \t    0           \n"
        "02:\tF5 0F 06 00 00 00 00 00 00 00 00 00 00 00 00 00 \t                \n";
    for (int row = 3; row < 255; ++row) expected += zeroRow(row);
    expected += "FF:\t00 00 00 00 00 57 6F 72 6C 64 21 48 65 6C 6C 6F \t     World!Hello\n";
    expected += "END PAGE DUMP\n";
    EXPECT_EQ(captured([&] { manager->dumpPageContent(table, 1); }), expected);
}

TEST_F(MoxRecordDumpTest, ContentOfAnInventoryPage) {
    std::string expected =
        "FSV PAGE DUMP\n"
        "PageId: 0\n"
        "PageType: 3\n"
        "IsDirty: true\n"
        "IsFix: true\n"
        "Entries Count: 1\n"
        "FSI for page 1: 252 Freespace block:252\n";
    for (int page = 2; page <= 254; ++page) {
        expected += "FSI for page " + std::to_string(page) + ": 0 Freespace block:254\n";
    }
    expected += "END PAGE DUMP\n";
    EXPECT_EQ(captured([&] { manager->dumpPageContent(table, 0); }), expected);
    // The full form of a range is the page dumps between the two lines.
    EXPECT_EQ(captured([&] { manager->dumpPagesContent(table, 0, 0); }),
              "----------DUMP----------\nTableId: 7\nSegmentId: 7\n" + expected + "--------END DUMP--------\n");
}

TEST_F(MoxRecordDumpTest, DebugCommandsCheckTheirArgumentsBeforeTheyDump) {
    struct Case {
        const char* command;
        const char* args;
        std::string output;
    };
    const std::string allUsage = "Wrong Parameters\nUSAGE: show table_all (info|dump) <tableName>\n";
    const std::string pageUsage = "Wrong Parameters\nUSAGE: show table_page (info|dump) <tableName> <pageId>\n";
    const std::string pagesUsage =
        "Wrong Parameters\nUSAGE: show table_pages (info|dump) <tableName> <pageId1> <pageId2>\n";
    for (const Case& c : {Case{"table_all", "info", allUsage}, Case{"table_all", "info  t", allUsage},
                          Case{"table_all", nullptr, allUsage}, Case{"table_page", "info t", pageUsage},
                          Case{"table_page", "dump t x1", pageUsage}, Case{"table_page", "dump t 65535", pageUsage},
                          Case{"table_pages", "info t 1", pagesUsage}, Case{"table_pages", "info t -1 2", pagesUsage},
                          Case{"table_all", "show t", "Error\nshow is a unknown parameter\n"},
                          Case{"table_pages", "INFO t 1 2", "Error\nINFO is a unknown parameter\n"}}) {
        mox_dbgfunc* function = command(c.command);
        ASSERT_NE(function, nullptr) << c.command;
        EXPECT_EQ(captured([&] { function(c.args); }), c.output) << c.command << " " << (c.args ? c.args : "null");
    }
    // Names are the catalog's to resolve, which this database lacks: an
    // error, not a crash.
    const std::string unknown = captured([&] { command("table_page")("info nosuchtable 1"); });
    EXPECT_EQ(unknown.rfind("Error\n\nException aufgetreten: \n", 0), 0u) << unknown;
}

TEST_F(MoxRecordDumpTest, EachConstructionRegistersTheThreeCommands) {
    auto count = [](const std::string& name, const std::string& doc) {
        int found = 0;
        for (const MoxDebugData& data : MoxDebug::getFunctions()) {
            if (name == data.name && doc == data.doc && data.rstfunc == nullptr) ++found;
        }
        return found;
    };
    const int before = count("table_all", "Dumps the Content (all pages) of a given table.");
    EXPECT_GE(before, 1);
    EXPECT_EQ(count("table_page", "Dumps a given page of a given table"), before);
    EXPECT_EQ(count("table_pages", "Dumps a interval of pages of a given table"), before);
    delete MoxRecordManager::getInstance();
    manager = MoxRecordManager::getInstance();
    EXPECT_EQ(count("table_all", "Dumps the Content (all pages) of a given table."), before + 1);
    EXPECT_EQ(MoxDebug::getFunctions().front().name, std::string("table_pages")) << "the newest comes first";
}

}  // namespace
