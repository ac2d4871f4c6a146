#ifndef MOX_LRU_H
#define MOX_LRU_H

#include <cstddef>

#include "MoxBMConfig.h"
#include "MoxIndexList.h"
#include "MoxPage.h"

// Order of use of the occupied frames of the buffer pool, and the free
// frames. Lives in the pool set: entry i (0 to 991) stands for frame i and is
// on the free list or on the used list, whose head's next is the most and
// whose prev is the least recently used frame. Only the buffer manager calls
// it, holding the pool latch (exclusively for changes). Failures are thrown
// as MoxException; every check runs before the first link changes.
class MOX_PACKED MoxLRU {
  public:
    typedef MoxIndexLink LruElement;

    static constexpr Uint16 EMPTY_LIST_HEAD = MOX_BM_NUM_PAGES;
    static constexpr Uint16 USED_LIST_HEAD = EMPTY_LIST_HEAD + 1;
    static constexpr Uint16 NUM_ENTRIES = USED_LIST_HEAD + 1;

    // All frames free in ascending order, none used.
    void initialize();
    // Frame 0 in this process's mapping; per process, set once on connecting.
    static void setPagesPointer(MoxPage* pages);
    bool isFull() const { return getFreeSlot() == EMPTY_LIST_HEAD; }
    // The next free frame, or EMPTY_LIST_HEAD when none is free.
    Uint16 getFreeSlot() const { return lru[EMPTY_LIST_HEAD].next; }
    // Makes the frame the most recently used one.
    void insert(Uint16 pageIndex);
    void touch(Uint16 pageIndex);
    // Frees the frame; it is the next one getFreeSlot returns.
    void removeEntry(Uint16 pageIndex);
    // Frees the least recently used unfixed frame and returns it; throws
    // MOX_NOT_FOUND_WARN, changing nothing, when every used frame is fixed.
    void remove(Uint16& pageIndex);
    // Prints the used list on standard output, most recently used first.
    void dump() const;

    LruElement lru[NUM_ENTRIES];  // 0-3975

  private:
    static void checkFrameIndex(Uint16 pageIndex);

    static MoxPage* pages;
};

static_assert(MoxLRU::NUM_ENTRIES == 994);
static_assert(sizeof(MoxLRU::LruElement) == MOX_BM_LRU_ENTRY_SIZE);
static_assert(sizeof(MoxLRU) == 3976);
static_assert(offsetof(MoxLRU, lru) == 0);

#endif
