#ifndef MOX_BM_HASH_H
#define MOX_BM_HASH_H

#include <cstddef>

#include "MoxBMConfig.h"
#include "MoxIndexList.h"
#include "MoxPage.h"

// Finds the frame of the buffer pool that holds a (segment, page). Lives in
// the pool set: entry i (0 to 991) stands for frame i and is either on the
// list of unhashed frames or in the chain of one bucket; the entries above
// are the list heads. Only the buffer manager calls it, holding the pool
// latch (exclusively for changes). Failures are thrown as MoxException;
// every check runs before the first link changes.
class MOX_PACKED MoxBMHash {
  public:
    typedef MoxIndexLink HashEntry;

    static constexpr Uint16 EMPTY_LIST_HEAD = MOX_BM_NUM_PAGES;
    static constexpr Uint16 FIRST_BUCKET = EMPTY_LIST_HEAD + 1;
    static constexpr Uint16 LAST_BUCKET = FIRST_BUCKET + MOX_BM_NUM_HASH_BUCKETS - 1;
    static constexpr Uint16 NUM_ENTRIES = LAST_BUCKET + 1;

    // All frames unhashed in ascending order, every bucket empty.
    void initialize();
    // Frame 0 in this process's mapping; per process, set once on connecting.
    static void setPagesPointer(MoxPage* pages);
    // The bucket head: the segment takes no part, look-ups compare both ids.
    static Uint16 getHashValue(SegmentId segmentId, PageId pageId);
    // Hashes the frame under its segmentId and pageId, newest first in its chain.
    void insert(Uint16 pageIndex);
    // Throws MOX_BM_PAGE_NOT_FOUND (page, segment) on a miss, page then null.
    void get(SegmentId segmentId, PageId pageId, MoxPage*& page, Uint16& pageIndex) const;
    // As get, but a miss returns null instead of throwing: the common case
    // of a page request must not pay for an exception.
    MoxPage* find(SegmentId segmentId, PageId pageId, Uint16& pageIndex) const;
    // Takes the frame out of its chain; it is the next one unhashed frames hand out.
    void remove(Uint16 pageIndex);
    // Prints the non-empty bucket chains on standard output.
    void dump() const;

    HashEntry hashArray[NUM_ENTRIES];  // 0-4767

  private:
    static MoxPage* frames();

    static MoxPage* pages;
};

static_assert(MoxBMHash::NUM_ENTRIES == 1192);
static_assert(sizeof(MoxBMHash::HashEntry) == MOX_BM_HASH_ENTRY_SIZE);
static_assert(sizeof(MoxBMHash) == 4768);
static_assert(offsetof(MoxBMHash, hashArray) == 0);

#endif
