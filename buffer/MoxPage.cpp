#include "MoxPage.h"

#include <cstring>

#include "../support/MoxError.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = BufferManager;

MoxErrorCode MoxPage::markAsModified(MoxLsn newLsn) {
    MOX_TRACE_ENTRY();
    if (!isFix()) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    if (newLsn > lsn) {
        lsn = newLsn;
        memcpy(data + offsetof(PageHeader, lsn), &newLsn, sizeof(newLsn));
    }
    dirty = true;
    return MOX_SUCCESS;
}
