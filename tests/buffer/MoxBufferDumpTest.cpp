#include <cstdio>
#include <functional>
#include <string>

#include "MoxBufferManagerTest.h"
#include "common/TestHelpers.h"
#include "support/MoxDebug.h"

namespace {

std::string printed(const std::function<void()>& body) {
    fflush(stdout);
    testing::internal::CaptureStdout();
    body();
    return testing::internal::GetCapturedStdout();
}

size_t occurrences(const std::string& text, const std::string& line) {
    size_t count = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
        ++count;
    }
    return count;
}

const std::string equals(75, '=');
const std::string dashes(75, '-');
const std::string pagesHeader = "Slot-of-Page SegmentId    PageId       FixCount     LSN          Dirty\n";

}  // namespace

TEST_F(MoxBufferManagerTest, EmptyPoolPrintsTitlesAndClosingLinesOnly) {
    EXPECT_EQ(printed([&] { manager->dump(false, false, true, false); }),
              equals + "\n Pages currently in buffer pool\n" + dashes + "\n" + dashes +
                  "\n All other slots between [0, 991] are empty.\n" + equals + "\n");
    EXPECT_EQ(printed([&] { manager->dump(true, false, false, false); }),
              equals + "\n Content of the LRU list\n" + dashes +
                  "\n Most-recently-used page is at the top of the list;\n least-recently-used is at the bottom.\n" +
                  dashes + "\n" + dashes + "\n All other slots between [0, 991] are empty.\n" + equals + "\n");
}

TEST_F(MoxBufferManagerTest, PageRowsRepeatTheirHeaderEveryFiftyRows) {
    manager->createSegment(1);
    manager->openSegment(1);
    for (PageId pageId = 0; pageId < 51; ++pageId) {
        MoxScopedPage page(1, pageId, MoxPage::DataPage, MoxScopedPage::CreateNewPage);
    }
    MoxPage* fixed = nullptr;
    manager->getPage(1, 0, MoxPage::DataPage, fixed);
    std::string output = printed([&] { MoxBufferManager::staticDumpPages(); });
    EXPECT_EQ(occurrences(output, pagesHeader), 2u);
    EXPECT_NE(output.find(pagesHeader + "------------ ------------ ------------ ------------ ------------ -----\n"
                                        "           0            1            0            1          0,0  true\n"),
              std::string::npos);
    // Row 51 comes after the second header.
    EXPECT_NE(output.find(pagesHeader + "------------ ------------ ------------ ------------ ------------ -----\n"
                                        "          50            1           50            0          0,0  true\n"),
              std::string::npos);
    manager->releasePage(fixed);
    EXPECT_EQ(occurrences(printed([] { MoxBufferManager::staticDumpLru(); }),
                          "Slot-in-LRU  SegmentId    PageId       Next\n"),
              2u);
}

TEST_F(MoxBufferManagerTest, ChainsAndListsPrintTheirLinks) {
    manager->createSegment(1);
    manager->openSegment(1);
    for (PageId pageId : {5, 204}) {
        MoxScopedPage page(1, pageId, MoxPage::DataPage, MoxScopedPage::CreateNewPage);
    }
    EXPECT_EQ(printed([] { MoxBufferManager::staticDumpHashMap(); }),
              equals + "\n Content of the Buffer Pool Hash\n" + dashes +
                  "\nBucket Slot-in-Hash SegmentId    PageId       Next\n"
                  "------ ------------ ------------ ------------ ------------\n"
                  "     5            1            1          204            0\n"
                  "                  0            1            5        <end>\n" +
                  dashes + "\n All other buckets between [1, 199] are empty.\n" + equals + "\n");
    std::string lruRows = printed([] { MoxBufferManager::staticDumpLru(); });
    EXPECT_NE(lruRows.find("           1            1          204            0\n"
                           "           0            1            5        <end>\n"),
              std::string::npos);
}

TEST_F(MoxBufferManagerTest, StatisticsCommandChoosesBySectionWord) {
    ASSERT_FALSE(MoxDebug::getFunctions().empty());
    const MoxDebugData& registration = MoxDebug::getFunctions().front();
    EXPECT_STREQ(registration.name, "BM_STATS");
    EXPECT_STREQ(registration.doc, "");
    EXPECT_EQ(registration.rstfunc, &MoxBufferManager::debugRstBufferStats_static);

    writeSegment(1, 1);
    manager->openSegment(1);
    for (int i = 0; i < 2; ++i) {
        MoxScopedPage page(1, 0, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
    }
    std::string hitRatio = equals +
                           "\nBuffer Hit ratio for current transaction is 0.5\n"
                           "Logical reads this transaction: 2\n"
                           "Physical reads this transaction: 1\n"
                           "Buffer Hit ratio for all transactions is 0.5\n"
                           "Logical reads all transactions: 2\n"
                           "Physical reads all transactions: 1\n" +
                           equals + "\n";
    for (const char* args : {"", "hitratio", "unknown pages", " pages"}) {
        EXPECT_EQ(printed([&] { registration.func(args); }), hitRatio) << args;
    }
    EXPECT_NE(printed([&] { registration.func("pages 1 2"); }).find(" Pages currently in buffer pool"),
              std::string::npos);
    EXPECT_NE(printed([&] { registration.func("lru"); }).find(" Content of the LRU list"), std::string::npos);
    EXPECT_NE(printed([&] { registration.func("hashmap"); }).find(" Content of the Buffer Pool Hash"),
              std::string::npos);
}

TEST_F(MoxBufferManagerTest, ScopedPageHoldsOneFixOrNone) {
    manager->createSegment(1);
    manager->openSegment(1);
    Uint16 freeFrame = lru().getFreeSlot();
    EXPECT_TRUE(throwsError([] { MoxScopedPage page(1, 0, MoxPage::DataPage, MoxScopedPage::GetExistingPage); },
                            MOX_BM_PAGE_NOT_FOUND, {"0", "1"}));
    EXPECT_TRUE(
        throwsError([] { MoxScopedPage page(1, 0, MoxPage::DataPage, static_cast<MoxScopedPage::Operation>(2)); },
                    MOX_INTERNAL_FAIL));
    EXPECT_EQ(lru().getFreeSlot(), freeFrame);
    {
        MoxScopedPage created(1, 0, MoxPage::DataPage, MoxScopedPage::CreateNewPage);
        EXPECT_EQ(created.getPage(), frame(freeFrame));
        EXPECT_EQ(created->fixCount, 1);
        EXPECT_EQ(created->getLsn(), MoxLsn(0, 0));
        MoxScopedPage again(1, 0, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
        EXPECT_EQ(again->fixCount, 2);
        // The stop's test works beside this process's own attachment.
        bool inUse = false;
        MoxBufferManager::haveFixedPages(inUse);
        EXPECT_TRUE(inUse);
    }
    EXPECT_EQ(frame(freeFrame)->fixCount, 0);
    bool inUse = true;
    MoxBufferManager::haveFixedPages(inUse);
    EXPECT_FALSE(inUse);
    // The manager's mapping is still there.
    EXPECT_EQ(frame(freeFrame)->segmentId, 1);
}
