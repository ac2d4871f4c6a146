#include <gtest/gtest.h>

#include <cstring>

#include "MoxBuffer.h"
#include "MoxSupport.h"

namespace {

// A frame as the buffer manager leaves it after loading a page with LSN
// (2,5000): zero bytes but for the header and the bookkeeping.
class MoxPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        memset(&page, 0, sizeof(page));
        MoxPage::PageHeader header = {};
        header.pageId = 7;
        header.pageType = MoxPage::DataPage;
        header.lsn = MoxLsn(2, 5000);
        memcpy(page.data, &header, sizeof(header));
        page.segmentId = 3;
        page.pageId = 7;
        page.pageType = MoxPage::DataPage;
        page.lsn = header.lsn;
        page.fixCount = 1;
    }

    MoxLsn headerLsn() const {
        MoxPage::PageHeader header;
        memcpy(&header, page.getPageData(), sizeof(header));
        return header.lsn;
    }

    MoxPage page;
};

TEST_F(MoxPageTest, UnfixedPageIsLeftAlone) {
    page.fixCount = 0;
    MoxPage before;
    memcpy(&before, &page, sizeof(page));

    EXPECT_FALSE(page.isFix());
    EXPECT_EQ(page.markAsModified(MoxLsn(9, 9)), MOX_INTERNAL_FAIL);
    EXPECT_EQ(MoxGetErrorCode(), MOX_INTERNAL_FAIL);
    EXPECT_EQ(MoxError::getErrorObject()->getComponent(), BufferManager);
    EXPECT_EQ(memcmp(&before, &page, sizeof(page)), 0);
}

TEST_F(MoxPageTest, LsnNeverMovesBackwards) {
    for (MoxLsn older : {MoxLsn(2, 4999), MoxLsn(2, 5000), MoxLsn(1, 9000)}) {
        page.dirty = false;
        EXPECT_EQ(page.markAsModified(older), MOX_SUCCESS);
        EXPECT_TRUE(page.isDirty());
        EXPECT_EQ(page.getLsn(), MoxLsn(2, 5000));
        EXPECT_EQ(headerLsn(), MoxLsn(2, 5000));
    }
}

TEST_F(MoxPageTest, FileNumberDecidesBeforeOffset) {
    EXPECT_EQ(page.markAsModified(MoxLsn(3, 100)), MOX_SUCCESS);
    EXPECT_TRUE(page.isDirty());
    EXPECT_EQ(page.getLsn(), MoxLsn(3, 100));
    // Bytes 8 to 15 of the page: file 3, zero padding, offset 100.
    const unsigned char expected[8] = {3, 0, 0, 0, 100, 0, 0, 0};
    EXPECT_EQ(memcmp(page.getPageData() + 8, expected, sizeof(expected)), 0);
    // The rest of the header and the content are untouched.
    EXPECT_EQ(page.data[0], 7);
    for (size_t i = sizeof(MoxPage::PageHeader); i < MOX_PAGE_SIZE; ++i) {
        ASSERT_EQ(page.data[i], 0) << i;
    }
}

TEST_F(MoxPageTest, EarlierErrorDoesNotFailALaterChange) {
    MoxError::getErrorObject()->setError(RecordManager, MOX_NOT_FOUND_WARN);
    EXPECT_EQ(page.markAsModified(MoxLsn(2, 6000)), MOX_SUCCESS);
    EXPECT_EQ(page.getLsn(), MoxLsn(2, 6000));
}

}  // namespace
