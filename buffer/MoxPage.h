#ifndef MOX_PAGE_H
#define MOX_PAGE_H

#include <cstddef>
#include <type_traits>

#include "../include/Mox.h"
#include "MoxErrorCodes.h"
#include "../log/MoxLsn.h"

// One frame of the shared buffer pool: the 4096 page bytes as they are in the
// segment file, followed by the pool's bookkeeping, which never reaches the
// file. Frames live in shared memory used by every process, so this is a plain
// record with a fixed layout: no constructor, no virtuals, no pointers.
//
// The buffer manager owns every frame and changes segmentId, pageId, pageType
// and fixCount only under the buffer pool latch. Other components get a frame
// only while they hold a fix on it.
struct MOX_PACKED MoxPage {
    enum PageType : Sint32 { DataPage = 0, BTreeIndexPage = 1, HashIndexPage = 2, FreeSpaceInventoryPage = 3 };

    // The first 16 bytes of every page, in the file as in memory.
    struct MOX_PACKED PageHeader {
        PageId pageId;      // 0-1: the page's number in its segment
        Uint16 padding;     // 2-3: zero
        PageType pageType;  // 4-7
        MoxLsn lsn;         // 8-15: last logged change
    };

    PageId getPageId() const { return pageId; }
    SegmentId getSegmentId() const { return segmentId; }
    PageType getPageType() const { return pageType; }
    MoxLsn getLsn() const { return lsn; }
    unsigned char* getPageData() { return data; }
    const unsigned char* getPageData() const { return data; }
    bool isDirty() const { return dirty; }
    bool isFix() const { return fixCount > 0; }

    // Called after a change to the page was logged under newLsn. Marks the
    // page dirty and moves both copies of its LSN forward, never backward.
    // REQUIRES: the caller holds a fix on the page (MOX_INTERNAL_FAIL and no
    // change otherwise) and the lock on what it changed. Takes no latch.
    MoxErrorCode markAsModified(MoxLsn newLsn);

    unsigned char data[MOX_PAGE_SIZE];  // 0-4095: page bytes, PageHeader first
    SegmentId segmentId;                // 4096-4097: 0 = empty frame
    PageId pageId;                      // 4098-4099
    PageType pageType;                  // 4100-4103: type requested when loaded
    MoxLsn lsn;                         // 4104-4111: equals the header's LSN
    bool dirty;                         // 4112-4112: differs from the file
    Uint8 padding;                      // 4113-4113
    Uint16 fixCount;                    // 4114-4115: outstanding fixes
};

static_assert(sizeof(MoxPage::PageType) == 4);
static_assert(sizeof(MoxPage::PageHeader) == 16);
static_assert(offsetof(MoxPage::PageHeader, pageId) == 0);
static_assert(offsetof(MoxPage::PageHeader, pageType) == 4);
static_assert(offsetof(MoxPage::PageHeader, lsn) == 8);
static_assert(sizeof(MoxPage) == 4116);
static_assert(offsetof(MoxPage, data) == 0);
static_assert(offsetof(MoxPage, segmentId) == 4096);
static_assert(offsetof(MoxPage, pageId) == 4098);
static_assert(offsetof(MoxPage, pageType) == 4100);
static_assert(offsetof(MoxPage, lsn) == 4104);
static_assert(offsetof(MoxPage, dirty) == 4112);
static_assert(offsetof(MoxPage, fixCount) == 4114);
static_assert(std::is_standard_layout_v<MoxPage> && std::is_trivial_v<MoxPage>);

#endif
