#include "MoxBufferManagerTest.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "common/TestHelpers.h"

TEST_F(MoxBufferManagerTest, HitsCountOneLogicalReadAndMoveToTheFront) {
    writeSegment(1, 4);
    manager->openSegment(1);
    EXPECT_EQ(manager->getBufferHitRatio(), 0.0f);
    EXPECT_EQ(manager->getBufferHitRatioAllTransactions(), 0.0f);

    MoxPage* first = nullptr;
    MoxPage* second = nullptr;
    MoxPage* other = nullptr;
    manager->getPage(1, 2, MoxPage::DataPage, first);
    EXPECT_EQ(first->getLsn(), MoxLsn(1, 2));
    EXPECT_FALSE(first->isDirty());
    manager->getPage(1, 3, MoxPage::DataPage, other);
    manager->getPage(1, 2, MoxPage::DataPage, second);
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->fixCount, 2);
    EXPECT_EQ(lru().lru[MoxLRU::USED_LIST_HEAD].next, indexOf(first));
    EXPECT_EQ(ownLogicalReads(), 3u);
    EXPECT_EQ(ownPhysicalReads(), 2u);

    manager->releasePage(other);
    EXPECT_EQ(other, nullptr);
    manager->getPage(1, 3, MoxPage::DataPage, other);
    EXPECT_FLOAT_EQ(manager->getBufferHitRatio(), 0.5f);
    EXPECT_EQ(shared().logicalReads, 4u);
    EXPECT_EQ(shared().physicalReads, 2u);
    // The reset zeroes this process's counts only.
    MoxBufferManager::debugRstBufferStats_static("");
    EXPECT_EQ(manager->getBufferHitRatio(), 0.0f);
    EXPECT_FLOAT_EQ(manager->getBufferHitRatioAllTransactions(), 0.5f);

    Uint16 index = indexOf(first);
    for (MoxPage** page : {&first, &second, &other}) {
        manager->releasePage(*page);
        EXPECT_EQ(*page, nullptr);
    }
    EXPECT_EQ(frame(index)->fixCount, 0);
}

TEST_F(MoxBufferManagerTest, FourRequestsWithOneLoadHitThreeQuarters) {
    writeSegment(1, 1);
    manager->openSegment(1);
    MoxPage* pages[4] = {};
    for (MoxPage*& page : pages) {
        manager->getPage(1, 0, MoxPage::DataPage, page);
    }
    EXPECT_FLOAT_EQ(manager->getBufferHitRatio(), 0.75f);
    EXPECT_FLOAT_EQ(manager->getBufferHitRatioAllTransactions(), 0.75f);
    for (MoxPage*& page : pages) {
        manager->releasePage(page);
    }
    MoxPage* unfixed = resident(1, 0);
    EXPECT_TRUE(throwsError([&] { manager->releasePage(unfixed); }, MOX_INTERNAL_FAIL));
}

TEST_F(MoxBufferManagerTest, FullPoolFailsUntilAFrameIsReleasedAndWritesTheDirtyVictim) {
    manager->createSegment(1);
    manager->openSegment(1);
    writeSegment(2, 1);
    manager->openSegment(2);
    std::vector<MoxPage*> pages(MOX_BM_NUM_PAGES);
    for (PageId page = 0; page < MOX_BM_NUM_PAGES; ++page) {
        manager->getNewPage(1, page, MoxPage::DataPage, pages[page]);
        writeText(pages[page], "page " + std::to_string(page));
    }
    MoxPage* extra = nullptr;
    EXPECT_TRUE(throwsError([&] { manager->getPage(2, 0, MoxPage::DataPage, extra); }, MOX_BM_BUFFER_FULL));
    EXPECT_TRUE(throwsError([&] { manager->getNewPage(1, 992, MoxPage::DataPage, extra); }, MOX_BM_BUFFER_FULL));
    EXPECT_EQ(extra, nullptr);

    Uint16 released = indexOf(pages[500]);
    manager->releasePage(pages[500]);
    EXPECT_EQ(filePage(1, 500), std::string());  // releasing writes nothing
    manager->getPage(2, 0, MoxPage::DataPage, extra);
    EXPECT_EQ(indexOf(extra), released);
    EXPECT_EQ(textIn(filePage(1, 500)), "page 500");
    EXPECT_EQ(resident(1, 500), nullptr);

    // The victim's bytes come back from its file.
    manager->releasePage(extra);
    MoxPage* reread = nullptr;
    manager->getPage(1, 500, MoxPage::DataPage, reread);
    EXPECT_EQ(indexOf(reread), released);
    EXPECT_EQ(readText(reread), "page 500");
    EXPECT_FALSE(reread->isDirty());
    manager->releasePage(reread);
    for (MoxPage*& page : pages) {
        if (page != nullptr) {
            manager->releasePage(page);
        }
    }
}

