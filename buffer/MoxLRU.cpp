#include "MoxLRU.h"

#include <iomanip>
#include <iostream>

#include "MoxDumpTable.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = BufferManager;

MoxPage* MoxLRU::pages = nullptr;

void MoxLRU::initialize() {
    MOX_TRACE_ENTRY();
    MoxIndexList::fillAscending(lru, EMPTY_LIST_HEAD, EMPTY_LIST_HEAD);
    MoxIndexList::makeEmpty(lru, USED_LIST_HEAD);
}

void MoxLRU::setPagesPointer(MoxPage* pages) {
    MOX_TRACE_ENTRY();
    if (pages == nullptr) {
        THROW(MOX_PARAMETER_FAIL);
    }
    MoxLRU::pages = pages;
}

void MoxLRU::checkFrameIndex(Uint16 pageIndex) {
    if (pageIndex >= EMPTY_LIST_HEAD) {
        THROW(MOX_PARAMETER_FAIL);
    }
}

void MoxLRU::insert(Uint16 pageIndex) {
    MOX_TRACE_ENTRY();
    checkFrameIndex(pageIndex);
    MOX_TRACE_NUMBER(10, "Page index", static_cast<Uint32>(pageIndex));
    MoxIndexList::moveAfter(lru, USED_LIST_HEAD, pageIndex);
}

void MoxLRU::touch(Uint16 pageIndex) {
    MOX_TRACE_ENTRY();
    checkFrameIndex(pageIndex);
    MOX_TRACE_NUMBER(10, "PageIndex", static_cast<Uint32>(pageIndex));
    if (lru[USED_LIST_HEAD].next != pageIndex) {
        MoxIndexList::moveAfter(lru, USED_LIST_HEAD, pageIndex);
    }
}

void MoxLRU::removeEntry(Uint16 pageIndex) {
    MOX_TRACE_ENTRY();
    checkFrameIndex(pageIndex);
    MoxIndexList::moveAfter(lru, EMPTY_LIST_HEAD, pageIndex);
}

void MoxLRU::remove(Uint16& pageIndex) {
    MOX_TRACE_ENTRY();
    if (pages == nullptr) {
        THROW(MOX_INTERNAL_FAIL);
    }
    Uint16 index = lru[USED_LIST_HEAD].prev;
    for (Uint16 steps = 0; index != USED_LIST_HEAD; ++steps) {
        if (index >= EMPTY_LIST_HEAD || steps == EMPTY_LIST_HEAD) {
            THROW(MOX_INTERNAL_FAIL);
        }
        if (pages[index].fixCount == 0) {
            MOX_TRACE_NUMBER(10, "LRU Element", static_cast<Uint32>(index));
            removeEntry(index);
            pageIndex = index;
            return;
        }
        index = lru[index].prev;
    }
    THROW(MOX_NOT_FOUND_WARN);
}

void MoxLRU::dump() const {
    MOX_TRACE_ENTRY();
    if (pages == nullptr) {
        THROW(MOX_INTERNAL_FAIL);
    }
    std::cout << " Content of the LRU list\n";
    MoxDumpTable::rule('-');
    std::cout << " Most-recently-used page is at the top of the list;\n least-recently-used is at the bottom.\n";
    MoxDumpTable::rule('-');
    MoxDumpTable table("Slot-in-LRU  SegmentId    PageId       Next",
                       "------------ ------------ ------------ ------------");
    const int width = MoxDumpTable::COLUMN_WIDTH;
    Uint16 index = lru[USED_LIST_HEAD].next;
    for (Uint16 steps = 0; index != USED_LIST_HEAD; ++steps) {
        if (index >= EMPTY_LIST_HEAD || steps == EMPTY_LIST_HEAD) {
            THROW(MOX_INTERNAL_FAIL);
        }
        Uint16 next = lru[index].next;
        table.row() << std::setw(width) << index << ' ' << std::setw(width) << pages[index].segmentId << ' '
                    << std::setw(width) << pages[index].pageId << ' ' << std::setw(width)
                    << MoxDumpTable::next(next, USED_LIST_HEAD) << '\n';
        index = next;
    }
    MoxDumpTable::closing(" All other slots between [0, ", MOX_BM_NUM_PAGES - 1, "] are empty.");
}
