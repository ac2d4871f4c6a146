#ifndef MOX_BUFFER_H
#define MOX_BUFFER_H

// Interface of the buffer component: page frames, the shared buffer pool
// and its manager.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../buffer/MoxBMConfig.h"
#include "../buffer/MoxBMHash.h"
#include "../buffer/MoxBufferContent.h"
#include "../buffer/MoxBufferManager.h"
#include "../buffer/MoxLRU.h"
#include "../buffer/MoxPage.h"
#include "../buffer/MoxScopedPage.h"

#endif
