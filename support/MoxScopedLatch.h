#ifndef MOX_SCOPED_LATCH_H
#define MOX_SCOPED_LATCH_H

#include "MoxLatch.h"

// Holds a latch for the life of a scope: acquires it in the constructor
// (throwing MoxException if that fails) and releases it in the destructor.
// The latch must outlive the guard.
class MoxScopedLatch {
  public:
    MoxScopedLatch(MoxLatch& latch, MoxLatch::LatchMode latchMode);
    virtual ~MoxScopedLatch();
    MoxScopedLatch(const MoxScopedLatch&) = delete;
    MoxScopedLatch& operator=(const MoxScopedLatch&) = delete;

  protected:
    MoxLatch& mLatch;
};

// An exclusive hold. Operations that may run only under a latch held
// exclusively take one as proof.
class MoxScopedExclusiveLatch : public MoxScopedLatch {
  public:
    explicit MoxScopedExclusiveLatch(MoxLatch& latch);
    virtual ~MoxScopedExclusiveLatch();
};

#endif
