#include "MoxScopedLatch.h"

#include <string>

#include "MoxException.h"
#include "MoxTrace.h"

static const MoxComponent componentId = Support;

MoxScopedLatch::MoxScopedLatch(MoxLatch& latch, MoxLatch::LatchMode latchMode) : mLatch(latch) {
    MOX_TRACE_ENTRY();
    MoxErrorCode rc = mLatch.get(latchMode);
    Sint32 holder = rc == MOX_LATCH_HOLDER_DIED ? mLatch.getDeadExclusiveHolder() : 0;
    if (holder != 0) {
        // Which latch, and whose death: the code alone would not say.
        MoxException::raise(rc, "mLatch.get(latchMode)", __FILE__, __LINE__, __FUNCTION__, mLatch.getName(),
                            std::to_string(holder));
    }
    MoxException::raise(rc, "mLatch.get(latchMode)", __FILE__, __LINE__, __FUNCTION__);
}

MoxScopedLatch::~MoxScopedLatch() {
    MOX_TRACE_ENTRY();
    // A destructor cannot report; the error object has the failure.
    mLatch.release();
}

MoxScopedExclusiveLatch::MoxScopedExclusiveLatch(MoxLatch& latch) : MoxScopedLatch(latch, MoxLatch::Exclusive) {
    MOX_TRACE_ENTRY();
}

MoxScopedExclusiveLatch::~MoxScopedExclusiveLatch() {
    MOX_TRACE_ENTRY();
}
