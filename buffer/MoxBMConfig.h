#ifndef MOX_BM_CONFIG_H
#define MOX_BM_CONFIG_H

#include "../include/MoxConfig.h"

// Constants of the shared buffer pool. The frame count is what fits into the
// pool set: a fixed overhead plus, per frame, the frame and one entry of the
// hash and of the LRU list (with room to spare).
#define MOX_BM_POOL_OVERHEAD 18
#define MOX_BM_SINGLE_ENTRY_SIZE 4125
#define MOX_BM_NUM_PAGES ((MOX_BUFFER_POOL_SIZE - MOX_BM_POOL_OVERHEAD) / MOX_BM_SINGLE_ENTRY_SIZE)
#define MOX_BM_NUM_HASH_BUCKETS 199
#define MOX_BM_HASH_ENTRY_SIZE 4
#define MOX_BM_LRU_ENTRY_SIZE 4

static_assert(MOX_BM_NUM_PAGES == 992);

#endif
