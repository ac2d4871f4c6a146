#include "MoxScopedLatch.h"

#include "MoxException.h"
#include "MoxTrace.h"

static const MoxComponent componentId = Support;

MoxScopedLatch::MoxScopedLatch(MoxLatch& latch, MoxLatch::LatchMode latchMode) : mLatch(latch) {
    MOX_TRACE_ENTRY();
    THROW_RC(mLatch.get(latchMode));
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
