#include "MoxBMHash.h"

#include <iomanip>
#include <iostream>

#include "MoxDumpTable.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = BufferManager;

MoxPage* MoxBMHash::pages = nullptr;

void MoxBMHash::initialize() {
    MOX_TRACE_ENTRY();
    MoxIndexList::fillAscending(hashArray, EMPTY_LIST_HEAD, EMPTY_LIST_HEAD);
    for (Uint16 bucket = FIRST_BUCKET; bucket <= LAST_BUCKET; ++bucket) {
        MoxIndexList::makeEmpty(hashArray, bucket);
    }
}

void MoxBMHash::setPagesPointer(MoxPage* pages) {
    MOX_TRACE_ENTRY();
    if (pages == nullptr) {
        THROW(MOX_PARAMETER_FAIL);
    }
    MoxBMHash::pages = pages;
}

MoxPage* MoxBMHash::frames() {
    if (pages == nullptr) {
        THROW(MOX_INTERNAL_FAIL);
    }
    return pages;
}

Uint16 MoxBMHash::getHashValue(SegmentId, PageId pageId) {
    MOX_TRACE_ENTRY();
    Uint16 bucket = static_cast<Uint16>(FIRST_BUCKET + pageId % MOX_BM_NUM_HASH_BUCKETS);
    MOX_TRACE_NUMBER(10, "Hash value", static_cast<Uint32>(bucket));
    return bucket;
}

void MoxBMHash::insert(Uint16 pageIndex) {
    MOX_TRACE_ENTRY();
    if (pageIndex >= EMPTY_LIST_HEAD) {
        THROW(MOX_PARAMETER_FAIL);
    }
    const MoxPage& frame = frames()[pageIndex];
    // The walk to the frame's list head tells whether it is hashed already.
    Uint16 index = hashArray[pageIndex].next;
    for (Uint16 steps = 0; index < EMPTY_LIST_HEAD && index != pageIndex; ++steps) {
        if (steps == NUM_ENTRIES) {
            THROW(MOX_INTERNAL_FAIL);
        }
        index = hashArray[index].next;
    }
    if (index > EMPTY_LIST_HEAD) {
        THROW(MOX_INTERNAL_FAIL);
    }
    if (MoxIndexList::isEmpty(hashArray, EMPTY_LIST_HEAD)) {
        THROW(MOX_BM_BUFFER_FULL);
    }
    MoxIndexList::moveAfter(hashArray, getHashValue(frame.segmentId, frame.pageId), pageIndex);
}

MoxPage* MoxBMHash::find(SegmentId segmentId, PageId pageId, Uint16& pageIndex) const {
    MOX_TRACE_ENTRY();
    if (segmentId == 0) {
        THROW(MOX_PARAMETER_FAIL);
    }
    MoxPage* frame = frames();
    Uint16 bucket = getHashValue(segmentId, pageId);
    Uint16 index = hashArray[bucket].next;
    for (Uint16 steps = 0; index != bucket; ++steps) {
        if (index >= EMPTY_LIST_HEAD || steps == EMPTY_LIST_HEAD) {
            THROW(MOX_INTERNAL_FAIL);
        }
        if (frame[index].segmentId == segmentId && frame[index].pageId == pageId) {
            pageIndex = index;
            return &frame[index];
        }
        index = hashArray[index].next;
    }
    return nullptr;
}

void MoxBMHash::get(SegmentId segmentId, PageId pageId, MoxPage*& page, Uint16& pageIndex) const {
    MOX_TRACE_ENTRY();
    page = find(segmentId, pageId, pageIndex);
    if (page == nullptr) {
        THROW_wARGS2(MOX_BM_PAGE_NOT_FOUND, pageId, segmentId);
    }
}

void MoxBMHash::remove(Uint16 pageIndex) {
    MOX_TRACE_ENTRY();
    if (pageIndex >= EMPTY_LIST_HEAD) {
        THROW(MOX_PARAMETER_FAIL);
    }
    // An unhashed frame, or a bucket head among the unhashed frames, means
    // the caller's bookkeeping and the hash disagree.
    Uint16 index = hashArray[EMPTY_LIST_HEAD].next;
    for (Uint16 steps = 0; index != EMPTY_LIST_HEAD; ++steps) {
        if (index == pageIndex || index > EMPTY_LIST_HEAD || steps == EMPTY_LIST_HEAD) {
            THROW(MOX_INTERNAL_FAIL);
        }
        index = hashArray[index].next;
    }
    MoxIndexList::moveAfter(hashArray, EMPTY_LIST_HEAD, pageIndex);
}

void MoxBMHash::dump() const {
    MOX_TRACE_ENTRY();
    const MoxPage* frame = frames();
    std::cout << " Content of the Buffer Pool Hash\n";
    MoxDumpTable::rule('-');
    MoxDumpTable table("Bucket Slot-in-Hash SegmentId    PageId       Next",
                       "------ ------------ ------------ ------------ ------------");
    const int width = MoxDumpTable::COLUMN_WIDTH;
    for (Uint16 bucket = FIRST_BUCKET; bucket <= LAST_BUCKET; ++bucket) {
        Uint16 index = hashArray[bucket].next;
        for (Uint16 steps = 0; index != bucket; ++steps) {
            if (index >= EMPTY_LIST_HEAD || steps == EMPTY_LIST_HEAD) {
                THROW(MOX_INTERNAL_FAIL);
            }
            std::ostream& os = table.row();
            if (steps == 0) {
                os << std::setw(6) << bucket - FIRST_BUCKET << ' ';
            } else {
                os << std::string(7, ' ');
            }
            Uint16 next = hashArray[index].next;
            os << std::setw(width) << index << ' ' << std::setw(width) << frame[index].segmentId << ' '
               << std::setw(width) << frame[index].pageId << ' ' << std::setw(width) << MoxDumpTable::next(next, bucket)
               << '\n';
            index = next;
        }
    }
    MoxDumpTable::closing(" All other buckets between [1, ", MOX_BM_NUM_HASH_BUCKETS, "] are empty.");
}
