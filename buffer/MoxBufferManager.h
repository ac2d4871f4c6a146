#ifndef MOX_BUFFER_MANAGER_H
#define MOX_BUFFER_MANAGER_H

#include <sys/types.h>

#include <set>

#include "MoxBufferManagerProfiling.h"
#include "MoxPage.h"
#include "../include/Mox.h"

class MoxBMHash;
class MoxFileManager;
class MoxLatch;
class MoxLRU;
class MoxScopedExclusiveLatch;

// Gives every component access to pages through the buffer pool that all
// processes share: fixes pages (loading them on a miss), creates pages,
// writes dirty victims and, when the process's manager goes, every dirty
// unfixed page (steal, no force: commit writes no page). It also finishes or
// undoes the segment creations and drops of the process's transaction.
//
// One per process (getInstance), attached to the pool from construction to
// destruction; used by one thread. Every operation that changes the pool
// holds the pool latch exclusively from start to end, file input and output
// included, and never waits for a lock meanwhile. Failures are thrown as
// MoxException unless said otherwise.
//
// Callers open (or create) a segment before they fix its pages, and release
// every fix they take. Frames handed out stay valid while fixed. A forked
// child may use the instance it inherits: its transaction starts without the
// parent's created and dropped segments.
class MoxBufferManager {
  public:
    // Reads counted over all processes, at the front of the pool after its latch.
    struct MOX_PACKED Header {
        Uint32 logicalReads;   // 0-3: page requests
        Uint32 physicalReads;  // 4-7: page loads from files
    };

    static MoxBufferManager* getInstance();
    // Whether the process has a manager, so that stopping deletes only one that exists.
    static bool hasInstance() { return instance != nullptr; }
    // Writes the dirty unfixed pages back (flushAll), detaches, forgets the
    // instance. A failure is only recorded in the error object: callers that
    // must know (the system stop) call flushAll first.
    ~MoxBufferManager();
    MoxBufferManager(const MoxBufferManager&) = delete;
    MoxBufferManager& operator=(const MoxBufferManager&) = delete;

    // System start: creates the pool set and sets up its latch, counters and lists.
    static void initializeBuffer();
    // System stop: whether any frame is fixed, read without the latch; a
    // missing pool is not in use. Shares the mapping of this process's
    // manager if there is one.
    static void haveFixedPages(bool& inUse);
    // System stop: removes the pool and its latch without writing a page.
    // A missing pool counts as removed; a database directory that cannot be
    // resolved fails (MM002). A manager of this process keeps its mapping
    // but loses its latch, so delete it first to have its pages written.
    static void destroyBuffer();

    // Fixes an existing page; page receives its frame. A page behind the end
    // of its file, or one that the file holds only as zeros (never written),
    // is MOX_BM_PAGE_NOT_FOUND.
    void getPage(SegmentId segmentId, PageId pageId, MoxPage::PageType pageType, MoxPage*& page);
    // Creates and fixes a zeroed page with the given LSN; it is dirty from
    // birth. Page MOX_INVALID_PAGE_ID is refused (MOX_PARAMETER_FAIL).
    void getNewPage(SegmentId segmentId, PageId pageId, MoxPage::PageType pageType, MoxLsn lsn, MoxPage*& page);
    // As above with LSN (0,0), after making sure that the file lacks the page
    // (or holds only zeros for it).
    void getNewPage(SegmentId segmentId, PageId pageId, MoxPage::PageType pageType, MoxPage*& page);
    // Undoes one fix and clears the caller's pointer; writes nothing.
    void releasePage(MoxPage*& page);
    // Marks a frame dirty under the latch (MoxPage::markAsModified also moves the LSN).
    void markPageAsModified(MoxPage& page);
    // Writes one dirty unfixed frame; the caller proves its exclusive hold of the pool latch.
    void flushSinglePage(Uint16 pageIndex, const MoxScopedExclusiveLatch& poolLatch);
    // Writes every dirty unfixed frame and closes this process's segments.
    // Every frame is tried; one that cannot be written stays dirty, and the
    // first failure is thrown once all have been tried. Pending drops stay
    // pending: only commit finishes them, so a process that ends without
    // committing leaves the segment in place, pages written.
    void flushAll();

    // Creates the segment's file; rollback drops it again.
    void createSegment(SegmentId segment);
    void openSegment(SegmentId segment);
    // A segment created in this transaction goes at once; an older one at
    // commit, refusing page requests (MOX_BM_SEGMENT_DROPPED) until then and
    // keeping its pages in the pool in case of a rollback.
    void dropSegment(SegmentId segment);
    // Finishes the pending drops; writes no page.
    void commit();
    // Removes the segments created in the transaction and cancels its drops.
    void rollback();