TEST_F(MoxBufferManagerTest, MismatchesNameStoredValuesFirstAndLeaveThePageUnfixed) {
    writeSegment(1, 3);
    // Page 1 of the file claims to be page 7.
    {
        std::fstream file(path(1), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(MOX_PAGE_SIZE);
        PageId wrong = 7;
        file.write(reinterpret_cast<const char*>(&wrong), sizeof(wrong));
    }
    manager->openSegment(1);
    MoxPage* page = nullptr;
    EXPECT_TRUE(throwsError([&] { manager->getPage(1, 0, MoxPage::BTreeIndexPage, page); }, MOX_BM_PAGETYPE_MISMATCH,
                            {"0", "1", "0", "1"}));
    ASSERT_NE(resident(1, 0), nullptr);
    EXPECT_EQ(resident(1, 0)->fixCount, 0);
    EXPECT_TRUE(
        throwsError([&] { manager->getPage(1, 1, MoxPage::DataPage, page); }, MOX_BM_PAGEID_MISMATCH, {"1", "1", "7"}));
    ASSERT_NE(resident(1, 1), nullptr);
    EXPECT_EQ(resident(1, 1)->fixCount, 0);
    EXPECT_EQ(page, nullptr);

    // A page beyond the file's end leaves the frame it was to use free.
    Uint16 freeFrame = lru().getFreeSlot();
    EXPECT_TRUE(
        throwsError([&] { manager->getPage(1, 5, MoxPage::DataPage, page); }, MOX_BM_PAGE_NOT_FOUND, {"5", "1"}));
    EXPECT_EQ(lru().getFreeSlot(), freeFrame);
    EXPECT_EQ(frame(freeFrame)->segmentId, 0);

    // The wrong request left nothing that fails the right one or its release.
    manager->getPage(1, 0, MoxPage::DataPage, page);
    EXPECT_EQ(ownPhysicalReads(), 2u);
    EXPECT_EQ(page->getPageType(), MoxPage::DataPage);
    manager->releasePage(page);
    manager->getPage(1, 0, MoxPage::DataPage, page);
    // A header changed behind the frame's back is reported on release, but
    // the fix is undone all the same.
    MoxPage* changedPage = page;
    MoxPage::PageType changed = MoxPage::HashIndexPage;
    memcpy(page->getPageData() + 4, &changed, sizeof(changed));
    EXPECT_TRUE(throwsError([&] { manager->releasePage(page); }, MOX_BM_PAGETYPE_MISMATCH, {"0", "1", "2", "0"}));
    EXPECT_FALSE(changedPage->isFix());
    bool inUse = true;
    MoxBufferManager::haveFixedPages(inUse);
    EXPECT_FALSE(inUse);
}

TEST_F(MoxBufferManagerTest, NewPagesMustBeNewToPoolAndFile) {
    writeSegment(1, 3);
    manager->openSegment(1);
    MoxPage* page = nullptr;
    manager->getPage(1, 0, MoxPage::DataPage, page);
    manager->releasePage(page);
    EXPECT_TRUE(throwsError([&] { manager->getNewPage(1, 0, MoxPage::DataPage, page); },
                            MOX_BM_PAGE_ALREADY_EXISTS_IN_BUFFER, {"0", "1"}));
    EXPECT_TRUE(throwsError([&] { manager->getNewPage(1, 2, MoxPage::DataPage, page); },
                            MOX_BM_PAGE_ALREADY_EXISTS_IN_FILE, {"2", "1"}));
    EXPECT_EQ(resident(1, 2), nullptr);

    manager->getNewPage(1, 3, MoxPage::FreeSpaceInventoryPage, page);
    EXPECT_TRUE(page->isDirty());
    EXPECT_EQ(page->fixCount, 1);
    EXPECT_EQ(page->getLsn(), MoxLsn(0, 0));
    manager->releasePage(page);

    manager->getNewPage(1, 4, MoxPage::BTreeIndexPage, MoxLsn(4, 8), page);
    // Zero bytes but for the header's page id, type and LSN.
    unsigned char expected[MOX_PAGE_SIZE] = {4, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0, 8, 0, 0, 0};
    EXPECT_EQ(memcmp(page->getPageData(), expected, MOX_PAGE_SIZE), 0);
    EXPECT_EQ(page->getLsn(), MoxLsn(4, 8));
    EXPECT_EQ(ownLogicalReads(), 1u);

    MoxPage outside;
    MoxPage* stray = &outside;
    EXPECT_TRUE(throwsError([&] { manager->markPageAsModified(outside); }, MOX_INTERNAL_FAIL));
    EXPECT_TRUE(throwsError([&] { manager->releasePage(stray); }, MOX_INTERNAL_FAIL));
    manager->releasePage(page);
}

TEST_F(MoxBufferManagerTest, SegmentCreatedInTheTransactionIsDroppedAtOnce) {
    manager->createSegment(5);
    manager->openSegment(5);
    MoxPage* page = nullptr;
    manager->getNewPage(5, 0, MoxPage::DataPage, page);
    manager->releasePage(page);
    manager->dropSegment(5);
    EXPECT_FALSE(std::filesystem::exists(path(5)));
    EXPECT_EQ(resident(5, 0), nullptr);
    manager->commit();
    manager->flushAll();
}

TEST_F(MoxBufferManagerTest, OlderSegmentIsDroppedAtCommitAndSurvivesARollbackWithItsData) {
    manager->createSegment(6);
    manager->openSegment(6);
    MoxPage* page = nullptr;
    manager->getNewPage(6, 0, MoxPage::DataPage, page);
    writeText(page, "committed");
    manager->releasePage(page);
    manager->commit();
    // No force: the page is still only in the pool.
    EXPECT_EQ(std::filesystem::file_size(path(6)), 0u);
    ASSERT_NE(resident(6, 0), nullptr);
    EXPECT_TRUE(resident(6, 0)->isDirty());

    manager->getPage(6, 0, MoxPage::DataPage, page);
    writeText(page, "changed before the drop");
    manager->markPageAsModified(*page);
    manager->releasePage(page);
    manager->dropSegment(6);
    EXPECT_TRUE(std::filesystem::exists(path(6)));
    EXPECT_TRUE(
        throwsError([&] { manager->getPage(6, 0, MoxPage::DataPage, page); }, MOX_BM_SEGMENT_DROPPED, {"0", "6"}));
    EXPECT_TRUE(throwsError([&] { manager->getNewPage(6, 1, MoxPage::DataPage, MoxLsn(0, 0), page); },
                            MOX_BM_SEGMENT_DROPPED, {"1", "6"}));

    manager->rollback();
    manager->getPage(6, 0, MoxPage::DataPage, page);
    EXPECT_EQ(readText(page), "changed before the drop");
    manager->releasePage(page);

    manager->dropSegment(6);
    manager->commit();
    EXPECT_FALSE(std::filesystem::exists(path(6)));
    EXPECT_EQ(resident(6, 0), nullptr);
    manager->flushAll();
}

TEST_F(MoxBufferManagerTest, RollbackRemovesCreatedSegmentsWithTheirFrames) {
    manager->createSegment(7);
    manager->openSegment(7);
    MoxPage* page = nullptr;
    manager->getNewPage(7, 0, MoxPage::DataPage, page);
    manager->releasePage(page);
    manager->rollback();
    EXPECT_FALSE(std::filesystem::exists(path(7)));
    EXPECT_EQ(resident(7, 0), nullptr);
    // No frame is left to be written into a file that is gone.
    manager->flushAll();
    manager->createSegment(7);
    EXPECT_TRUE(std::filesystem::exists(path(7)));
}

TEST_F(MoxBufferManagerTest, FlushAllWritesUnfixedDirtyPagesAndClosesSegments) {
    manager->createSegment(1);
    manager->openSegment(1);
    MoxPage* fixed = nullptr;
    MoxPage* released = nullptr;
    manager->getNewPage(1, 0, MoxPage::DataPage, released);
    writeText(released, "written");
    manager->releasePage(released);
    manager->getNewPage(1, 1, MoxPage::DataPage, fixed);
    manager->flushAll();
    EXPECT_EQ(textIn(filePage(1, 0)), "written");
    EXPECT_FALSE(resident(1, 0)->isDirty());
    EXPECT_TRUE(fixed->isDirty());
    // The segment was closed: its pages can no longer be loaded without opening it.
    manager->releasePage(fixed);
    manager->dropSegment(1);
    EXPECT_FALSE(std::filesystem::exists(path(1)));
}

TEST(MoxBufferManagerIds, SegmentsOfTablesAndIndexes) {
    EXPECT_EQ(MoxBufferManager::convertTableIdToSegmentId(1), 1);
    EXPECT_EQ(MoxBufferManager::convertTableIdToSegmentId(32767), 32767);
    EXPECT_EQ(MoxBufferManager::convertIndexIdToSegmentId(1), 32769);
    EXPECT_EQ(MoxBufferManager::convertIndexIdToSegmentId(16384), 65535);
    for (TableId invalid : {0, 32768, 65535}) {
        MoxError::getErrorObject()->setError(BufferManager, MOX_SUCCESS);
        EXPECT_EQ(MoxBufferManager::convertTableIdToSegmentId(invalid), 0);
        EXPECT_EQ(MoxGetErrorCode(), MOX_PARAMETER_FAIL);
    }
    for (IndexId invalid : {0, 16385}) {
        MoxError::getErrorObject()->setError(BufferManager, MOX_SUCCESS);
        EXPECT_EQ(MoxBufferManager::convertIndexIdToSegmentId(invalid), 0);
        EXPECT_EQ(MoxGetErrorCode(), MOX_PARAMETER_FAIL);
    }
}

TEST_F(MoxBufferManagerTest, NoSegmentAndNoPageAreRefusedWithoutTouchingFilesOrFrames) {
    EXPECT_TRUE(throwsError([&] { manager->createSegment(0); }, MOX_PARAMETER_FAIL));
    EXPECT_TRUE(throwsError([&] { manager->openSegment(0); }, MOX_PARAMETER_FAIL));
    EXPECT_TRUE(throwsError([&] { manager->dropSegment(0); }, MOX_PARAMETER_FAIL));
    EXPECT_FALSE(std::filesystem::exists(path(0)));

    manager->createSegment(1);
    Uint16 freeFrame = lru().getFreeSlot();
    MoxPage* page = nullptr;
    EXPECT_TRUE(throwsError([&] { manager->getNewPage(1, MOX_INVALID_PAGE_ID, MoxPage::DataPage, MoxLsn(0, 0), page); },
                            MOX_PARAMETER_FAIL));
    EXPECT_TRUE(
        throwsError([&] { manager->getNewPage(0, 0, MoxPage::DataPage, MoxLsn(0, 0), page); }, MOX_PARAMETER_FAIL));
    EXPECT_TRUE(throwsError([&] { manager->getPage(0, 0, MoxPage::DataPage, page); }, MOX_PARAMETER_FAIL));
    EXPECT_EQ(page, nullptr);
    EXPECT_EQ(lru().getFreeSlot(), freeFrame);
    EXPECT_EQ(frame(freeFrame)->segmentId, 0);
    // Nothing is left to make the file grow.
    manager->flushAll();
    EXPECT_EQ(std::filesystem::file_size(path(1)), 0u);
}

namespace {

// The call text of the failure that body throws, if it throws code.
std::string failedCall(const std::function<void()>& body, MoxErrorCode code) {
    std::optional<MoxException> failure = caught(body);
    return failure && failure->getErrorCode() == code ? failure->getCall() : "no " + std::to_string(code) + " thrown";
}

}  // namespace

TEST_F(MoxBufferManagerTest, FileFailuresNameTheCallAndLoseNoDirtyPage) {
    writeSegment(1, 1);
    MoxPage* page = nullptr;
    EXPECT_EQ(failedCall([&] { manager->getPage(1, 0, MoxPage::DataPage, page); }, MOX_FM_FILE_NOT_OPEN),
              "fileMgr->read(segmentId, pageId, page->data)");
    EXPECT_EQ(failedCall([&] { manager->getNewPage(1, 1, MoxPage::DataPage, page); }, MOX_FM_FILE_NOT_OPEN),
              "fileMgr->read(segmentId, pageId, tmp)");
    EXPECT_EQ(failedCall([&] { manager->createSegment(1); }, MOX_FM_FILE_ALREADY_EXISTS), "fileMgr->create(segment)");
    EXPECT_EQ(failedCall([&] { manager->openSegment(2); }, MOX_FM_FILE_NOT_FOUND), "fileMgr->open(segment)");

    // Dirty pages of a segment this process never opened fill the pool; then
    // their file goes away for a while.
    manager->createSegment(3);
    for (PageId pageId = 0; pageId < MOX_BM_NUM_PAGES; ++pageId) {
        manager->getNewPage(3, pageId, MoxPage::DataPage, MoxLsn(0, 0), page);
        writeText(page, "page " + std::to_string(pageId));
        manager->releasePage(page);
    }
    std::filesystem::rename(path(3), path(3) + ".away");
    manager->openSegment(1);
    EXPECT_EQ(failedCall([&] { manager->getPage(1, 0, MoxPage::DataPage, page); }, MOX_FM_FILE_NOT_FOUND),
              "fileMgr->open(page->getSegmentId())");
    // The victim keeps its page, still dirty, and lets the others go first.
    MoxPage* kept = resident(3, 0);
    ASSERT_NE(kept, nullptr);
    EXPECT_TRUE(kept->isDirty());
    EXPECT_EQ(lru().lru[MoxLRU::USED_LIST_HEAD].next, indexOf(kept));
    EXPECT_TRUE(lru().isFull());
    EXPECT_EQ(resident(1, 0), nullptr);

    std::filesystem::rename(path(3) + ".away", path(3));
    manager->getPage(1, 0, MoxPage::DataPage, page);
    manager->releasePage(page);
    EXPECT_EQ(textIn(filePage(3, 1)), "page 1");

    // A file whose size is no whole number of pages refuses the write.
    std::filesystem::resize_file(path(3), 2 * MOX_PAGE_SIZE + 1);
    EXPECT_EQ(failedCall([&] { manager->flushAll(); }, MOX_FM_FILE_INVALID_SIZE),
              "fileMgr->write(page->getSegmentId(), page->getPageId(), page->getPageData())");
    EXPECT_TRUE(kept->isDirty());
    std::filesystem::resize_file(path(3), 2 * MOX_PAGE_SIZE);
    manager->flushAll();
    EXPECT_FALSE(kept->isDirty());
    EXPECT_EQ(textIn(filePage(3, 0)), "page 0");
    EXPECT_EQ(textIn(filePage(3, MOX_BM_NUM_PAGES - 1)), "page 991");
}

TEST_F(MoxBufferManagerTest, MeasuresCarryQualifiedNamesAndCountReads) {
    using namespace MoxBufferManagerProfiling;
    using support::profiling::Counter;
    using support::profiling::Timer;
    writeSegment(1, 1);
    manager->openSegment(1);
    for (int i = 0; i < 2; ++i) {
        MoxScopedPage page(1, 0, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
    }
    EXPECT_EQ(profiler().getMeasureValueReference(PhysicalReads, Counter()).second,
              "MoxBufferManagerProfiling::PhysicalReads");
    EXPECT_EQ(profiler().getMeasureValueReference(LogicalReads, Counter()).second,
              "MoxBufferManagerProfiling::LogicalReads");
    EXPECT_EQ(profiler().getMeasureValueReference(GetPageTime, Timer()).second,
              "MoxBufferManagerProfiling::GetPageTime");
    EXPECT_EQ(profiler().getMeasureValueReference(GetNewPageTime, Timer()).second,
              "MoxBufferManagerProfiling::GetNewPageTime");
    EXPECT_EQ(profiler().getMeasureValueReference(GetFlushAllTime, Timer()).second,
              "MoxBufferManagerProfiling::GetFlushAllTime");
    EXPECT_EQ(profiler().getMeasureValueReference(GetFlushSinglePageTime, Timer()).second,
              "MoxBufferManagerProfiling::GetFlushSinglePageTime");
    std::string xml = std::regex_replace(profiler().getXML(), std::regex(">[0-9]+</(Get)"), ">N</$1");
    EXPECT_EQ(xml,
              "<Counters>\n<PhysicalReads>1</PhysicalReads>\n<LogicalReads>2</LogicalReads>\n</Counters>\n"
              "<Timers>\n<GetPageTime unit=\"microseconds\">N</GetPageTime>\n"
              "<GetNewPageTime unit=\"microseconds\">N</GetNewPageTime>\n"
              "<GetFlushAllTime unit=\"microseconds\">N</GetFlushAllTime>\n"
              "<GetFlushSinglePageTime unit=\"microseconds\">N</GetFlushSinglePageTime>\n</Timers>\n");
}
