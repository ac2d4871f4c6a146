#ifndef MOX_BUFFER_CONTENT_H
#define MOX_BUFFER_CONTENT_H

#include <cstddef>
#include <type_traits>

#include "MoxBMConfig.h"
#include "MoxBMHash.h"
#include "MoxBufferManager.h"
#include "MoxLRU.h"
#include "MoxPage.h"
#include "../support/MoxLatch.h"
#include "../support/MoxMemoryManager.h"

// The data area of the BufferPool memory set, as every process maps it.
// Created zero-filled; initializeBuffer sets up the latch and the lists.
// The latch guards everything behind it.
struct MOX_PACKED MoxBufferContent {
    MoxLatch latch;                   // 0-3: pool latch
    MoxBufferManager::Header header;  // 4-11: shared read counters
    MoxBMHash hash;                   // 12-4779
    MoxLRU lru;                       // 4780-8755
    MoxPage pages[MOX_BM_NUM_PAGES];  // 8756-4091827: frame i at 8756 + 4116 * i
};

static_assert(std::is_standard_layout_v<MoxBufferContent>);
static_assert(offsetof(MoxBufferContent, latch) == 0);
static_assert(offsetof(MoxBufferContent, header) == 4);
static_assert(offsetof(MoxBufferContent, header.physicalReads) == 8);
static_assert(offsetof(MoxBufferContent, hash) == 12);
static_assert(offsetof(MoxBufferContent, lru) == 4780);
static_assert(offsetof(MoxBufferContent, pages) == 8756);
static_assert(offsetof(MoxBufferContent, pages[1]) == 8756 + 4116);
static_assert(offsetof(MoxBufferContent, pages[991].fixCount) == 8756 + 4116 * 991 + 4114);
static_assert(sizeof(MoxBufferContent) == 4091828);
// Clear of the memory manager's owner record at the end of the data area.
static_assert(sizeof(MoxBufferContent) <= MOX_BUFFER_POOL_SIZE - MOX_MEMORY_OWNER_LENGTH);

#endif
