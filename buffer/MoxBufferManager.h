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
};

static_assert(sizeof(MoxBufferManager::Header) == 8);

#endif