    // For tests only: a frame for a new page is a victim (the least recently
    // used unfixed frame, written first when dirty) as soon as `frames`
    // frames are in use, so that a small working set has pages written in
    // the middle of a transaction. 0 turns it off. Counts for this process.
    static void TEST_limitFrames(Uint16 frames) { frameLimit = frames; }

    // Share of this process's page requests met without a load; 0 before the first.
    float getBufferHitRatio() const;
    // The same over all processes.
    float getBufferHitRatioAllTransactions() const;

    // Segment of a table (1 to 32767) or an index (1 to 16384); an invalid
    // id records MOX_PARAMETER_FAIL and gives segment 0, without throwing.
    static SegmentId convertTableIdToSegmentId(TableId tableId);
    static SegmentId convertIndexIdToSegmentId(IndexId indexId);

    // Prints the chosen sections on standard output under the shared latch.
    void dump(bool lru, bool hash, bool pages, bool hitRatio) const;
    static void staticDumpLru();
    static void staticDumpHashMap();
    static void staticDumpPages();
    static void staticDumpHitRatio();
    // "BM_STATS": the first word of args chooses the section; the reset
    // handler zeroes this process's read counts.
    static void debugBufferStats_static(const char* args);
    static void debugRstBufferStats_static(const char* args);

  private:
    // Tests look at the frames and counters.
    friend class MoxBufferManagerTest;

    MoxBufferManager();

    // A free frame for a new page: a free one, else the least recently used
    // unfixed one, written first if dirty. Throws MOX_BM_BUFFER_FULL.
    Uint16 chooseFrame(const MoxScopedExclusiveLatch& poolLatch);
    // Whether a page read from a file is all zeros: a page the pool never
    // wrote, which the file holds only because a later page of the segment
    // was written first and writing fills the gap with zeros. Every page the
    // pool writes has a header with its id or type set (page 0 of a segment
    // is an inventory page), so such a page counts as missing, as it would
    // behind the end of the file: a crash before its write lost it.
    static bool isNeverWritten(const unsigned char* bytes);
    // Reads the page into the chosen frame and links the frame in; a page
    // the file does not hold, or holds only as zeros, is MOX_BM_PAGE_NOT_FOUND.
    void loadPage(Uint16 pageIndex, SegmentId segmentId, PageId pageId);
    // A forked child forgets the segments its parent's transaction created
    // or dropped: they are not its own to drop or to keep.
    void adoptCallingProcess();
    // Throws MOX_BM_SEGMENT_DROPPED while the segment's drop is pending.
    void checkNotDropped(SegmentId segmentId, PageId pageId);
    void createPage(SegmentId segmentId, PageId pageId, MoxPage::PageType pageType, MoxLsn lsn, bool absentFromFile,
                    MoxPage*& page);
    // Opens the page's segment in this process and writes the frame.
    void writeFrame(Uint16 pageIndex);
    // Index of a frame of this pool; MOX_INTERNAL_FAIL for any other address.
    Uint16 frameIndex(const MoxPage& page) const;
    // Empties every frame of the segment, fixed or not, without writing it.
    void wipeSegment(SegmentId segment, const MoxScopedExclusiveLatch& poolLatch);
    void countRead(MoxBufferManagerProfiling::BufferManagerCounters counter, const char* name, Uint32& own);
    // Wipes and drops every segment whose drop is pending.
    void finishDrops(const MoxScopedExclusiveLatch& poolLatch);
    void dumpPages() const;
    void dumpHitRatio() const;

    // Whether TEST_limitFrames has the next frame taken from a victim.
    bool overFrameLimit() const;

    static MoxBufferManager* instance;
    static Uint16 frameLimit;

    MoxFileManager* fileMgr;
    Header* header;
    MoxLatch* latch;
    MoxBMHash* hash;
    MoxLRU* lru;
    MoxPage* data;
    MoxBufferManagerProfiling::Profiler profiler;
    std::set<SegmentId> dropPending;
    std::set<SegmentId> openSegments;
    std::set<SegmentId> newSegments;
    Uint32 logicalReads;
    Uint32 physicalReads;
    pid_t ownerProcess;  // the process whose transaction newSegments and dropPending describe
};

static_assert(sizeof(MoxBufferManager::Header) == 8);

#endif
