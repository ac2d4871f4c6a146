#ifndef MOX_BUFFER_MANAGER_H
#define MOX_BUFFER_MANAGER_H

#include "../include/Mox.h"

// Gives every component access to pages through the buffer pool that all
// processes share.
class MoxBufferManager {
  public:
    // Reads counted over all processes, at the front of the pool after its latch.
    struct Header {
        Uint32 logicalReads;   // 0-3: page requests
        Uint32 physicalReads;  // 4-7: page loads from files
    };

    // System stop: whether any frame is fixed, read without the latch; a
    // missing pool is not in use. REQUIRES: this process is not attached.
    static void haveFixedPages(bool& inUse);
    // System stop: removes the pool and its latch without writing a page.
    // A missing pool counts as removed. REQUIRES: this process is not attached.
    static void destroyBuffer();
};

static_assert(sizeof(MoxBufferManager::Header) == 8);

#endif
