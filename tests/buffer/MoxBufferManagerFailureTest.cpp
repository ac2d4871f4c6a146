#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <string>

#include "MoxBufferManagerTest.h"
#include "clp/MoxSystem.h"
#include "common/ChildProcess.h"
#include "common/TestHelpers.h"

namespace {

const char* const writeCall = "fileMgr->write(page->getSegmentId(), page->getPageId(), page->getPageData())";

// For a child: files may grow to `bytes` at most, as on a full disk; a write
// beyond fails instead of ending the process.
void limitFileSize(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit = {bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
}

std::string pageText(SegmentId segment, PageId page) {
    return "segment " + std::to_string(segment) + " page " + std::to_string(page);
}

class MoxBufferManagerFailureTest : public MoxBufferManagerTest {
  protected:
    void createSegments(std::initializer_list<SegmentId> segments) {
        for (SegmentId segment : segments) {
            manager->createSegment(segment);
            manager->openSegment(segment);
        }
    }

    // A new dirty page that names itself.
    void newPage(SegmentId segment, PageId pageId) {
        MoxPage* page = nullptr;
        manager->getNewPage(segment, pageId, MoxPage::DataPage, MoxLsn(0, 0), page);
        writeText(page, pageText(segment, pageId));
        manager->releasePage(page);
    }
};

}  // namespace

// A full disk refuses the pages of one segment: every other page must still
// reach its file, and the failure must reach the caller and the stop.
TEST_F(MoxBufferManagerFailureTest, FlushAllWritesEveryOtherPageAndReportsTheFailedWrite) {
    createSegments({1, 2, 3});
    for (PageId page = 0; page < 3; ++page) newPage(1, page);
    newPage(2, 40);  // needs a file of 41 pages
    for (PageId page = 0; page < 3; ++page) newPage(3, page);
    ASSERT_LT(indexOf(resident(1, 2)), indexOf(resident(2, 40)));
    ASSERT_LT(indexOf(resident(2, 40)), indexOf(resident(3, 0)));

    ChildProcess child([&] {
        limitFileSize(16 * MOX_PAGE_SIZE);
        std::optional<MoxException> failure = caught([&] { manager->flushAll(); });
        if (!failure || failure->getErrorCode() != MOX_FM_FILE_WRITE_FAIL) return 2;
        if (failure->getCall() != writeCall) return 3;
        // The stop tries again, reports it, and still deletes every manager.
        if (!throwsError([] { MoxSystem::stopAllManagers(); }, MOX_FM_FILE_WRITE_FAIL)) return 4;
        return MoxBufferManager::hasInstance() || MoxFileManager::hasInstance() ? 5 : 0;
    });
    EXPECT_EQ(child.wait(), 0);

    for (SegmentId segment : {1, 3}) {
        for (PageId page = 0; page < 3; ++page) {
            EXPECT_EQ(textIn(filePage(segment, page)), pageText(segment, page));
            EXPECT_FALSE(resident(segment, page)->isDirty());
        }
    }
    EXPECT_TRUE(resident(2, 40)->isDirty()) << "the page that was not written stays dirty";
    manager->flushAll();
    EXPECT_EQ(textIn(filePage(2, 40)), pageText(2, 40));
}

// A write that extends a file and fails half-way must not leave a size that
// makes the segment's other pages unreadable; a tail that a crash left
// behind is no page, and the write that meets it names segment and size.
TEST_F(MoxBufferManagerFailureTest, TornExtensionLeavesTheOtherPagesReadable) {
    createSegments({1});
    for (PageId page = 0; page < 3; ++page) newPage(1, page);
    manager->flushAll();
    manager->openSegment(1);
    newPage(1, 3);

    ChildProcess child([&] {
        limitFileSize(3 * MOX_PAGE_SIZE + 100);
        return throwsError([&] { manager->flushAll(); }, MOX_FM_FILE_WRITE_FAIL) ? 0 : 2;
    });
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(std::filesystem::file_size(path(1)), 3u * MOX_PAGE_SIZE);
    MoxFileManager* files = MoxFileManager::getInstance();
    unsigned char bytes[MOX_PAGE_SIZE];
    for (PageId page = 0; page < 3; ++page) {
        ASSERT_EQ(files->read(1, page, bytes), MOX_SUCCESS);
        EXPECT_EQ(textIn(std::string(reinterpret_cast<char*>(bytes), MOX_PAGE_SIZE)), pageText(1, page));
    }

    // As a crash in the middle of the extension would leave it.
    std::filesystem::resize_file(path(1), 3 * MOX_PAGE_SIZE + 100);
    for (PageId page = 0; page < 3; ++page) EXPECT_EQ(files->read(1, page, bytes), MOX_SUCCESS);
    EXPECT_EQ(files->read(1, 3, bytes), MOX_FM_PAGE_NOT_EXISTS);
    std::optional<MoxException> failure = caught([&] { manager->flushAll(); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->getErrorCode(), MOX_FM_FILE_INVALID_SIZE);
    EXPECT_EQ(failure->getCall(), writeCall);
    EXPECT_EQ(failure->getErrorToken(1), "1");
    EXPECT_EQ(failure->getErrorToken(2), std::to_string(3 * MOX_PAGE_SIZE + 100));
    EXPECT_EQ(failure->getErrorToken(3), "4096");

    std::filesystem::resize_file(path(1), 3 * MOX_PAGE_SIZE);
    manager->flushAll();
    EXPECT_EQ(textIn(filePage(1, 3)), pageText(1, 3));
}

// A forked child inherits the manager of a parent in the middle of a
// transaction: the child's own transaction must neither undo nor finish the
// parent's segment operations.
TEST_F(MoxBufferManagerFailureTest, ForkedChildLeavesTheParentsSegmentOperationsAlone) {
    writeSegment(2, 1);
    manager->openSegment(2);
    manager->createSegment(1);
    manager->dropSegment(2);

    ChildProcess child([&] {
        manager->rollback();
        if (!std::filesystem::exists(path(1))) return 2;
        MoxPage* page = nullptr;
        manager->getPage(2, 0, MoxPage::DataPage, page);  // not dropped in the child's transaction
        manager->releasePage(page);
        manager->commit();
        MoxSystem::stopAllManagers();
        return std::filesystem::exists(path(2)) ? 0 : 3;
    });
    EXPECT_EQ(child.wait(), 0);

    ASSERT_TRUE(std::filesystem::exists(path(1)));
    ASSERT_TRUE(std::filesystem::exists(path(2)));
    MoxPage* page = nullptr;
    EXPECT_TRUE(throwsError([&] { manager->getPage(2, 0, MoxPage::DataPage, page); }, MOX_BM_SEGMENT_DROPPED));
    manager->commit();
    EXPECT_FALSE(std::filesystem::exists(path(2)));
    EXPECT_TRUE(std::filesystem::exists(path(1)));
}

// A process that ends without committing has its pending drops undone, and
// the segment's dirty pages, changes committed before the drop among them,
// still reach the file.
TEST_F(MoxBufferManagerFailureTest, EndingWithoutCommitUndoesAPendingDrop) {
    createSegments({2});
    newPage(2, 0);
    manager->commit();
    manager->dropSegment(2);
    MoxSystem::stopAllManagers();
    ASSERT_TRUE(std::filesystem::exists(path(2)));
    EXPECT_EQ(textIn(filePage(2, 0)), pageText(2, 0));

    manager = MoxBufferManager::getInstance();
    manager->openSegment(2);
    MoxPage* page = nullptr;
    manager->getPage(2, 0, MoxPage::DataPage, page);
    EXPECT_EQ(readText(page), pageText(2, 0));
    manager->releasePage(page);
}
